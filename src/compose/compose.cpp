// The composition itself, shared by both entry points: arguments in, the
// file's bytes and the console texts out. Nothing here prints.
#include <cassert>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "compose.h"
#include "instruments.h"

namespace midicompose {
namespace {

// What a call owns; released on every path out of the call.
struct Resources {
    std::unique_ptr<NoteList> list;
    int count = 0;
    MIDIWriterPtr writer;
    ~Resources() {
        if (list != nullptr) FreeNoteNames(*list, count);
    }
};

// The texts of lengths already printed in this call: a composition has at
// most a hundred notes and usually a handful of distinct lengths, so each is
// formatted once.
class LengthTexts {
public:
    struct Text {
        const char* text;
        std::size_t length;
    };
    Text For(float beats) {
        for (int i = 0; i < used_; ++i) {
            if (values_[i] == beats) return {texts_[i].text, lengths_[i]};
        }
        const int slot = used_ < kSlots ? used_++ : kSlots;  // the last slot is scratch
        values_[slot] = beats;
        texts_[slot] = FormatShortNumber(beats);
        lengths_[slot] = std::strlen(texts_[slot].text);
        return {texts_[slot].text, lengths_[slot]};
    }

private:
    static constexpr int kSlots = 8;
    float values_[kSlots + 1];
    ShortNumber texts_[kSlots + 1];
    std::size_t lengths_[kSlots + 1];
    int used_ = 0;
};

// Writes into room sized beforehand for all of it: a store per byte, with
// no capacity check or call per piece.
class TextCursor {
public:
    explicit TextCursor(char* at) : at_(at) {}
    void Put(char c) { *at_++ = c; }
    void Put(const char* text, std::size_t length) {
        for (std::size_t i = 0; i < length; ++i) *at_++ = text[i];
    }
    char* at() const { return at_; }

private:
    char* at_;
};

constexpr char kProgressPrefix[] = "Generating MIDI file with notes: ";

// The exact length of the progress line: the prefix, each name with its
// ":length" where it differs from the default, the separators, the newline.
std::size_t ProgressLineLength(const NoteList& list, int count, float defaultBeats, LengthTexts& lengths) {
    std::size_t length = sizeof kProgressPrefix - 1 + static_cast<std::size_t>(count);  // count-1 spaces, newline
    for (int i = 0; i < count; ++i) {
        const NoteEntry& note = list.entries[i];
        length += note.length;
        if (note.beats != defaultBeats) length += 1 + lengths.For(note.beats).length;
    }
    return length;
}

int Fail(Composed& out, int status, const std::string& message) {
    out.errors += message;
    return status;
}

// The default beats and the instrument, checked before anything is allocated.
int CheckArguments(const ComposeTexts& texts, ArgumentsRead& read, Composed& out) {
    const char* numberEnd = texts.beats;
    read.defaultBeats = NarrowToFloat(ParseDecimal(texts.beats, texts.beats + std::strlen(texts.beats), &numberEnd));
    read.beatsNumberEnd = static_cast<std::size_t>(numberEnd - texts.beats);
    if (!(read.defaultBeats > 0.0f)) {
        out.errors += ErrorLine(COMPOSE_BAD_BEATS, std::string(" '") + texts.beats + "'");
        return COMPOSE_BAD_BEATS;
    }
    out.program = ResolveInstrument(texts.instrument, &read.instrumentDigits);
    if (out.program < 0) {
        out.errors += ErrorLine(COMPOSE_BAD_INSTRUMENT, std::string(" '") + texts.instrument + "'");
        return Fail(out, COMPOSE_BAD_INSTRUMENT, "Use --list-instruments to see available instruments\n");
    }
    out.instrument = InstrumentNameForProgram(out.program);
    return COMPOSE_OK;
}

// Adds the parsed notes to the writer end to end, writing the progress line
// as it goes into room sized for it exactly; on a failure the line stays as
// far as it was written.
int AddNotes(const Resources& r, float defaultBeats, Composed& out, float& beatSum) {
    const std::size_t lineStart = out.output.size();
    LengthTexts lengths;
    out.output.resize(lineStart + ProgressLineLength(*r.list, r.count, defaultBeats, lengths));
    TextCursor line(&out.output[lineStart]);
    const auto cutLine = [&] { out.output.resize(static_cast<std::size_t>(line.at() - out.output.data())); };
    line.Put(kProgressPrefix, sizeof kProgressPrefix - 1);
    std::uint32_t startTick = 0;
    for (int i = 0; i < r.count; ++i) {
        const NoteEntry& note = r.list->entries[i];
        line.Put(note.name, note.length);
        if (note.beats != defaultBeats) {
            const LengthTexts::Text length = lengths.For(note.beats);
            line.Put(':');
            line.Put(length.text, length.length);
        }
        if (i < r.count - 1) line.Put(' ');

        // Every tick must fit a four-byte delta time; a longer composition
        // cannot be written at all.
        const float product = note.beats * static_cast<float>(kTicksPerQuarter);
        const std::uint32_t room = kMaxTick - startTick;
        if (!(static_cast<double>(product) < static_cast<double>(room) + 1.0)) {
            cutLine();
            out.errors += "\n" + ErrorLine(COMPOSE_TOO_LONG, std::string(" at note ") + note.name);
            return COMPOSE_TOO_LONG;
        }
        const std::uint32_t ticks = static_cast<std::uint32_t>(product);  // the fraction is dropped

        if (!AddMIDINote(r.writer.get(), note.name, startTick, ticks, kNoteVelocity)) {
            cutLine();
            out.errors += "\n" + ErrorLine(COMPOSE_ADD_NOTE_FAILED, std::string(" ") + note.name);
            return COMPOSE_ADD_NOTE_FAILED;
        }
        startTick += ticks;
        beatSum = note.beats + beatSum;
    }
    line.Put('\n');
    assert(line.at() == out.output.data() + out.output.size());  // the line filled its room exactly (GCOVR_EXCL_BR_LINE: an assertion)
    return COMPOSE_OK;
}

// The report of a composition, as the call prints it once the file is saved.
void AppendReport(const char* path, int program, const char* instrument, int count, float beatSum,
                  std::string& output) {
    const ShortNumber duration = FormatShortNumber(beatSum);
    output.append(MIDIComposeStatusMessage(COMPOSE_OK)).append(": ").append(path).append("\n");
    output.append("Instrument: ").append(instrument);
    output.append(" (program ").append(std::to_string(program)).append(")\nDuration: ");
    output.append(duration.text).append(" beats (").append(duration.text).append(" quarter notes)\n");
    output.append("Notes: ").append(std::to_string(count)).append("\n");
}

int Compose(const ComposeTexts& texts, const NativePathChar* nativePath, Composed& out) {
    ArgumentsRead read;
    const int checked = CheckArguments(texts, read, out);
    if (checked != COMPOSE_OK) return checked;
    const float defaultBeats = read.defaultBeats;

    Resources r;
    r.list.reset(new (std::nothrow) NoteList);
    if (r.list == nullptr) return Fail(out, COMPOSE_NO_MEMORY, ErrorLine(COMPOSE_NO_MEMORY));

    r.count = ParseNotes(texts.notes, *r.list, kMaxNotes, defaultBeats);
    if (r.count == 0) return Fail(out, COMPOSE_NO_NOTES, ErrorLine(COMPOSE_NO_NOTES));

    r.writer.reset(CreateMIDIWriter());
    if (r.writer == nullptr) return Fail(out, COMPOSE_NO_WRITER, ErrorLine(COMPOSE_NO_WRITER));
    SetMIDIWriterProgram(r.writer.get(), static_cast<std::uint8_t>(out.program & 0xFF));
    ReserveMIDINotes(r.writer.get(), static_cast<std::size_t>(r.count));

    float beatSum = 0.0f;
    const int added = AddNotes(r, defaultBeats, out, beatSum);
    if (added != COMPOSE_OK) return added;
    FindWarnings(texts, read, *r.list, r.count, out);

    // The report is written, and the file exists in memory in full, before
    // the path is touched: once the file is saved, nothing is left that
    // could fail and report a failure for a file that was written. A failed
    // save takes the report back off.
    const std::size_t reportStart = out.output.size();
    AppendReport(texts.path, out.program, out.instrument, r.count, beatSum, out.output);
    if (!SaveMIDIFile(r.writer.get(), out.file, texts.path, nativePath, out.errors)) {
        out.output.resize(reportStart);
        out.file.clear();
        return Fail(out, COMPOSE_SAVE_FAILED, ErrorLine(COMPOSE_SAVE_FAILED));
    }
    out.notes = r.count;
    out.beats = beatSum;
    out.writer = std::move(r.writer);
    out.list = std::move(r.list);
    return COMPOSE_OK;
}

}  // namespace

std::string ErrorLine(int status, const std::string& rest) {
    return std::string("Error: ") + MIDIComposeStatusMessage(status) + rest + "\n";
}

void ComposeNotes(const ComposeTexts& texts, const NativePathChar* nativePath, Composed& out) {
    out.status = Compose(texts, nativePath, out);
}

}  // namespace midicompose
