// What the grammar did with each text, as warnings with their places. The
// note grammar never refuses a note; these say where it read something
// other than what was written. In order of the warnings' places:
//
//   the notes   compact notation's skipped runs; each beat-notation note's
//               name, then its length; the notes past the hundredth
//   the beats   the default length's ticks, then text after its number
//   instrument  text after a program number
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "ascii.h"
#include "compose.h"
#include "instruments.h"  // the program names of messages

namespace midicompose {
namespace {

std::string Quoted(const char* text, std::size_t start, std::size_t end) {
    return "\"" + std::string(text + start, end - start) + "\"";
}

// "C4 (key 60)": the note a name with a note letter is played as.
std::string PlayedAs(const char* name) {
    const int key = NoteNameToKey(name[0], NameOctave(name));
    if (key > 127) return "key 127";
    const char upper = static_cast<char>(name[0] & ~0x20);
    return std::string(1, upper) + std::to_string(NameOctave(name)) + " (key " + std::to_string(key) + ")";
}

// "1 beat", "0.5 beats".
std::string Beats(float beats) {
    return std::string(FormatNumber(beats, 6).text) + (beats == 1.0f ? " beat" : " beats");
}

class Warnings {
public:
    explicit Warnings(Composed& out) : out_(out) {}
    void Add(int code, int argument, int note, std::size_t start, std::size_t end, std::string message) {
        out_.warnings.push_back({code, argument, note, start, end, std::move(message)});
    }

private:
    Composed& out_;
};

// Compact notation: each maximal run of bytes that are neither letters nor
// white space, up to the first letter dropped (or the end when none is), so
// that every byte of the text is either a note, told as skipped, or dropped.
void FindSkipped(const char* text, const NoteList& list, Warnings& w) {
    const std::size_t limit = list.dropped != std::string::npos ? list.dropped : std::strlen(text);
    std::size_t i = 0;
    while (i < limit) {
        if (IsAsciiLetter(text[i]) || IsSpace(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < limit && !IsAsciiLetter(text[end]) && !IsSpace(text[end])) ++end;
        w.Add(COMPOSE_WARN_SKIPPED_CHARACTERS, COMPOSE_ARGUMENT_NOTES, -1, i, end,
              Quoted(text, i, end) + " skipped: in notes without spaces each letter is a note and nothing else counts");
        i = end;
    }
}

bool IsSharpOrFlat(const char* name, std::size_t length) {
    if (name[1] == '#' || name[1] == 'b') return true;
    // U+266F and U+266D in UTF-8
    return length >= 4 && name[1] == '\xE2' && name[2] == '\x99' && (name[3] == '\xAF' || name[3] == '\xAD');
}

// A name read just as written: a note letter and at most an octave digit
// that keeps the key in range. Checked for every note before anything else.
bool PlainName(const NoteEntry& e) {
    if (!IsNoteLetter(e.name[0])) return false;
    if (e.length == 1) return true;
    return e.length == 2 && IsDigit(e.name[1]) && NoteNameToKey(e.name[0], NameOctave(e.name)) <= 127;
}

// A beat-notation note's name: what its letter, octave and the rest became.
void FindNameWarnings(const NoteEntry& e, int note, Warnings& w) {
    const char* name = e.name;
    const std::size_t n = e.length;
    if (!IsNoteLetter(name[0])) {
        w.Add(COMPOSE_WARN_UNKNOWN_LETTER, COMPOSE_ARGUMENT_NOTES, note, e.start, e.colon,
              std::string(name) + " is no note name (A to G): played as C4 (key 60)");
        return;
    }
    if (n < 2) return;
    if (IsSharpOrFlat(name, n)) {
        w.Add(COMPOSE_WARN_SHARP_OR_FLAT, COMPOSE_ARGUMENT_NOTES, note, e.start + 1, e.colon,
              std::string(name) + " has no sharps or flats here: played as " + PlayedAs(name));
        return;
    }
    if (IsDigit(name[1]) && NoteNameToKey(name[0], NameOctave(name)) > 127) {
        w.Add(COMPOSE_WARN_KEY_CLAMPED, COMPOSE_ARGUMENT_NOTES, note, e.start, e.start + 2,
              std::string(name, 2) + " is above the highest MIDI key, G9 (127): played as key 127");
    }
    const std::size_t ignored = IsDigit(name[1]) ? 2 : 1;
    if (n > ignored) {
        w.Add(COMPOSE_WARN_IGNORED_CHARACTERS, COMPOSE_ARGUMENT_NOTES, note, e.start + ignored, e.colon,
              std::string(name) + ": " + Quoted(name, ignored, n) + " ignored: played as " + PlayedAs(name));
    }
}

// Whether a length makes a whole number of ticks, as the composition
// counts them (single precision, the fraction dropped): the common case,
// checked before any message is built.
bool WholeTicks(float beats) {
    const float product = beats * static_cast<float>(kTicksPerQuarter);
    // From 2^24 on a float has no fraction (and past 2^32 no tick count to
    // convert to); a default no note uses may be that long.
    if (!(product < 16777216.0f)) return true;
    return static_cast<float>(static_cast<std::uint32_t>(product)) == product;
}

// A length above zero that makes no whole number of ticks; `what` names it.
void AddTickWarning(float beats, const std::string& what, int argument, int note, std::size_t start,
                    std::size_t end, Warnings& w) {
    const float product = beats * static_cast<float>(kTicksPerQuarter);
    const auto ticks = static_cast<std::uint32_t>(product);
    const std::string exact = std::string(FormatNumber(product, 6).text) + " ticks";
    if (ticks == 0) {
        w.Add(COMPOSE_WARN_ZERO_LENGTH, argument, note, start, end,
              what + " lasts " + exact + ", less than one: written as 0 ticks, so it is not heard");
    } else {
        w.Add(COMPOSE_WARN_LENGTH_ROUNDED, argument, note, start, end,
              what + " lasts " + exact + ": written as " + std::to_string(ticks) + ", the fraction dropped");
    }
}

// A beat-notation note's ":beats" (its colon != its end).
void FindLengthWarnings(const char* text, const NoteEntry& e, int note, float defaultBeats, Warnings& w) {
    if (e.ownLength && e.numberEnd == e.end && WholeTicks(e.beats)) return;
    const std::string token(text + e.start, e.end - e.start);
    if (!e.ownLength) {
        w.Add(COMPOSE_WARN_LENGTH_IGNORED, COMPOSE_ARGUMENT_NOTES, note, e.colon, e.end,
              token + ": " + Quoted(text, e.colon + 1, e.end) + " is no length above zero: played for the default " +
                  Beats(defaultBeats));
        return;
    }
    if (!WholeTicks(e.beats)) AddTickWarning(e.beats, token, COMPOSE_ARGUMENT_NOTES, note, e.colon, e.end, w);
    if (e.numberEnd < e.end) {
        w.Add(COMPOSE_WARN_LENGTH_TRAILING, COMPOSE_ARGUMENT_NOTES, note, e.numberEnd, e.end,
              token + ": " + Quoted(text, e.numberEnd, e.end) + " after the length ignored: lasts " + Beats(e.beats));
    }
}

void FindNoteWarnings(const char* text, const NoteList& list, int count, float defaultBeats, Warnings& w) {
    if (!IsBeatNotation(text)) {
        FindSkipped(text, list, w);
    } else {
        for (int i = 0; i < count; ++i) {
            const NoteEntry& e = list.entries[i];
            if (!PlainName(e)) FindNameWarnings(e, i, w);
            if (e.colon != e.end) FindLengthWarnings(text, e, i, defaultBeats, w);
        }
    }
    if (list.dropped != std::string::npos) {
        w.Add(COMPOSE_WARN_NOTES_DROPPED, COMPOSE_ARGUMENT_NOTES, -1, list.dropped, std::strlen(text),
              "at most " + std::to_string(kMaxNotes) + " notes are composed: the rest, from here, is dropped");
    }
}

void FindBeatsWarnings(const char* beats, const ArgumentsRead& read, const NoteList& list, int count, Warnings& w) {
    const std::size_t length = std::strlen(beats);
    const float defaultBeats = read.defaultBeats;
    for (int i = 0; i < count && !WholeTicks(defaultBeats); ++i) {
        if (list.entries[i].ownLength) continue;
        AddTickWarning(defaultBeats, "the default length, " + Beats(defaultBeats) + ",", COMPOSE_ARGUMENT_BEATS, -1, 0,
                       length, w);
        break;  // once, for every note that uses it
    }
    for (const char* p = beats + read.beatsNumberEnd; *p != '\0'; ++p) {
        if (IsSpace(*p)) continue;
        const std::size_t start = read.beatsNumberEnd;
        w.Add(COMPOSE_WARN_TRAILING_TEXT, COMPOSE_ARGUMENT_BEATS, -1, start, length,
              Quoted(beats, start, length) + " after the beats value ignored: the default length is " +
                  Beats(defaultBeats));
        break;
    }
}

void FindInstrumentWarnings(const char* instrument, std::size_t digits, int program, Warnings& w) {
    if (digits == 0 || instrument[digits] == '\0') return;
    const std::size_t length = std::strlen(instrument);
    w.Add(COMPOSE_WARN_TRAILING_TEXT, COMPOSE_ARGUMENT_INSTRUMENT, -1, digits, length,
          Quoted(instrument, digits, length) + " after the program number ignored: program " +
              std::to_string(program) + " (" + InstrumentNameForProgram(program) + ")");
}

}  // namespace

void FindWarnings(const ComposeTexts& texts, const ArgumentsRead& read, const NoteList& list, int count,
                  Composed& out) {
    Warnings w(out);
    FindNoteWarnings(texts.notes, list, count, read.defaultBeats, w);
    FindBeatsWarnings(texts.beats, read, list, count, w);
    FindInstrumentWarnings(texts.instrument, read.instrumentDigits, out.program, w);
}

}  // namespace midicompose
