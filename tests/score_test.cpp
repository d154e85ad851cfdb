// The score read back from its MusicXML: a table of the rule's cases, and
// generated compositions against a small model of where each boundary
// moves. Every score is validated against the MusicXML 4.0 schema from
// ../shared/musicxml-4.0 beside the checkout (the test says so when absent).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "midicompose.h"
#include "test_support.h"

namespace {

std::vector<std::string> written;  // the scores of the test that runs, for the schema

// The score's text, or its status and message; and "moved grace leftOut".
std::pair<std::string, std::string> Score(const std::string& notes, const char* instrument = "piano") {
    MIDIComposeResult result{};
    result.size = sizeof result;
    EXPECT_EQ(MIDIComposeUTF8(notes.c_str(), nullptr, instrument, "1", &result), COMPOSE_OK) << notes;
    MIDIComposeScore score{};
    score.size = sizeof score;
    const int status = MIDIComposeMusicXML(&result, nullptr, &score);
    std::pair<std::string, std::string> out{score.musicxml != nullptr ? score.musicxml : std::to_string(status) + " " + score.message,
                                            std::to_string(score.moved) + " " + std::to_string(score.graceNotes) + " " +
                                                std::to_string(score.leftOut)};
    if (status == COMPOSE_OK) written.push_back(out.first);
    MIDIComposeFreeScore(&score);
    MIDIComposeFreeResult(&result);
    return out;
}

void ExpectValid() {
    const testing_support::TempDir dir;
    const std::string root = std::string(MIDICOMPOSE_TEST_DATA) + "/../../shared/musicxml-4.0", files = dir.path() + "/";
    if (!std::ifstream(root + "/musicxml.xsd") || std::system("command -v xmllint >/dev/null") != 0) {
        std::printf("scores not validated: no ../shared/musicxml-4.0/musicxml.xsd beside the checkout, or no xmllint\n");
        EXPECT_EQ(std::getenv("CI"), nullptr) << "CI validates every score";
        return written.clear();
    }
    std::string command = "XML_CATALOG_FILES=" + root + "/catalog.xml xmllint --nonet --noout --schema " + root + "/musicxml.xsd";
    for (std::size_t i = 0; i < written.size(); ++i) std::ofstream(files + std::to_string(i)) << written[i], command += " " + files + std::to_string(i);
    EXPECT_NE(std::system((command + " 2>&1 | grep -v ' validates$'").c_str()), 0) << "the lines above are not valid";
    written.clear();
}

std::string Find(const std::string& text, const char* pattern) {
    std::smatch m;
    return std::regex_search(text, m, std::regex(pattern)) ? m[1].str() : "";
}

// Each note as "C4 8." ("r" a rest, "g" a grace note, "t" a triplet value,
// "~" after it tied on, "~" before it tied from the piece before), measures apart by " |"; or with `lengths`, each note's
// ticks joined over its ties ("g" a grace note), rests left out.
std::string Describe(const std::string& xml, bool lengths = false) {
    static const std::regex part("<note>([\\s\\S]*?)</note>|<measure number=\"(\\d+)\"");
    static const std::vector<std::string> types = {"whole", "half", "quarter", "eighth", "16th", "32nd", "64th"};
    std::string out;
    bool tied = false;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), part); it != std::sregex_iterator(); ++it) {
        const std::string n = (*it)[1];
        const bool grace = n.find("<grace") != std::string::npos, rest = n.find("<rest/>") != std::string::npos;
        if (lengths && !(*it)[2].matched && !rest) {
            const int ticks = grace ? 0 : std::stoi(Find(n, "<duration>(\\d+)<"));
            const std::size_t last = out.rfind(' ') + 1;
            out = tied ? out.substr(0, last) + std::to_string(std::stoi(out.substr(last)) + ticks)
                       : out + (grace ? " g" : " " + std::to_string(ticks));
        } else if (!lengths && (*it)[2].matched) {
            out += (*it)[2] == "1" ? "" : " |";
        } else if (!lengths) {
            const auto value = std::find(types.begin(), types.end(), Find(n, "<type>(\\w+)<")) - types.begin();
            out += " " + std::string(grace ? "g" : "") + (n.find("<tie type=\"stop\"") != std::string::npos ? "~" : "") + (rest ? "r" : Find(n, "step>(\\w)<") + Find(n, "octave>(\\d)<")) +
                   (grace ? "" : " " + std::to_string(1 << value)) + (n.find("<dot/>") != std::string::npos ? "." : "") +
                   (n.find("<time-mod") != std::string::npos ? "t" : "") + (n.find("<tie type=\"start\"") != std::string::npos ? "~" : "");
        }
        if (!(*it)[2].matched) tied = n.find("<tie type=\"start\"") != std::string::npos;
    }
    return out.empty() ? out : out.substr(1);
}

TEST(MIDIComposeMusicXML, WritesEachCaseOfTheRule) {
    std::string long400, long500;
    for (int i = 0; i < 100; ++i) long400 += "C:400 ", long500 += "C:500 ";
    const struct {
        const char *what, *notes, *instrument, *pieces, *counts, *xml;
    } cases[] = {
        {"a triplet of eighths", "C:0.333 D:0.333 E:0.333", "piano", "C4 8t D4 8t E4 8t r 4 r 2", "3 0 0", "<tuplet type=\"start\""},
        {"into a triplet beat and out", "C:1.333 D:0.333 E:1.333", "piano", "C4 4~ ~C4 8t D4 8t E4 8t~ ~E4 4 r 4", "3 0 0", "</score"},
        {"a 16th and a dotted eighth", "C:0.24 D:0.76", "piano", "C4 16 D4 8. r 4 r 2", "2 0 0", "forward hook"},
        {"a note over a barline", "C:3 D:2", "piano", "C4 2. D4 4~ | ~D4 4 r 4 r 2", "0 0 0", "<tied type=\"stop\"/>"},
        {"a dotted quarter", "C:1.5 D:0.5", "piano", "C4 4. D4 8 r 2", "0 0 0", "<beat-type>4</beat-type>"},
        {"off the beat, tied over it, beamed apart at the beat", "C:0.5 D E:0.5", "piano", "C4 8 D4 8~ ~D4 8 E4 8 r 2", "0 0 0",
         "<sound tempo=\"120\"/>[\\s\\S]*>begin</beam>[\\s\\S]*>end</beam>[\\s\\S]*>begin</beam>[\\s\\S]*>end</beam>"},
        {"a quarter inside a beat ends its beams", "C:0.1667 D:0.667 E:0.1667", "piano", "C4 16t D4 4t E4 16t r 4 r 2", "0 0 0",
         "^(?![\\s\\S]*<beam)"},
        {"half a bar from its second beat", "C D:2 E", "piano", "C4 4 D4 4~ ~D4 4 E4 4", "0 0 0", "<midi-program>1<"},
        {"a grace note, and one left out", "C:0.001 D E:0.001", "piano", "gC4 D4 4 r 4 r 2", "0 1 1", "slash=\"yes\""},
        {"the lowest clef", "C1 D1", "piano", "C1 4 D1 4 r 2", "0 0 0", "<line>4</line><clef-octave-change>-1<"},
        {"bass clef from key 36", "C2 C2", "violin", "C2 4 C2 4 r 2", "0 0 0", "<sign>F</sign><line>4</line></clef>"},
        {"treble clef from key 60", "C4 C4", "violin", "C4 4 C4 4 r 2", "0 0 0", "<sign>G</sign><line>2</line></clef>"},
        {"treble clef an octave up from key 84", "C6 C6", "flute", "C6 4 C6 4 r 2", "0 0 0", "<line>2</line><clef-octave-change>1<"},
        {"drums", "C2 D2", "drums", "C2 4 D2 4 r 2", "0 0 0",
         "<midi-channel>10</midi-channel><midi-unpitched>39<[\\s\\S]*<sign>percussion<[\\s\\S]*<instrument id=\"P1-K38\""},
        {"10,000 measures", long400.c_str(), "piano", nullptr, "0 0 0", "<measure number=\"10000\""},
    };
    for (const auto& c : cases) {
        const auto [xml, counts] = Score(c.notes, c.instrument);
        EXPECT_EQ(c.pieces != nullptr ? Describe(xml) : "", c.pieces != nullptr ? c.pieces : "") << c.what;
        EXPECT_EQ(counts, c.counts) << c.what;
        EXPECT_TRUE(std::regex_search(xml, std::regex(c.xml))) << c.what;
    }
    EXPECT_EQ(Score(long500).first, "20 Error: Score too long: 12500 measures, at most 10000");
    ExpectValid();
}

// A caller's own notes (its name escaped, a sharp key altered) or none, and
// a score saved as the file is (the command's table has those that fail).
TEST(MIDIComposeMusicXML, TakesACallersNotesAndSavesAsTheFileIsSaved) {
    const MIDIComposeNote notes[] = {{0, 480, 61, 0}, {480, 480, 5, 0}};
    MIDIComposeResult own{sizeof own, nullptr, 0, nullptr, nullptr, 0, 2, 2.0, "a&b<c>", notes, 2, nullptr, 0, nullptr};
    MIDIComposeScore score{};
    score.size = sizeof score;
    ASSERT_EQ(MIDIComposeMusicXML(&own, nullptr, &score), COMPOSE_OK);
    EXPECT_TRUE(std::regex_search(score.musicxml, std::regex("<part-name>a&amp;b&lt;c&gt;<[\\s\\S]*<step>C</step><alter>1<"
                                                             "[\\s\\S]*<step>F</step><octave>0<")));
    MIDIComposeFreeScore(&score);
    EXPECT_EQ(MIDIComposeMusicXML(nullptr, nullptr, &score), COMPOSE_NO_NOTES);
    EXPECT_STREQ(score.message, "Error: No valid notes found in input");
    MIDIComposeFreeScore(&score);
    MIDIComposeFreeScore(nullptr);
    // Structures of smaller sizes (a header of another version) are filled as far as they reach.
    for (const std::size_t size : {sizeof(std::size_t), offsetof(MIDIComposeScore, moved)}) {
        score.size = size;
        EXPECT_EQ(MIDIComposeMusicXML(&own, nullptr, &score), COMPOSE_OK);
        EXPECT_EQ(score.musicxml != nullptr, size > sizeof(std::size_t));
        MIDIComposeFreeScore(&score);
    }
    own.instrument = nullptr;
    EXPECT_EQ(MIDIComposeMusicXML(&own, nullptr, nullptr), COMPOSE_NO_NOTES);
    own.size = offsetof(MIDIComposeResult, noteCount);
    EXPECT_EQ(MIDIComposeMusicXML(&own, nullptr, nullptr), COMPOSE_NO_NOTES);
    own.size = sizeof own;
    own.instrument = "a";
    testing_support::TempDir dir;
    EXPECT_EQ(MIDIComposeMusicXML(&own, dir.File("own.musicxml").c_str(), nullptr), COMPOSE_OK);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"own.musicxml"});
}

// The model: each beat's inner boundaries to the 30-tick or 40-tick grid
// that moves them less in sum (30 on a tie, halfway up); notes of no length
// before a sounding one are grace notes, after the last are left out. The
// score's notes joined over their ties give exactly that timeline, in as
// many measures as it needs.
TEST(MIDIComposeMusicXML, MovesEveryBoundaryAsTheModelDoes) {
    std::mt19937 random(38);
    for (int round = 0; round < 300; ++round) {
        std::vector<long long> at{0};
        std::string notes;
        for (int i = 0, count = 1 + static_cast<int>(random() % 12); i < count; ++i) {
            const int ticks = static_cast<int>(random() % 4 == 0 ? random() % 12 : random() % 2400);
            char beats[32];  // half a tick over, so that the dropped fraction leaves `ticks`
            std::snprintf(beats, sizeof beats, "%c:%.9g ", "CDEFGAB"[random() % 7], (ticks + 0.5) / 480);
            notes += beats;
            at.push_back(at.back() + ticks);
        }
        std::vector<long long> moved = at;
        for (std::size_t i = 0, j; i < at.size(); i = std::max(j, i + 1)) {
            const long long line = at[i] / 480 * 480;
            long long cost[2] = {0, 0};
            for (j = i; j < at.size() && at[j] > line && at[j] < line + 480; ++j) {
                for (int g = 0; g < 2; ++g) cost[g] += std::llabs((at[j] - line + 15 + 5 * g) / (30 + 10 * g) * (30 + 10 * g) - (at[j] - line));
            }
            const long long grid = cost[1] < cost[0] ? 40 : 30;
            for (std::size_t k = i; k < j; ++k) moved[k] = line + (at[k] - line + grid / 2) / grid * grid;
        }
        std::size_t last = 0;
        for (std::size_t i = 1; i < moved.size(); ++i) last = moved[i] > moved[i - 1] ? i : last;
        std::string expected;
        for (std::size_t i = 1; i <= last; ++i) expected += moved[i] > moved[i - 1] ? " " + std::to_string(moved[i] - moved[i - 1]) : " g";
        const std::string xml = Score(notes).first;
        EXPECT_EQ(Describe(xml, true), expected.empty() ? "" : expected.substr(1)) << notes;
        const std::string measures = std::to_string(std::max(1LL, (moved.back() + 1919) / 1920));
        EXPECT_EQ(Find(xml, "[\\s\\S]*<measure number=\"(\\d+)\""), measures) << notes;
    }
    ExpectValid();
}

}  // namespace
