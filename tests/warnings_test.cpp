// The warnings MIDIComposeUTF8 hands back: what the grammar did with each
// text, with its place in bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "midicompose.h"
#include "test_support.h"

namespace {

struct WarningCase {
    const char* what;
    std::string notes, beats, instrument;
    std::string expected;  // "CODE argument note start end", one per warning, separated by "; "
};
std::string Describe(const WarningCase& c) { return c.what; }

std::string Listed(const MIDIComposeResult& result) {
    std::string listed;
    for (std::size_t i = 0; i < result.warningCount; ++i) {
        const MIDIComposeWarning& w = result.warnings[i];
        if (i > 0) listed += "; ";
        listed += std::string(MIDIComposeWarningName(w.code)) + " " + MIDIComposeArgumentName(w.argument) + " " +
                  std::to_string(w.note) + " " + std::to_string(w.start) + " " + std::to_string(w.end);
    }
    return listed;
}

class WarningTest : public ::testing::TestWithParam<WarningCase> {};

TEST_P(WarningTest, ListsWhatTheGrammarDidWithItsPlace) {
    const WarningCase& c = GetParam();
    MIDIComposeResult result{};
    result.size = sizeof result;
    ASSERT_EQ(MIDIComposeUTF8(c.notes.c_str(), nullptr, c.instrument.c_str(), c.beats.c_str(), &result), COMPOSE_OK);
    EXPECT_EQ(Listed(result), c.expected) << c.notes;
    EXPECT_EQ(result.warnings == nullptr, result.warningCount == 0);
    MIDIComposeFreeResult(&result);
    EXPECT_EQ(result.warnings, nullptr);
}

const std::string k101Letters(101, 'C');
std::string Tokens(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "C ";
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    EveryCode, WarningTest,
    ::testing::Values(
        WarningCase{"clean notes", "C:2 E:1 G:1 C5:2", "1.0", "violin", ""},
        WarningCase{"a sharp and a flat", "C#5 Bb D\xE2\x99\xAF" "4", "1", "piano",
                    "SHARP_OR_FLAT notes 0 1 3; SHARP_OR_FLAT notes 1 5 6; SHARP_OR_FLAT notes 2 8 12"},
        WarningCase{"unknown letters", "H caf\xC3\xA9 \xC3\xA9", "1", "piano",
                    "UNKNOWN_LETTER notes 0 0 1; IGNORED_CHARACTERS notes 1 3 7; UNKNOWN_LETTER notes 2 8 10"},
        WarningCase{"characters a name ignores", "C10 C4x Cx C-1", "1", "piano",
                    "IGNORED_CHARACTERS notes 0 2 3; IGNORED_CHARACTERS notes 1 6 7; "
                    "IGNORED_CHARACTERS notes 2 9 10; IGNORED_CHARACTERS notes 3 12 14"},
        WarningCase{"keys above 127", "A9 B9x G9", "1", "piano",
                    "KEY_CLAMPED notes 0 0 2; KEY_CLAMPED notes 1 3 5; IGNORED_CHARACTERS notes 1 5 6"},
        WarningCase{"lengths not above zero", "C:0 D:-1 E:abc F:", "2", "piano",
                    "LENGTH_IGNORED notes 0 1 3; LENGTH_IGNORED notes 1 5 8; LENGTH_IGNORED notes 2 10 14; "
                    "LENGTH_IGNORED notes 3 16 17"},
        WarningCase{"text after a length", "C:1/3 D:0.5x E:2:3", "1", "piano",
                    "LENGTH_TRAILING notes 0 3 5; LENGTH_TRAILING notes 1 11 12; LENGTH_TRAILING notes 2 16 18"},
        WarningCase{"a note's own lengths off the ticks", "C:0.001 D:0.333 E", "1", "piano",
                    "ZERO_LENGTH notes 0 1 7; LENGTH_ROUNDED notes 1 9 15"},
        WarningCase{"compact notation skips a sharp, digits and a length", "C#5:0.333x", "1 ", "piano",
                    "SKIPPED_CHARACTERS notes -1 1 9"},
        WarningCase{"one token's warnings in order of place", "C#5:0.333x D", "1", "piano",
                    "SHARP_OR_FLAT notes 0 1 3; LENGTH_ROUNDED notes 0 3 10; LENGTH_TRAILING notes 0 9 10"},
        WarningCase{"a default length off the ticks, then text after it", "C D:2", "0.333x", "piano",
                    "LENGTH_ROUNDED beats -1 0 6; TRAILING_TEXT beats -1 5 6"},
        WarningCase{"a default length no note uses", "C:2 D:1", "0.333", "piano", ""},
        WarningCase{"a default no note uses, past any tick count", "C:2 D:1", "1e30", "piano", ""},
        WarningCase{"a default of no tick in compact notation", "C:2", "0.001", "piano",
                    "SKIPPED_CHARACTERS notes -1 1 3; ZERO_LENGTH beats -1 0 5"},
        WarningCase{"beats with words, and white space that is fine", "C D", "2 beats", "piano",
                    "TRAILING_TEXT beats -1 1 7"},
        WarningCase{"trailing white space in beats", "C D", "1.0 \t", "piano", ""},
        WarningCase{"an instrument number with text after it", "C", "1", "12abc", "TRAILING_TEXT instrument -1 2 5"},
        WarningCase{"compact notation skips digits and punctuation, not tabs", "C5:2,D\tE", "1", "piano",
                    "SKIPPED_CHARACTERS notes -1 1 5"},
        WarningCase{"a 101st letter", k101Letters + "!", "1", "piano", "NOTES_DROPPED notes -1 100 102"},
        WarningCase{"a sign and an octave after the 100th letter", k101Letters.substr(1) + "#5", "1", "piano",
                    "SKIPPED_CHARACTERS notes -1 100 102"},
        WarningCase{"a sign and an octave before the 101st letter", k101Letters.substr(1) + "#5D", "1", "piano",
                    "SKIPPED_CHARACTERS notes -1 100 102; NOTES_DROPPED notes -1 102 103"},
        WarningCase{"a multi-byte sign with no octave", "C\xE2\x99\xAF E\xE2\x99\xAD", "1", "piano",
                    "SHARP_OR_FLAT notes 0 1 4; SHARP_OR_FLAT notes 1 6 9"},
        WarningCase{"a 101st token", Tokens(101), "1", "piano", "NOTES_DROPPED notes -1 200 202"}),
    testing_support::NamedAfterDescription());

// Each note's place in the notes text: "start-end " a note, in bytes.
TEST(MIDIComposeUTF8, HandsBackEachNotesPlace) {
    std::string tokens101, first100;  // the 101st note dropped
    for (int i = 0; i < 101; ++i) tokens101 += "C ", first100 += i < 100 ? std::to_string(2 * i) + "-" + std::to_string(2 * i + 1) + " " : "";
    const std::pair<std::string, std::string> cases[] = {
        {"FACE", "0-1 1-2 2-3 3-4 "}, {"C:2 E G:0.5 C5:2", "0-3 4-5 6-11 12-16 "}, {"caf\xC3\xA9:2 C", "0-7 8-9 "},
        {"\tC\t D:2\n\nE ", "1-2 4-7 9-10 "}, {"C#5\xC3\xA9" "D\tE", "0-1 5-6 7-8 "}, {"H 1 C", "0-1 2-3 4-5 "}, {tokens101, first100}};
    for (const auto& [notes, expected] : cases) {
        MIDIComposeResult result{};
        result.size = sizeof result;
        ASSERT_EQ(MIDIComposeUTF8(notes.c_str(), nullptr, "piano", "1", &result), COMPOSE_OK) << notes;
        std::string places;
        for (std::size_t i = 0; i < result.noteCount; ++i) places += std::to_string(result.places[i].start) + "-" + std::to_string(result.places[i].end) + " ";
        EXPECT_EQ(places, expected) << notes;
        MIDIComposeFreeResult(&result);
        EXPECT_EQ(result.places, nullptr);
    }
}

TEST(MIDIComposeWarningName, NamesEveryCodeAndNothingElse) {
    int named = 0;
    for (int code = -2; code < 40; ++code) named += MIDIComposeWarningName(code) != nullptr;
    EXPECT_EQ(named, 11);
    EXPECT_STREQ(MIDIComposeWarningName(COMPOSE_WARN_TRAILING_TEXT), "TRAILING_TEXT");
    EXPECT_EQ(MIDIComposeArgumentName(3), nullptr);
}

// Random texts in both notations, with every kind of odd name and length:
// each warning lies in its text, in order, says what its span holds, and
// agrees with the note list; and a beat-notation note with no warning on
// its name or length is one a musician would read the same way.
TEST(MIDIComposeUTF8, WarnsOfExactlyTheCharactersTheGrammarDidNotTakeAsWritten) {
    std::mt19937 random(30);
    const char* const names[] = {"C", "d", "A9", "B9", "G9", "C10", "C#5", "Bb", "E\xE2\x99\xAD", "H", "x", "caf\xC3\xA9", "C-1", "F4",
                                 "G\xE2\x99\xAE", "A\xE2\x82\xAC"};  // a natural sign and a euro: no sharps
    const char* const lengths[] = {"", ":2", ":0.5", ":0.333", ":0.001", ":0", ":abc", ":1/3", ":", ":2:3", ":1e-9"};
    const std::regex cleanName("[A-Ga-g][0-9]?"), cleanLength(":[0-9.]+");
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> tokens;
        std::string notes;
        const int count = 1 + static_cast<int>(random() % 105);
        for (int i = 0; i < count; ++i) {
            tokens.push_back(std::string(names[random() % std::size(names)]) + lengths[random() % std::size(lengths)]);
            // Every fifth text has no separators, every fifth only tabs and line breaks: both are compact.
            const char* const separators[] = {"", "\t", "\n", " ", " ", "\t ", " \n\n"};
            notes += (i == 0 || round % 5 == 0 ? "" : separators[round % 5 == 1 ? 1 + random() % 2 : 1 + random() % 6]) +
                     tokens.back();
        }
        const bool compact = notes.find(' ') == std::string::npos;
        const std::string beats = round % 3 == 0 ? "0.333" : round % 3 == 1 ? "1.5x" : "1";
        MIDIComposeResult result{};
        result.size = sizeof result;
        ASSERT_EQ(MIDIComposeUTF8(notes.c_str(), nullptr, "piano", beats.c_str(), &result), COMPOSE_OK) << notes;
        std::vector<bool> nameWarned(tokens.size()), lengthWarned(tokens.size()), skipped(notes.size()), told(notes.size());
        std::tuple<int, std::size_t, int> previous{-1, 0, 0};
        for (std::size_t i = 0; i < result.warningCount; ++i) {
            const MIDIComposeWarning& w = result.warnings[i];
            const std::string& text = w.argument == COMPOSE_ARGUMENT_NOTES ? notes : beats;
            ASSERT_NE(MIDIComposeWarningName(w.code), nullptr);
            ASSERT_TRUE(w.start < w.end && w.end <= text.size()) << notes;
            ASSERT_LE(previous, std::make_tuple(w.argument, w.start, w.code)) << notes;
            previous = std::make_tuple(w.argument, w.start, w.code);
            ASSERT_LT(w.note, static_cast<int>(result.noteCount));
            const std::string span = text.substr(w.start, w.end - w.start);
            const int key = w.note >= 0 ? result.noteList[w.note].key : -1;
            switch (w.code) {
                case COMPOSE_WARN_SKIPPED_CHARACTERS:
                    EXPECT_TRUE(compact && std::regex_match(span, std::regex("[^A-Za-z \t\n\v\f\r]+"))) << span;
                    for (std::size_t b = w.start; b < w.end; ++b) skipped[b] = true;
                    break;
                case COMPOSE_WARN_NOTES_DROPPED: std::fill(told.begin() + w.start, told.begin() + w.end, true); break;
                case COMPOSE_WARN_UNKNOWN_LETTER: EXPECT_EQ(key, 60) << span; break;
                case COMPOSE_WARN_KEY_CLAMPED: EXPECT_EQ(key, 127) << span; break;
                case COMPOSE_WARN_SHARP_OR_FLAT:
                    EXPECT_TRUE(span[0] == '#' || span[0] == 'b' || span.rfind("\xE2\x99", 0) == 0) << span;
                    break;
                case COMPOSE_WARN_LENGTH_IGNORED: EXPECT_EQ(span[0], ':'); break;
                default: break;
            }
            if (w.note >= 0) {
                const bool onLength = span[0] == ':' || w.code == COMPOSE_WARN_LENGTH_TRAILING;
                (onLength ? lengthWarned : nameWarned)[static_cast<std::size_t>(w.note)] = true;
            }
        }
        // Each note's place is its token (beat notation) or its letter, in
        // order; and every byte lies in one note's place, is white space
        // between notes, or is told as skipped or dropped.
        std::vector<int> placed(notes.size());
        for (std::size_t i = 0; i < result.noteCount; ++i) {
            const MIDIComposePlace& p = result.places[i];
            ASSERT_TRUE(p.start < p.end && p.end <= notes.size() && (i == 0 || result.places[i - 1].end <= p.start)) << notes;
            const std::string text = notes.substr(p.start, p.end - p.start);
            EXPECT_TRUE(compact ? text.size() == 1 && std::isalpha(static_cast<unsigned char>(text[0])) : text == tokens[i]) << text;
            for (std::size_t b = p.start; b < p.end; ++b) ++placed[b];
        }
        for (std::size_t b = 0; b < notes.size(); ++b) {
            const bool toldOf = skipped[b] || told[b], space = std::isspace(static_cast<unsigned char>(notes[b])) != 0;
            EXPECT_TRUE(placed[b] == 1 ? !toldOf : placed[b] == 0 && (toldOf || space)) << notes << " @" << b;
        }
        // Compact notation: every byte before the 101st letter is a letter,
        // white space, or told as skipped.
        for (std::size_t b = 0, letters = 0; compact && b < notes.size(); ++b) {
            const bool letter = std::isalpha(static_cast<unsigned char>(notes[b])) != 0;
            if (letter && ++letters > 100) break;
            EXPECT_EQ(skipped[b], !letter && !std::isspace(static_cast<unsigned char>(notes[b]))) << notes << " @" << b;
        }
        for (std::size_t i = 0; !compact && i < tokens.size() && i < 100; ++i) {
            const std::string& token = tokens[i];
            const std::size_t colon = token.find(':');
            if (!nameWarned[i]) {
                EXPECT_TRUE(std::regex_match(token.substr(0, colon), cleanName)) << token;
            }
            if (!lengthWarned[i] && colon != std::string::npos) {
                EXPECT_TRUE(std::regex_match(token.substr(colon), cleanLength)) << token;
            }
        }
        MIDIComposeFreeResult(&result);
    }
}

}  // namespace
