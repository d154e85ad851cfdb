// The score of a composition, read back from its MusicXML: a table of the
// rule's cases, and generated compositions against a small model of where
// each boundary moves. Every score written is validated against the
// MusicXML 4.0 schema where it and xmllint are at hand.
#include <gtest/gtest.h>

#include <algorithm>
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

struct Scored {
    int status;
    std::string xml, message;
    int moved, grace, leftOut;
};

// Every score a test wrote, validated at its end.
void ExpectValid(const std::vector<std::string>& scores) {
    const std::string root = std::string(MIDICOMPOSE_TEST_DATA) + "/../../shared/musicxml-4.0";
    if (!std::ifstream(root + "/musicxml.xsd") || std::system("command -v xmllint >/dev/null") != 0) {
        const std::string absent = "not validated: no ../shared/musicxml-4.0/musicxml.xsd beside the checkout, or no xmllint";
        if (std::getenv("CI") != nullptr) ADD_FAILURE() << absent;
        std::printf("%s\n", absent.c_str());
        return;
    }
    testing_support::TempDir dir;
    std::string files;
    for (std::size_t i = 0; i < scores.size(); ++i) {
        std::ofstream(dir.File(std::to_string(i) + ".musicxml")) << scores[i];
        files += " " + dir.File(std::to_string(i) + ".musicxml");
    }
    const std::string command = "XML_CATALOG_FILES=" + root + "/catalog.xml xmllint --nonet --noout --schema " + root +
                                "/musicxml.xsd" + files + " 2>&1 | grep -v ' validates$'";
    EXPECT_NE(std::system(command.c_str()), 0) << "the lines above do not validate";
}

std::vector<std::string> written;  // the scores of the test that runs

Scored Score(const std::string& notes, const char* instrument = "piano") {
    MIDIComposeResult result{};
    result.size = sizeof result;
    EXPECT_EQ(MIDIComposeUTF8(notes.c_str(), nullptr, instrument, "1", &result), COMPOSE_OK) << notes;
    MIDIComposeScore score{};
    score.size = sizeof score;
    const int status = MIDIComposeMusicXML(&result, nullptr, &score);
    Scored s{status, score.musicxml != nullptr ? score.musicxml : "", score.message, score.moved, score.graceNotes,
             score.leftOut};
    if (status == COMPOSE_OK) written.push_back(s.xml);
    MIDIComposeFreeScore(&score);
    MIDIComposeFreeResult(&result);
    return s;
}

std::string Find(const std::string& text, const char* pattern) {
    std::smatch m;
    return std::regex_search(text, m, std::regex(pattern)) ? m[1].str() : "";
}

// Each note as "C4 8." ("r" a rest, "g" before a grace note, "t" a triplet
// value, "~" tied on), measures apart by " |".
std::string Describe(const std::string& xml) {
    static const std::regex note("<note>([\\s\\S]*?)</note>|<measure number=\"(\\d+)\"");
    static const std::vector<std::string> types = {"whole", "half", "quarter", "eighth", "16th", "32nd", "64th"};
    std::string out;
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), note); it != std::sregex_iterator(); ++it) {
        const std::string n = (*it)[1];
        if ((*it)[2].matched) {
            out += (*it)[2] == "1" ? "" : " |";
            continue;
        }
        const std::string type = Find(n, "<type>(\\w+)<");
        const int value = 1 << (std::find(types.begin(), types.end(), type) - types.begin());
        out += std::string(" ") + (n.find("<grace") != std::string::npos ? "g" : "") +
               (n.find("<rest/>") != std::string::npos ? "r" : Find(n, "step>(\\w)<") + Find(n, "octave>(\\d)<")) +
               (n.find("<grace") != std::string::npos ? "" : " " + std::to_string(value)) +
               (n.find("<dot/>") != std::string::npos ? "." : "") + (n.find("<time-mod") != std::string::npos ? "t" : "") +
               (n.find("<tie type=\"start\"") != std::string::npos ? "~" : "");
    }
    return out.substr(1);
}

TEST(MIDIComposeMusicXML, WritesEachCaseOfTheRule) {
    const struct {
        const char *what, *notes, *instrument, *pieces, *counts, *xml;
    } cases[] = {
        {"a triplet of eighths", "C:0.333 D:0.333 E:0.333", "piano", "C4 8t D4 8t E4 8t r 4 r 2", "3 0 0", "<tuplet type=\"start\""},
        {"a 16th and a dotted eighth", "C:0.24 D:0.76", "piano", "C4 16 D4 8. r 4 r 2", "2 0 0", "forward hook"},
        {"a note over a barline", "C:3 D:2", "piano", "C4 2. D4 4~ | D4 4 r 4 r 2", "0 0 0", "<tied type=\"stop\"/>"},
        {"a dotted quarter", "C:1.5 D:0.5", "piano", "C4 4. D4 8 r 2", "0 0 0", "<beat-type>4</beat-type>"},
        {"off the beat, tied over it", "C:0.5 D E:0.5", "piano", "C4 8 D4 8~ D4 8 E4 8 r 2", "0 0 0", "<sound tempo=\"120\"/>"},
        {"half a bar from its second beat", "C D:2 E", "piano", "C4 4 D4 4~ D4 4 E4 4", "0 0 0", "<midi-program>1<"},
        {"a grace note, and one left out", "C:0.001 D E:0.001", "piano", "gC4 D4 4 r 4 r 2", "0 1 1", "slash=\"yes\""},
        {"the lowest clef", "C1 D1", "piano", "C1 4 D1 4 r 2", "0 0 0", "<line>4</line><clef-octave-change>-1<"},
        {"bass clef", "C3 E3", "violin", "C3 4 E3 4 r 2", "0 0 0", "<sign>F</sign><line>4</line></clef>"},
        {"treble clef an octave up", "C6 E6", "flute", "C6 4 E6 4 r 2", "0 0 0", "<clef-octave-change>1<"},
        {"drums", "C2 D2", "drums", "C2 4 D2 4 r 2", "0 0 0",
         "<midi-channel>10</midi-channel><midi-unpitched>39<[\\s\\S]*<sign>percussion<[\\s\\S]*<instrument id=\"P1-K38\""},
    };
    for (const auto& c : cases) {
        const Scored s = Score(c.notes, c.instrument);
        ASSERT_EQ(s.status, COMPOSE_OK) << c.what;
        EXPECT_EQ(Describe(s.xml), c.pieces) << c.what;
        EXPECT_EQ(std::to_string(s.moved) + " " + std::to_string(s.grace) + " " + std::to_string(s.leftOut), c.counts) << c.what;
        EXPECT_TRUE(std::regex_search(s.xml, std::regex(c.xml))) << c.what;
    }
    std::string long400, long500;
    for (int i = 0; i < 100; ++i) long400 += "C:400 ", long500 += "C:500 ";
    EXPECT_EQ(Score(long400).status, COMPOSE_OK);  // 10,000 measures exactly
    const Scored refused = Score(long500);
    EXPECT_EQ(refused.status, COMPOSE_SCORE_TOO_LONG);
    EXPECT_EQ(refused.message, "Error: Score too long: 12500 measures, at most 10000");
    EXPECT_EQ(refused.xml, "");
    ExpectValid(written);
}

// A caller's own result (its name escaped, a sharp key altered), none at
// all, and a score saved, or not, as the file is.
TEST(MIDIComposeMusicXML, TakesACallersNotesAndSavesAsTheFileIsSaved) {
    const MIDIComposeNote notes[] = {{0, 480, 61, 0}};
    MIDIComposeResult own{};
    own.size = sizeof own;
    own.instrument = "a&b<c>";
    own.noteList = notes;
    own.noteCount = 1;
    MIDIComposeScore score{};
    score.size = sizeof score;
    ASSERT_EQ(MIDIComposeMusicXML(&own, nullptr, &score), COMPOSE_OK);
    EXPECT_TRUE(std::regex_search(score.musicxml, std::regex("<part-name>a&amp;b&lt;c&gt;<[\\s\\S]*<step>C</step><alter>1<")));
    MIDIComposeFreeScore(&score);
    EXPECT_EQ(MIDIComposeMusicXML(nullptr, nullptr, &score), COMPOSE_NO_NOTES);
    EXPECT_STREQ(score.message, "Error: No valid notes found in input");
    testing_support::TempDir dir;
    EXPECT_EQ(MIDIComposeMusicXML(&own, dir.File("own.musicxml").c_str(), nullptr), COMPOSE_OK);
    EXPECT_EQ(MIDIComposeMusicXML(&own, "/dev/full", &score), COMPOSE_SAVE_FAILED);
    EXPECT_STREQ(score.message, "Error: Failed to write /dev/full");
    EXPECT_EQ(MIDIComposeMusicXML(&own, dir.File("none/own.musicxml").c_str(), &score), COMPOSE_SAVE_FAILED);
    EXPECT_EQ(score.message, "Error: Could not create file " + dir.File("none/own.musicxml"));
    MIDIComposeFreeScore(&score);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"own.musicxml"});
}

// The model: each beat's inner boundaries to the 30-tick or 40-tick grid
// that moves them less in sum (30 on a tie, halfway up); zero-length notes
// before a sounding one are grace notes, after the last are left out. The
// score's notes merged over their ties give exactly that timeline.
TEST(MIDIComposeMusicXML, MovesEveryBoundaryAsTheModelDoes) {
    std::mt19937 random(38);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::uint64_t> at{0};
        std::string notes;
        const int count = 1 + static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) {
            const int ticks = random() % 4 == 0 ? static_cast<int>(random() % 12) : static_cast<int>(random() % 2400);
            char beats[32];  // half a tick over, so that the dropped fraction leaves `ticks`
            std::snprintf(beats, sizeof beats, "%.9g", (ticks + 0.5) / 480);
            notes += std::string("CDEFGAB").substr(random() % 7, 1) + ":" + beats + " ";
            at.push_back(at.back() + static_cast<std::uint64_t>(ticks));
        }
        std::vector<std::uint64_t> moved = at;
        for (std::size_t i = 0, j; i < at.size(); i = j) {
            const std::uint64_t line = at[i] / 480 * 480;
            std::uint64_t cost[2] = {0, 0};
            for (j = i; j < at.size() && at[j] > line && at[j] < line + 480; ++j) {
                for (int g = 0; g < 2; ++g) cost[g] += std::llabs(static_cast<long long>((at[j] - line + 15 + 5 * g) / (30 + 10 * g) * (30 + 10 * g)) - static_cast<long long>(at[j] - line));
            }
            const std::uint64_t grid = cost[1] < cost[0] ? 40 : 30;
            for (std::size_t k = i; k < j; ++k) moved[k] = line + (at[k] - line + grid / 2) / grid * grid;
            j = std::max(j, i + 1);
        }
        std::string expected;
        std::size_t last = 0;
        for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) last = moved[i + 1] > moved[i] ? i + 1 : last;
        for (std::size_t i = 0; i < last; ++i) expected += moved[i + 1] > moved[i] ? " " + std::to_string(moved[i + 1] - moved[i]) : " g";
        const Scored s = Score(notes);
        ASSERT_EQ(s.status, COMPOSE_OK) << notes;
        std::string read;
        bool tied = false;
        const std::regex note("<note>([\\s\\S]*?)</note>");
        for (auto it = std::sregex_iterator(s.xml.begin(), s.xml.end(), note); it != std::sregex_iterator(); ++it) {
            const std::string n = (*it)[1];
            if (n.find("<rest/>") != std::string::npos) continue;
            const int duration = n.find("<grace") != std::string::npos ? -1 : std::stoi(Find(n, "<duration>(\\d+)<"));
            if (tied) {
                const std::size_t space = read.rfind(' ');
                read = read.substr(0, space + 1) + std::to_string(std::stoi(read.substr(space + 1)) + duration);
            } else {
                read += duration < 0 ? " g" : " " + std::to_string(duration);
            }
            tied = n.find("<tie type=\"start\"") != std::string::npos;
        }
        EXPECT_EQ(read, expected) << notes;
        const std::uint64_t end = moved.back(), measures = std::max<std::uint64_t>(1, (end + 1919) / 1920);
        EXPECT_NE(s.xml.find("<measure number=\"" + std::to_string(measures) + "\""), std::string::npos) << notes;
        EXPECT_EQ(s.xml.find("<measure number=\"" + std::to_string(measures + 1) + "\""), std::string::npos) << notes;
    }
    ExpectValid(written);
}

}  // namespace
