// MIDIComposeUTF8 without a path: the file comes back in memory, nothing is
// written or printed, and the result structure behaves as its header says.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "midicompose.h"
#include "test_support.h"

using namespace testing_support;

namespace {

Bytes Golden(const std::string& name) { return ReadBytes(std::string(MIDICOMPOSE_TEST_DATA) + "/golden/" + name); }

struct InMemoryCase {
    const char* notes;
    const char* instrument;
    const char* golden;
    int program, notes_;
    double beats;
    const char* report;
};

TEST(MIDIComposeUTF8, ComposesTheGoldenFilesInMemoryWithoutPrintingOrWriting) {
    const InMemoryCase cases[] = {
        {"C:2 E:1 G:1 C5:2", "violin", "chord.mid", 40, 4, 6.0,
         "Generating MIDI file with notes: C:2 E G C5:2\nMIDI file created successfully: \n"
         "Instrument: violin (program 40)\nDuration: 6 beats (6 quarter notes)\nNotes: 4\n"},
        {"FACE", "piano", "face.mid", 0, 4, 4.0, nullptr},
        {"C2 D2", "DRUMS", "drums.mid", 128, 2, 2.0, nullptr},
    };
    TempDir dir;
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    for (const InMemoryCase& c : cases) {
        MIDIComposeResult result{};
        result.size = sizeof result;
        CapturedOutput quiet;
        const int status = MIDIComposeUTF8(c.notes, nullptr, c.instrument, "1.0", &result);
        quiet.Stop();
        EXPECT_EQ(status, COMPOSE_OK) << c.notes;
        EXPECT_EQ(Bytes(result.data, result.data + result.length), Golden(c.golden)) << c.notes;
        EXPECT_EQ(result.program, c.program) << c.notes;
        EXPECT_EQ(result.notes, c.notes_) << c.notes;
        EXPECT_EQ(result.beats, c.beats) << c.notes;
        if (c.report != nullptr) {
            EXPECT_STREQ(result.output, c.report);
        }
        EXPECT_STREQ(result.errors, "");
        EXPECT_EQ(quiet.out() + quiet.err(), "");
        MIDIComposeFreeResult(&result);
    }
    EXPECT_TRUE(dir.Entries().empty());
    ASSERT_EQ(chdir("/"), 0);
}

TEST(MIDIComposeUTF8, FillsOnlyTheFieldsTheCallerSizedAndFreesSafely) {
    // A caller built against a header whose structure ended after `length`.
    MIDIComposeResult result;
    std::memset(&result, 0xAB, sizeof result);
    result.size = offsetof(MIDIComposeResult, output);
    EXPECT_EQ(MIDIComposeUTF8("C", nullptr, "piano", "1", &result), COMPOSE_OK);
    EXPECT_EQ(result.length, 35u);
    EXPECT_EQ(Bytes(result.data, result.data + 4), HexBytes("4D 54 68 64"));
    char untouched[sizeof(char*)];
    std::memset(untouched, 0xAB, sizeof untouched);
    EXPECT_EQ(std::memcmp(&result.output, untouched, sizeof untouched), 0) << "a field past size was written";
    MIDIComposeFreeResult(&result);
    MIDIComposeFreeResult(&result);
    EXPECT_EQ(result.data, nullptr);

    // Shorter still: the size alone, or the bytes without their length.
    for (const std::size_t size : {offsetof(MIDIComposeResult, data), offsetof(MIDIComposeResult, length)}) {
        MIDIComposeResult small;
        std::memset(&small, 0xAB, sizeof small);
        small.size = size;
        EXPECT_EQ(MIDIComposeUTF8("C", nullptr, "piano", "1", &small), COMPOSE_OK);
        const unsigned char* past = reinterpret_cast<const unsigned char*>(&small) + size;
        EXPECT_TRUE(std::all_of(past, past + sizeof small - size, [](unsigned char b) { return b == 0xAB; })) << size;
        MIDIComposeFreeResult(&small);
    }

    MIDIComposeResult zeroed{};
    MIDIComposeFreeResult(&zeroed);
    MIDIComposeFreeResult(nullptr);
    EXPECT_EQ(MIDIComposeUTF8("C", nullptr, "nothing", "1", nullptr), COMPOSE_BAD_INSTRUMENT);

    MIDIComposeResult failed{};
    failed.size = sizeof failed;
    EXPECT_EQ(MIDIComposeUTF8("C", nullptr, "violin", "-1", &failed), COMPOSE_BAD_BEATS);
    EXPECT_EQ(failed.data, nullptr);
    EXPECT_EQ(failed.program, -1);
    EXPECT_STREQ(failed.errors, "Error: Invalid beats value '-1'\n");
    MIDIComposeFreeResult(&failed);
}

}  // namespace
