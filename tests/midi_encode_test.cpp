#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "midi_encode.h"
#include "test_support.h"

using namespace midicompose;
using testing_support::Bytes;
using testing_support::HexBytes;

namespace {

using WriterPtr = MIDIWriterPtr;

struct NoteSpec {
    const char* name;
    std::uint32_t start, duration;
};

WriterPtr MakeWriter(std::uint8_t program, const std::vector<NoteSpec>& notes) {
    WriterPtr writer(CreateMIDIWriter());
    SetMIDIWriterProgram(writer.get(), program);
    for (const NoteSpec& n : notes) EXPECT_EQ(AddMIDINote(writer.get(), n.name, n.start, n.duration, 100), 1);
    return writer;
}

Bytes Encode(const MIDIWriter* writer) {
    Bytes file;
    EXPECT_EQ(EncodeMIDIFile(writer, file), 1);
    return file;
}

const char kHeader[] = "4D546864 00000006 0000 0001 01E0";

// The track events alone, without the header and the track chunk's prefix.
Bytes TrackEvents(const Bytes& file) { return file.size() < 22 ? Bytes() : Bytes(file.begin() + 22, file.end()); }

std::uint32_t ChunkLength(const Bytes& file) {
    return (std::uint32_t{file[18]} << 24) | (std::uint32_t{file[19]} << 16) | (file[20] << 8) | file[21];
}

TEST(EncodeMIDIFile, WritesASingleQuarterNoteAs35Bytes) {
    const WriterPtr writer = MakeWriter(0, {{"C", 0, 480}});
    EXPECT_EQ(Encode(writer.get()),
              HexBytes(std::string(kHeader) + "4D54726B 0000000D 00903C64 8360803C00 00FF2F00"));
}

struct TrackCase {
    const char* what;
    std::uint8_t program;
    std::vector<NoteSpec> notes;
    const char* events;  // hex of the track's events, end of track included
};

std::string Describe(const TrackCase& c) { return c.what; }

class TrackBytesTest : public ::testing::TestWithParam<TrackCase> {};

TEST_P(TrackBytesTest, EncodesTheEventsExactly) {
    const TrackCase& c = GetParam();
    const WriterPtr writer = MakeWriter(c.program, c.notes);
    const Bytes file = Encode(writer.get());
    const Bytes expected = HexBytes(c.events);
    EXPECT_EQ(TrackEvents(file), expected) << c.what;
    EXPECT_EQ(ChunkLength(file), expected.size()) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TrackBytesTest,
    ::testing::Values(
        TrackCase{"C D E, piano: no program change, 31 bytes", 0, {{"C", 0, 480}, {"D", 480, 480}, {"E", 960, 480}},
                  "00903C64 8360803C00 00903E64 8360803E00 00904064 8360804000 00FF2F00"},
        TrackCase{"C D E, violin: program change first, 34 bytes", 40,
                  {{"C", 0, 480}, {"D", 480, 480}, {"E", 960, 480}},
                  "00C028 00903C64 8360803C00 00903E64 8360803E00 00904064 8360804000 00FF2F00"},
        TrackCase{"drums: channel 10 and no program change", 128, {{"C", 0, 480}, {"D", 480, 480}},
                  "00993C64 8360893C00 00993E64 8360893E00 00FF2F00"},
        TrackCase{"a repeated note ends before it starts again", 0, {{"C", 0, 480}, {"C", 480, 480}},
                  "00903C64 8360803C00 00903C64 8360803C00 00FF2F00"},
        TrackCase{"a zero-length note starts before it ends", 0, {{"C", 0, 0}, {"D", 0, 480}},
                  "00903C64 00803C00 00903E64 8360803E00 00FF2F00"},
        TrackCase{"keys above 127 are written as 127", 0, {{"A9", 0, 1}, {"B9", 1, 1}, {"G9", 2, 1}},
                  "00907F64 01807F00 00907F64 01807F00 00907F64 01807F00 00FF2F00"},
        TrackCase{"notes added out of time order are sorted, ties kept in the order added", 0,
                  {{"D", 480, 480}, {"C", 0, 480}},
                  "00903C64 83 60 903E64 00803C00 8360803E00 00FF2F00"},
        TrackCase{"overlapping notes interleave by tick", 0, {{"C", 0, 960}, {"E", 480, 960}},
                  "00903C64 83609040 64 8360803C00 8360804000 00FF2F00"}),
    testing_support::NamedAfterDescription());

struct DeltaCase {
    std::uint32_t delta;
    const char* encoded;
};

std::string Describe(const DeltaCase& c) { return "delta " + std::to_string(c.delta); }

class DeltaTest : public ::testing::TestWithParam<DeltaCase> {};

TEST_P(DeltaTest, EncodesTheDeltaAsAVariableLengthQuantity) {
    // A note lasting `delta` ticks: its note-off carries the delta.
    const WriterPtr writer = MakeWriter(0, {{"C", 0, GetParam().delta}});
    EXPECT_EQ(TrackEvents(Encode(writer.get())),
              HexBytes(std::string("00903C64") + GetParam().encoded + "803C00 00FF2F00"));
}

INSTANTIATE_TEST_SUITE_P(Boundaries, DeltaTest,
                         ::testing::Values(DeltaCase{0, "00"}, DeltaCase{0x7F, "7F"}, DeltaCase{0x80, "8100"},
                                           DeltaCase{480, "8360"}, DeltaCase{0x3FFF, "FF7F"},
                                           DeltaCase{0x4000, "818000"}, DeltaCase{0x1FFFFF, "FFFF7F"},
                                           DeltaCase{0x200000, "81808000"}, DeltaCase{0x0FFFFFFF, "FFFFFF7F"}),
                         testing_support::NamedAfterDescription());

// The track as a plain model writes it: every note's on and off, in the order
// the notes were added, sorted by tick and nothing else; deltas as
// variable-length quantities.
Bytes ModelEvents(const std::vector<NoteSpec>& notes, const MIDIWriter& writer) {
    struct Event { std::uint32_t tick; std::uint8_t status, key, velocity; };
    std::vector<Event> events;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const std::uint8_t key = static_cast<std::uint8_t>(std::min<unsigned>(writer.notes[i].key, 127));
        events.push_back({notes[i].start, 0x90, key, 100});
        events.push_back({notes[i].start + notes[i].duration, 0x80, key, 0});
    }
    std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.tick < b.tick; });
    Bytes bytes;
    std::uint32_t last = 0;
    for (const Event& e : events) {
        Bytes delta;
        for (std::uint32_t d = e.tick - last; delta.empty() || d > 0; d >>= 7) delta.insert(delta.begin(), (d & 0x7F) | 0x80);
        delta.back() &= 0x7F;
        bytes.insert(bytes.end(), delta.begin(), delta.end());
        bytes.insert(bytes.end(), {e.status, e.key, e.velocity});
        last = e.tick;
    }
    bytes.insert(bytes.end(), {0x00, 0xFF, 0x2F, 0x00});
    return bytes;
}

// Random notes in any order, overlapping, of length zero, sharing ticks.
TEST(EncodeMIDIFile, WritesAnyNotesInTheOrderOfAStableSortByTick) {
    std::mt19937 random(32);
    const char* const names[] = {"C", "E", "G5", "B9"};
    for (int round = 0; round < 500; ++round) {
        std::vector<NoteSpec> notes(1 + random() % 40);
        for (NoteSpec& n : notes) n = {names[random() % 4], static_cast<std::uint32_t>(random() % 8) * 240,
                                       static_cast<std::uint32_t>(random() % 4) * (random() % 2 ? 240 : 200000)};
        const WriterPtr writer = MakeWriter(0, notes);
        const Bytes file = Encode(writer.get());
        ASSERT_EQ(TrackEvents(file), ModelEvents(notes, *writer)) << "round " << round;
        ASSERT_EQ(ChunkLength(file), file.size() - 22);
    }
}

TEST(EncodeMIDIFile, StartsEveryFileWithTheSameHeader) {
    const WriterPtr writer = MakeWriter(40, {{"G", 0, 480}});
    const Bytes file = Encode(writer.get());
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 14), HexBytes(kHeader));
}

TEST(EncodeMIDIFile, FillsTheTrackBufferBoundaryWith93LongNotes) {
    // 4 + 7 bytes a note come to 1023 before the end of track: the doubling
    // rule grows the buffer there, and nothing may be lost or repeated.
    WriterPtr writer(CreateMIDIWriter());
    for (std::uint32_t i = 0; i < 93; ++i) ASSERT_EQ(AddMIDINote(writer.get(), "C", i * 2400000u, 2400000u, 100), 1);
    const Bytes file = Encode(writer.get());
    EXPECT_EQ(ChunkLength(file), 1027u);
    ASSERT_EQ(file.size(), 22u + 1027u);
    EXPECT_EQ(Bytes(file.end() - 4, file.end()), HexBytes("00FF2F00"));
}

TEST(EncodeMIDIFile, RefusesEmptyWritersAndTicksPastFourByteDeltas) {
    Bytes file;
    EXPECT_EQ(EncodeMIDIFile(nullptr, file), 0);
    const WriterPtr empty(CreateMIDIWriter());
    EXPECT_EQ(EncodeMIDIFile(empty.get(), file), 0);
    const WriterPtr longest = MakeWriter(0, {{"C", 0x0FFFFFFF - 10, 10}});
    EXPECT_EQ(EncodeMIDIFile(longest.get(), file), 1);
    const WriterPtr tooLong = MakeWriter(0, {{"C", 0x0FFFFFFF - 10, 11}});
    EXPECT_EQ(EncodeMIDIFile(tooLong.get(), file), 0);
    const WriterPtr wraps = MakeWriter(0, {{"C", 0xFFFFFFFF, 2}});  // end wraps round 32 bits
    EXPECT_EQ(EncodeMIDIFile(wraps.get(), file), 0);
}

TEST(EncodeMIDIFile, NeverWritesADataByteAbove0x7F) {
    WriterPtr writer(CreateMIDIWriter());
    SetMIDIWriterProgram(writer.get(), 127);
    ASSERT_EQ(AppendMIDINote(writer.get(), 200, 0, 10, 255), 1);
    const Bytes events = TrackEvents(Encode(writer.get()));
    EXPECT_EQ(events, HexBytes("00C07F 00907F7F 0A807F00 00FF2F00"));
}

struct KeyCase {
    const char* name;
    int key;
};

std::string Describe(const KeyCase& c) { return c.name; }

class NoteKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(NoteKeyTest, MapsTheNameToItsKey) {
    WriterPtr writer(CreateMIDIWriter());
    ASSERT_EQ(AddMIDINote(writer.get(), GetParam().name, 0, 1, 100), 1);
    ASSERT_EQ(writer->notes.size(), 1u) << GetParam().name;
    EXPECT_EQ(writer->notes[0].key, GetParam().key) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, NoteKeyTest,
    ::testing::Values(KeyCase{"C", 60}, KeyCase{"c5", 72}, KeyCase{"C5", 72}, KeyCase{"A4", 69}, KeyCase{"C0", 12},
                      KeyCase{"G9", 127}, KeyCase{"A9", 129}, KeyCase{"B9", 131}, KeyCase{"B", 71}, KeyCase{"Db", 62},
                      KeyCase{"C#5", 60}, KeyCase{"C10", 24}, KeyCase{"H", 60}, KeyCase{"1", 60}, KeyCase{"X9", 60},
                      KeyCase{"f", 65}),
    testing_support::NamedAfterDescription());

TEST(AddMIDINote, RejectsMissingWriterOrNameAndLeavesTheWriterUnchanged) {
    WriterPtr writer(CreateMIDIWriter());
    EXPECT_EQ(AddMIDINote(nullptr, "C", 0, 1, 100), 0);
    EXPECT_EQ(AddMIDINote(writer.get(), nullptr, 0, 1, 100), 0);
    EXPECT_EQ(AddMIDINote(writer.get(), "", 0, 1, 100), 0);
    EXPECT_TRUE(writer->notes.empty());
    EXPECT_EQ(AppendMIDINote(nullptr, 60, 0, 1, 100), 0);
}

TEST(AppendMIDINote, GrowsTheArrayTenTwentyFortyKeepingEveryNote) {
    WriterPtr writer(CreateMIDIWriter());
    EXPECT_EQ(writer->notes.capacity(), 0u);
    std::vector<std::size_t> capacities;
    for (std::uint32_t i = 0; i < 41; ++i) {
        ASSERT_EQ(AppendMIDINote(writer.get(), static_cast<std::uint8_t>(i), i, 1, 100), 1);
        if (capacities.empty() || capacities.back() != writer->notes.capacity()) {
            capacities.push_back(writer->notes.capacity());
        }
    }
    EXPECT_EQ(capacities, (std::vector<std::size_t>{10, 20, 40, 80}));
    for (std::uint32_t i = 0; i < 41; ++i) EXPECT_EQ(writer->notes[i].start, i);
}

TEST(MIDIWriter, StartsEmptyAt480TicksWithProgramZeroAndToleratesNull) {
    WriterPtr writer(CreateMIDIWriter());
    ASSERT_NE(writer, nullptr);
    EXPECT_EQ(writer->division, 480);
    EXPECT_EQ(writer->program, 0);
    SetMIDIWriterProgram(nullptr, 5);  // must not crash
    FreeMIDIWriter(nullptr);
}

}  // namespace
