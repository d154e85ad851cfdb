#include <gtest/gtest.h>

#include <string>

#include "instruments.h"
#include "test_support.h"

using namespace midicompose;

namespace {

struct ResolveCase {
    const char* text;
    int program;
};

std::string Describe(const ResolveCase& c) { return c.text; }

class ResolveInstrumentTest : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveInstrumentTest, ResolvesTheTextToItsProgramOrMinusOne) {
    EXPECT_EQ(ResolveInstrument(GetParam().text), GetParam().program) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    NamesIgnoreAsciiCaseOnly, ResolveInstrumentTest,
    ::testing::Values(ResolveCase{"violin", 40}, ResolveCase{"VIOLIN", 40}, ResolveCase{"Violin", 40},
                      ResolveCase{"piano", 0}, ResolveCase{"acoustic_piano", 0}, ResolveCase{"drums", 128},
                      ResolveCase{"DrUmS", 128}, ResolveCase{"acoustic piano", -1},
                      ResolveCase{"acoustic-piano", -1}, ResolveCase{" violin", -1}, ResolveCase{"violin ", -1},
                      ResolveCase{"viol", -1}, ResolveCase{"violins", -1}, ResolveCase{"", -1},
                      ResolveCase{"v\xC3\xADolin", -1}),
    testing_support::NamedAfterDescription());

INSTANTIATE_TEST_SUITE_P(
    NumbersFollowLeadingDigitsAndStayBelow128, ResolveInstrumentTest,
    ::testing::Values(ResolveCase{"0", 0}, ResolveCase{"127", 127}, ResolveCase{"128", -1}, ResolveCase{"999", -1},
                      ResolveCase{"12abc", 12}, ResolveCase{"007", 7}, ResolveCase{"40 violins", 40},
                      ResolveCase{"-5", -1}, ResolveCase{"+5", -1}, ResolveCase{" 5", -1},
                      ResolveCase{"2147483647", -1}, ResolveCase{"2147483648", -1},
                      ResolveCase{"4294967336", -1},  // wraps to 40 in 32 bits
                      ResolveCase{"99999999999999999999999999999", -1}, ResolveCase{"00000000000000000000040", 40}),
    testing_support::NamedAfterDescription());

INSTANTIATE_TEST_SUITE_P(
    RowsTakeTheirGeneralMidiNumbers, ResolveInstrumentTest,
    ::testing::Values(ResolveCase{"electric_piano2", 5}, ResolveCase{"harpsichord", 6}, ResolveCase{"clavinet", 7},
                      ResolveCase{"celesta", 8}, ResolveCase{"glockenspiel", 9}, ResolveCase{"music_box", 10},
                      ResolveCase{"vibraphone", 11}, ResolveCase{"marimba", 12}, ResolveCase{"xylophone", 13},
                      ResolveCase{"tubular_bells", 14}, ResolveCase{"dulcimer", 15}, ResolveCase{"organ", 16},
                      ResolveCase{"hammond_organ", 16}, ResolveCase{"4", 4}),
    testing_support::NamedAfterDescription());

TEST(ResolveInstrument, TreatsANullTextAsProgramZero) { EXPECT_EQ(ResolveInstrument(nullptr), 0); }

TEST(LookupInstrumentByName, AnswersMinusOneForNullAndForNumbers) {
    EXPECT_EQ(LookupInstrumentByName(nullptr), -1);
    EXPECT_EQ(LookupInstrumentByName("40"), -1);
}

struct NameCase {
    int program;
    const char* name;
};

std::string Describe(const NameCase& c) { return "program " + std::to_string(c.program); }

class InstrumentNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(InstrumentNameTest, NamesTheFirstRowOfTheLow8BitsProgram) {
    EXPECT_STREQ(InstrumentNameForProgram(GetParam().program), GetParam().name) << GetParam().program;
}

INSTANTIATE_TEST_SUITE_P(
    Programs, InstrumentNameTest,
    ::testing::Values(NameCase{0, "piano"}, NameCase{24, "guitar"}, NameCase{32, "bass"}, NameCase{16, "organ"},
                      NameCase{4, "unknown"}, NameCase{6, "harpsichord"}, NameCase{40, "violin"},
                      NameCase{127, "gunshot"}, NameCase{128, "drums"}, NameCase{129, "unknown"},
                      NameCase{200, "unknown"}, NameCase{256, "piano"}, NameCase{256 + 40, "violin"},
                      NameCase{-1, "unknown"}, NameCase{-256, "piano"}),
    testing_support::NamedAfterDescription());

TEST(InstrumentTable, Holds132RowsEndingWithDrums) {
    ASSERT_EQ(kInstrumentCount, 132u);
    EXPECT_STREQ(InstrumentTable[kInstrumentCount - 1].name, "drums");
}

}  // namespace
