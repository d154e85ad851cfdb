// MusicXML 4.0 from a laid-out score. The elements come in the order the
// schema gives them; nothing depends on the time or the machine, so the same
// notes give the same bytes.
#include "musicxml_writer.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <utility>

namespace midicompose {
namespace {

#define MIDICOMPOSE_TEXT(x) #x
#define MIDICOMPOSE_VERSION_TEXT(major, minor, patch) \
    MIDICOMPOSE_TEXT(major) "." MIDICOMPOSE_TEXT(minor) "." MIDICOMPOSE_TEXT(patch)
constexpr char kSoftware[] =
    "midicompose " MIDICOMPOSE_VERSION_TEXT(MIDICOMPOSE_VERSION_MAJOR, MIDICOMPOSE_VERSION_MINOR, MIDICOMPOSE_VERSION_PATCH);

constexpr const char* kValueNames[] = {"whole", "half", "quarter", "eighth", "16th", "32nd", "64th"};
constexpr const char* kBeamNames[] = {"", "begin", "continue", "end", "forward hook", "backward hook"};
constexpr char kSteps[] = "CCDDEFFGGAAB";
constexpr bool kSharp[] = {false, true, false, true, false, false, true, false, true, false, true, false};
constexpr int kDrums = 128;

// Writes into room malloc'd beforehand for the most a score can take, so a
// piece of text is one copy of known length with no capacity check: the
// score then costs a few times the composition, not ten.
class Text {
public:
    explicit Text(std::size_t bound) : text_(static_cast<char*>(std::malloc(bound + 1))), at_(text_.get()) {
        if (at_ == nullptr) throw std::bad_alloc();
    }
    template <std::size_t N>
    Text& operator<<(const char (&text)[N]) {
        std::memcpy(at_, text, N - 1);
        at_ += N - 1;
        return *this;
    }
    Text& operator<<(std::uint64_t number) {
        at_ = std::to_chars(at_, at_ + 20, number).ptr;
        return *this;
    }
    Text& operator<<(int number) {
        at_ = std::to_chars(at_, at_ + 11, number).ptr;
        return *this;
    }
    Text& Put(const char* text) {
        const std::size_t length = std::strlen(text);
        std::memcpy(at_, text, length);
        at_ += length;
        return *this;
    }
    Text& Escaped(const char* text) {
        for (; *text != '\0'; ++text) {
            switch (*text) {
                case '&': *this << "&amp;"; break;
                case '<': *this << "&lt;"; break;
                case '>': *this << "&gt;"; break;
                default: *at_++ = *text;
            }
        }
        return *this;
    }
    ScoreText Finish() {
        *at_ = '\0';
        const std::size_t length = static_cast<std::size_t>(at_ - text_.get());
        return {std::move(text_), length};
    }

private:
    std::unique_ptr<char, FreeText> text_;
    char* at_;
};

// The most text a piece, a measure and the part list can take (a note with
// every element, four beams and every notation is under 800 bytes).
constexpr std::size_t kPieceBound = 1024, kMeasureBound = 64, kHeaderBound = 2048, kDrumKeyBound = 256;

// The clef from the mean of the keys: bass an octave down below 36, bass
// below 60, treble an octave up from 84, else treble.
void WriteClef(Text& xml, const MIDIComposeNote* notes, std::size_t count, int program) {
    if (program == kDrums) {
        xml << "        <clef><sign>percussion</sign></clef>\n";
        return;
    }
    long long sum = 0;
    for (std::size_t i = 0; i < count; ++i) sum += notes[i].key;
    const long long n = static_cast<long long>(count);
    if (sum < 60 * n) {
        xml << "        <clef><sign>F</sign><line>4</line>";
        if (sum < 36 * n) xml << "<clef-octave-change>-1</clef-octave-change>";
    } else {
        xml << "        <clef><sign>G</sign><line>2</line>";
        if (sum >= 84 * n) xml << "<clef-octave-change>1</clef-octave-change>";
    }
    xml << "</clef>\n";
}

void WritePartList(Text& xml, const std::set<int>& drumKeys, const ScorePart& part) {
    xml << "  <part-list>\n    <score-part id=\"P1\">\n      <part-name>";
    xml.Escaped(part.name) << "</part-name>\n";
    if (part.program != kDrums) {
        xml << "      <score-instrument id=\"P1-I1\"><instrument-name>";
        xml.Escaped(part.name) << "</instrument-name></score-instrument>\n";
        xml << "      <midi-instrument id=\"P1-I1\"><midi-channel>1</midi-channel><midi-program>" << part.program + 1
            << "</midi-program></midi-instrument>\n";
    } else {
        for (int key : drumKeys) {
            xml << "      <score-instrument id=\"P1-K" << key << "\"><instrument-name>Key " << key
                << "</instrument-name></score-instrument>\n";
        }
        for (int key : drumKeys) {
            xml << "      <midi-instrument id=\"P1-K" << key << "\"><midi-channel>10</midi-channel><midi-unpitched>"
                << key + 1 << "</midi-unpitched></midi-instrument>\n";
        }
    }
    xml << "    </score-part>\n  </part-list>\n";
}

void WriteNote(Text& xml, const ScorePiece& piece, bool drums) {
    xml << "      <note>\n";
    if (piece.duration == 0) xml << "        <grace slash=\"yes\"/>\n";
    if (piece.key < 0) {
        xml << "        <rest/>\n";
    } else {
        const int octave = piece.key / 12 - 1 < 0 ? 0 : piece.key / 12 - 1;
        const char step[] = {kSteps[piece.key % 12], '\0'};
        if (drums) {
            xml << "        <unpitched><display-step>" << step << "</display-step><display-octave>" << octave
                << "</display-octave></unpitched>\n";
        } else {
            xml << "        <pitch><step>" << step << "</step>";
            if (kSharp[piece.key % 12]) xml << "<alter>1</alter>";
            xml << "<octave>" << octave << "</octave></pitch>\n";
        }
    }
    if (piece.duration != 0) xml << "        <duration>" << static_cast<std::uint64_t>(piece.duration) << "</duration>\n";
    if (piece.tieStop) xml << "        <tie type=\"stop\"/>\n";
    if (piece.tieStart) xml << "        <tie type=\"start\"/>\n";
    if (drums && piece.key >= 0) xml << "        <instrument id=\"P1-K" << piece.key << "\"/>\n";
    xml << "        <voice>1</voice>\n        <type>";
    xml.Put(kValueNames[piece.value]) << "</type>\n";
    if (piece.dot) xml << "        <dot/>\n";
    if (piece.triplet) {
        xml << "        <time-modification><actual-notes>3</actual-notes><normal-notes>2</normal-notes></time-modification>\n";
    }
    for (int level = 0; level < kBeamLevels && piece.beams[level] != kNoBeam; ++level) {
        xml << "        <beam number=\"" << level + 1 << "\">";
        xml.Put(kBeamNames[piece.beams[level]]) << "</beam>\n";
    }
    if (piece.tieStop || piece.tieStart || piece.tupletStart || piece.tupletStop) {
        xml << "        <notations>";
        if (piece.tieStop) xml << "<tied type=\"stop\"/>";
        if (piece.tieStart) xml << "<tied type=\"start\"/>";
        if (piece.tupletStart) xml << "<tuplet type=\"start\" bracket=\"yes\"/>";
        if (piece.tupletStop) xml << "<tuplet type=\"stop\"/>";
        xml << "</notations>\n";
    }
    xml << "      </note>\n";
}

std::string Counted(int count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

ScoreText WriteMusicXML(const ScoreLayout& layout, const MIDIComposeNote* notes, std::size_t count,
                        const ScorePart& part) {
    const bool drums = part.program == kDrums;
    std::set<int> drumKeys;
    for (std::size_t i = 0; drums && i < count; ++i) drumKeys.insert(notes[i].key);
    Text xml(kHeaderBound + 10 * std::strlen(part.name) + drumKeys.size() * kDrumKeyBound +
             layout.pieces.size() * kPieceBound + layout.measures * kMeasureBound);
    xml << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
           "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0 Partwise//EN\" "
           "\"http://www.musicxml.org/dtds/partwise.dtd\">\n"
           "<score-partwise version=\"4.0\">\n"
           "  <identification><encoding><software>"
        << kSoftware << "</software></encoding></identification>\n";
    WritePartList(xml, drumKeys, part);
    xml << "  <part id=\"P1\">\n";
    std::size_t next = 0;
    for (std::uint64_t measure = 0; measure < layout.measures; ++measure) {
        xml << "    <measure number=\"" << measure + 1 << "\">\n";
        if (measure == 0) {
            xml << "      <attributes>\n        <divisions>480</divisions>\n        <key><fifths>0</fifths></key>\n"
                   "        <time><beats>4</beats><beat-type>4</beat-type></time>\n";
            WriteClef(xml, notes, count, part.program);
            xml << "      </attributes>\n      <sound tempo=\"120\"/>\n";
        }
        for (; next < layout.pieces.size() && layout.pieces[next].start / kScoreMeasure == measure; ++next) {
            WriteNote(xml, layout.pieces[next], drums);
        }
        xml << "    </measure>\n";
    }
    xml << "  </part>\n</score-partwise>\n";
    return xml.Finish();
}

std::string ScoreChanges(const ScoreLayout& layout) {
    std::string words;
    const auto add = [&words](const std::string& part) { words += (words.empty() ? "" : ", ") + part; };
    if (layout.moved > 0) add(Counted(layout.moved, "note", "notes") + " moved to the nearest 64th or triplet");
    if (layout.grace > 0) add(Counted(layout.grace, "grace note", "grace notes"));
    if (layout.leftOut > 0) add(Counted(layout.leftOut, "note", "notes") + " of no length left out at the end");
    return words;
}

}  // namespace midicompose
