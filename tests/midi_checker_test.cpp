// The fuzzer trusts this checker to tell a sound file from a broken one.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "midi_checker.h"
#include "test_support.h"

using namespace testing_support;

namespace {

Bytes Chord() { return ReadBytes(std::string(MIDICOMPOSE_TEST_DATA) + "/golden/chord.mid"); }

TEST(CheckMIDIFile, AcceptsTheGoldenFiles) {
    for (const char* name : {"chord.mid", "face.mid", "drums.mid"}) {
        const Bytes file = ReadBytes(std::string(MIDICOMPOSE_TEST_DATA) + "/golden/" + name);
        const CheckedFile checked = CheckMIDIFile(file.data(), file.size());
        EXPECT_EQ(checked.error, "") << name;
    }
    const Bytes chord = Chord();
    const CheckedFile checked = CheckMIDIFile(chord.data(), chord.size());
    EXPECT_EQ(checked.noteOns, 4);
    EXPECT_EQ(checked.programChanges, 1);
    EXPECT_EQ(checked.lastTick, 2880u);
}

struct Corruption {
    const char* what;
    std::function<void(Bytes&)> apply;
};

std::string Describe(const Corruption& c) { return c.what; }

class CheckerRejectsTest : public ::testing::TestWithParam<Corruption> {};

TEST_P(CheckerRejectsTest, RejectsABrokenFile) {
    Bytes file = Chord();
    ASSERT_EQ(file.size(), 65u) << "the golden chord is missing";
    GetParam().apply(file);
    EXPECT_NE(CheckMIDIFile(file.data(), file.size()).error, "") << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Corruptions, CheckerRejectsTest,
    ::testing::Values(
        Corruption{"a wrong division", [](Bytes& f) { f[13] = 0x60; }},
        Corruption{"a chunk length one short", [](Bytes& f) { f[21] -= 1; }},
        Corruption{"a missing end of track", [](Bytes& f) { f.resize(f.size() - 4); f[21] -= 4; }},
        Corruption{"a data byte above 0x7F", [](Bytes& f) { f[24] = 0x80 | 40; }},
        Corruption{"a note never released", [](Bytes& f) { f[32] = 0x3D; }},  // the first note-off's key
        Corruption{"a five-byte delta", [](Bytes& f) {
            const Bytes extra = {0x80, 0x80, 0x80, 0x80};
            f.insert(f.begin() + 22, extra.begin(), extra.end());
            f[21] += 4;
        }},
        Corruption{"events after the end", [](Bytes& f) {
            const Bytes extra = {0x00, 0xFF, 0x2F, 0x00};
            f.insert(f.end(), extra.begin(), extra.end());
            f[21] += 4;
        }},
        Corruption{"a running status", [](Bytes& f) {
            f.erase(f.begin() + 26);  // the first note-on's status byte
            f[21] -= 1;
        }},
        Corruption{"a truncated file", [](Bytes& f) { f.resize(10); }}),
    NamedAfterDescription());

}  // namespace
