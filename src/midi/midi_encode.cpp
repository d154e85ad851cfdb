// Assembles the Standard MIDI File in memory: the header chunk and one track.
#include <algorithm>
#include <new>
#include <stdexcept>

#include "midi_writer.h"

namespace midicompose {
namespace {

constexpr std::size_t kInitialTrackBuffer = 1024;
constexpr std::uint8_t kMaxDataByte = 0x7F;
constexpr std::uint8_t kPercussionChannel = 9;  // channel 10, counted from 1

// Data bytes must stay below 0x80, or a reader would take them for a status.
std::uint8_t DataByte(std::uint8_t value) { return std::min(value, kMaxDataByte); }

bool WritesProgramChange(std::uint8_t program) { return program >= 1 && program <= 127; }

// Builds the events in the order program change, then each note's on and off.
// False when a note ends past kMaxTick or memory runs out.
bool BuildTrackEvents(const MIDIWriter& writer, std::vector<TrackEvent>& events) {
    const std::size_t count = writer.notes.size();
    events.reserve(2 * count + 1);
    if (WritesProgramChange(writer.program)) {
        events.push_back(TrackEvent{0, ProgramChange, 0xFF, 0, writer.program});
    }
    for (const MIDINote& note : writer.notes) {
        const std::uint64_t end = std::uint64_t{note.start} + note.duration;
        if (end > kMaxTick) return false;
        events.push_back(TrackEvent{note.start, NoteOn, note.key, note.velocity, 0});
        events.push_back(TrackEvent{static_cast<std::uint32_t>(end), NoteOff, note.key, 0, 0});
    }
    // Equal ticks keep build order, so a note ends before the next one at the
    // same tick begins and the program change precedes the first note.
    // Notes laid end to end arrive sorted already; skip the sort then.
    const auto earlier = [](const TrackEvent& a, const TrackEvent& b) { return a.tick < b.tick; };
    if (!std::is_sorted(events.begin(), events.end(), earlier)) {
        std::stable_sort(events.begin(), events.end(), earlier);
    }
    return true;
}

// Appends a delta time as a variable-length quantity (at most four bytes,
// since every tick is at most kMaxTick).
std::size_t EncodeDelta(std::uint32_t delta, std::uint8_t out[4]) {
    std::size_t n = 0;
    if (delta >= (1u << 21)) out[n++] = static_cast<std::uint8_t>(0x80 | (delta >> 21));
    if (delta >= (1u << 14)) out[n++] = static_cast<std::uint8_t>(0x80 | ((delta >> 14) & 0x7F));
    if (delta >= (1u << 7)) out[n++] = static_cast<std::uint8_t>(0x80 | ((delta >> 7) & 0x7F));
    out[n++] = static_cast<std::uint8_t>(delta & 0x7F);
    return n;
}

// The track buffer starts at 1024 bytes and doubles whenever the next piece
// would reach its end, so an event that would fill it exactly grows it first.
void MakeRoom(ByteBuffer& track, std::size_t bytes) {
    std::size_t capacity = track.capacity();
    if (track.size() + bytes < capacity) return;
    while (track.size() + bytes >= capacity) capacity *= 2;
    track.reserve(capacity);
}

void EncodeEvents(const std::vector<TrackEvent>& events, std::uint8_t program, ByteBuffer& track) {
    const std::uint8_t channel = program == kPercussionProgram ? kPercussionChannel : 0;
    std::uint32_t previous = 0;
    for (const TrackEvent& event : events) {
        std::uint8_t bytes[7];
        std::size_t n = EncodeDelta(event.tick - previous, bytes);
        previous = event.tick;
        MakeRoom(track, n + 3);  // every kind of event counts as three bytes here
        switch (event.kind) {
            case NoteOn:
                bytes[n++] = static_cast<std::uint8_t>(0x90 | channel);
                bytes[n++] = DataByte(event.key);
                bytes[n++] = DataByte(event.velocity);
                break;
            case NoteOff:
                bytes[n++] = static_cast<std::uint8_t>(0x80 | channel);
                bytes[n++] = DataByte(event.key);
                bytes[n++] = 0;
                break;
            case ProgramChange:
                bytes[n++] = 0xC0;
                bytes[n++] = DataByte(event.program);
                break;
        }
        track.insert(track.end(), bytes, bytes + n);
    }
}

}  // namespace

void WriteBE32(ByteBuffer& file, std::uint32_t value) {
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                                   static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    file.insert(file.end(), bytes, bytes + 4);
}

void WriteBE16(ByteBuffer& file, std::uint16_t value) {
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
    file.insert(file.end(), bytes, bytes + 2);
}

void WriteMIDIHeader(ByteBuffer& file, std::uint16_t division) {
    static constexpr std::uint8_t kMagic[4] = {'M', 'T', 'h', 'd'};
    file.insert(file.end(), kMagic, kMagic + 4);
    WriteBE32(file, 6);
    WriteBE16(file, 0);  // format 0: a single track
    WriteBE16(file, 1);  // one track
    WriteBE16(file, division);
}

int WriteMIDITrack(ByteBuffer& file, const MIDIWriter* writer) {
    if (writer == nullptr || writer->notes.empty()) return 0;
    try {
        std::vector<TrackEvent> events;
        if (!BuildTrackEvents(*writer, events)) return 0;
        ByteBuffer track;
        track.reserve(kInitialTrackBuffer);
        EncodeEvents(events, writer->program, track);
        static constexpr std::uint8_t kEndOfTrack[4] = {0x00, 0xFF, 0x2F, 0x00};
        MakeRoom(track, sizeof kEndOfTrack);
        track.insert(track.end(), kEndOfTrack, kEndOfTrack + 4);

        static constexpr std::uint8_t kMagic[4] = {'M', 'T', 'r', 'k'};
        file.reserve(file.size() + 8 + track.size());
        file.insert(file.end(), kMagic, kMagic + 4);
        WriteBE32(file, static_cast<std::uint32_t>(track.size()));
        file.insert(file.end(), track.begin(), track.end());
        return 1;
    } catch (const std::bad_alloc&) {
        return 0;
    } catch (const std::length_error&) {
        return 0;
    }
}

int EncodeMIDIFile(const MIDIWriter* writer, ByteBuffer& file) {
    if (writer == nullptr) return 0;
    try {
        file.clear();
        WriteMIDIHeader(file, writer->division);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return WriteMIDITrack(file, writer);
}

}  // namespace midicompose
