#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "compose.h"
#include "test_support.h"

using namespace midicompose;

namespace {

struct Parsed {
    std::string name;
    float beats;
    bool operator==(const Parsed& o) const { return name == o.name && beats == o.beats; }
};

std::ostream& operator<<(std::ostream& os, const Parsed& p) { return os << p.name << ':' << p.beats; }

std::vector<Parsed> Parse(const std::string& text, float defaultBeats, int max = kMaxNotes) {
    auto list = std::make_unique<NoteList>();
    const int count = ParseNotes(text.c_str(), *list, max, defaultBeats);
    std::vector<Parsed> notes;
    for (int i = 0; i < count; ++i) notes.push_back({list->entries[i].name, list->entries[i].beats});
    FreeNoteNames(*list, count);
    for (int i = 0; i < count; ++i) EXPECT_EQ(list->entries[i].name, nullptr);
    return notes;
}

struct ParseCase {
    const char* what;
    const char* text;
    float defaultBeats;
    std::vector<Parsed> notes;
};

std::string Describe(const ParseCase& c) { return c.what; }

class ParseNotesTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseNotesTest, YieldsTheNotesInInputOrder) {
    EXPECT_EQ(Parse(GetParam().text, GetParam().defaultBeats), GetParam().notes) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    CompactNotation, ParseNotesTest,
    ::testing::Values(ParseCase{"one note a letter", "FACE", 1, {{"F", 1}, {"A", 1}, {"C", 1}, {"E", 1}}},
                      ParseCase{"no space: the beats suffix is ignored", "C:2", 1, {{"C", 1}}},
                      ParseCase{"tabs and line breaks do not select beats", "C\tD\nE", 0.5f,
                                {{"C", 0.5f}, {"D", 0.5f}, {"E", 0.5f}}},
                      ParseCase{"case is kept, digits are skipped", "c5d#", 2, {{"c", 2}, {"d", 2}}},
                      ParseCase{"no letters, no notes", "123", 1, {}},
                      ParseCase{"bytes outside ASCII are not letters", "\xC3\x89" "A\xFF", 1, {{"A", 1}}},
                      ParseCase{"empty text", "", 1, {}}),
                         testing_support::NamedAfterDescription());

INSTANTIATE_TEST_SUITE_P(
    BeatNotation, ParseNotesTest,
    ::testing::Values(
        ParseCase{"names with and without beats", "C:2 E:1 G:1 C5:2", 1, {{"C", 2}, {"E", 1}, {"G", 1}, {"C5", 2}}},
        ParseCase{"non-positive or missing beats fall back", "C:0 D:abc E:-1 F: G", 2,
                  {{"C", 2}, {"D", 2}, {"E", 2}, {"F", 2}, {"G", 2}}},
        ParseCase{"runs of separators, leading and trailing", " \t C \n\n D:0.5\t", 1, {{"C", 1}, {"D", 0.5f}}},
        ParseCase{"names are not validated", "1 2 hello C#4 X", 1,
                  {{"1", 1}, {"2", 1}, {"hello", 1}, {"C#4", 1}, {"X", 1}}},
        ParseCase{"an empty name before a colon is kept", "C :2", 1, {{"C", 1}, {"", 2}}},
        ParseCase{"only the first colon splits", "C:1:2 D", 1, {{"C", 1}, {"D", 1}}},
        ParseCase{"vertical tab and return are not separators", "C\r D:\v3", 1, {{"C\r", 1}, {"D", 3}}},
        ParseCase{"the number ends where the token ends", "C:\v 5", 1, {{"C", 1}, {"5", 1}}},
        ParseCase{"tiny lengths are kept", "C:0.001 D", 1, {{"C", 0.001f}, {"D", 1}}}),
    testing_support::NamedAfterDescription());

TEST(ParseNotes, StopsAtTheMaximumInBothNotations) {
    EXPECT_EQ(Parse(std::string(150, 'C'), 1).size(), 100u);
    std::string spaced;
    for (int i = 0; i < 150; ++i) spaced += "D ";
    EXPECT_EQ(Parse(spaced, 1).size(), 100u);
    EXPECT_EQ(Parse("C D E F", 1, 2).size(), 2u);
    EXPECT_EQ(Parse("CDEF", 1, 0).size(), 0u);
    EXPECT_EQ(Parse("CDEF", 1, 1000).size(), 4u);  // never past the list's end
}

struct NumberCase {
    const char* text;
    double value;
};

std::string Describe(const NumberCase& c) { return c.text; }

class ParseDecimalTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(ParseDecimalTest, ReadsTheLeadingDecimalNumber) {
    const std::string text = GetParam().text;
    const double value = ParseDecimal(text.data(), text.data() + text.size());
    if (std::isinf(GetParam().value)) {
        EXPECT_EQ(value, GetParam().value) << text;
    } else {
        EXPECT_DOUBLE_EQ(value, GetParam().value) << text;
        EXPECT_EQ(std::signbit(value), std::signbit(GetParam().value)) << text;
    }
}

constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Grammar, ParseDecimalTest,
    ::testing::Values(NumberCase{"1.0", 1.0}, NumberCase{".5", 0.5}, NumberCase{"5.", 5.0}, NumberCase{"-2", -2.0},
                      NumberCase{"+3", 3.0}, NumberCase{" \t\n\v\f\r4", 4.0}, NumberCase{"1e3", 1000.0},
                      NumberCase{"1E-2", 0.01}, NumberCase{"2e", 2.0}, NumberCase{"2e+", 2.0},
                      NumberCase{"1.5x", 1.5}, NumberCase{"-0", -0.0}, NumberCase{"abc", 0.0}, NumberCase{"", 0.0},
                      NumberCase{".", 0.0}, NumberCase{"-", 0.0}, NumberCase{"e5", 0.0}, NumberCase{"0x10", 0.0},
                      NumberCase{"inf", 0.0}, NumberCase{"nan", 0.0}, NumberCase{"infinity", 0.0},
                      NumberCase{"1,5", 1.0}, NumberCase{"1e400", kInf}, NumberCase{"-1e400", -kInf},
                      NumberCase{"1e-400", 0.0}, NumberCase{"0.0000e99999999999999", 0.0},
                      NumberCase{"1e99999999999999999999", kInf}, NumberCase{"0.000001e-99999", 0.0},
                      NumberCase{"123456789012345678901234567890", 1.2345678901234568e29}),
    testing_support::NamedAfterDescription());

TEST(NarrowToFloat, RoundsAndSaturatesToInfinityOnlyPastTheRange) {
    EXPECT_EQ(NarrowToFloat(1e39), std::numeric_limits<float>::infinity());
    EXPECT_EQ(NarrowToFloat(-1e39), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(NarrowToFloat(3.4028235e38), 3.4028235e38f);
    EXPECT_EQ(NarrowToFloat(-0x1.fffffep127 - 0x1p102), -std::numeric_limits<float>::max());  // past it, short of halfway
    EXPECT_EQ(NarrowToFloat(1e-50), 0.0f);
    EXPECT_EQ(NarrowToFloat(0.1), 0.1f);
}

struct FormatCase {
    double value;
    const char* text;
};

std::string Describe(const FormatCase& c) { return c.text; }

class FormatShortNumberTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatShortNumberTest, PrintsAsPercentPoint2gInTheCLocale) {
    EXPECT_STREQ(FormatShortNumber(GetParam().value).text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Values, FormatShortNumberTest,
                         ::testing::Values(FormatCase{6, "6"}, FormatCase{0.5, "0.5"}, FormatCase{1.5, "1.5"},
                                           FormatCase{0.001, "0.001"}, FormatCase{0.0001, "0.0001"},
                                           FormatCase{0.00001, "1e-05"}, FormatCase{2.25, "2.2"},
                                           FormatCase{99.5, "1e+02"}, FormatCase{100, "1e+02"},
                                           FormatCase{12345, "1.2e+04"}, FormatCase{kInf, "inf"},
                                           FormatCase{1e300, "1e+300"}),
                         testing_support::NamedAfterDescription());

TEST(FormatShortNumber, IgnoresTheHostsLocale) {
    testing_support::TempDir scratch;
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!testing_support::UseCommaLocale(scratch)) GTEST_SKIP() << "no locale with a decimal comma can be made here";
    const std::string text = "1.5e1";
    const double read = ParseDecimal(text.data(), text.data() + text.size());
    const std::string shown = FormatShortNumber(1.5).text;
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(read, 15.0);
    EXPECT_EQ(shown, "1.5");
}

}  // namespace
