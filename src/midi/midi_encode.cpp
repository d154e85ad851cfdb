// Assembles the Standard MIDI File in memory: the header chunk and one track.
#include <algorithm>
#include <cstdint>
#include <new>
#include <stdexcept>

#include "midi_encode.h"

namespace midicompose {
namespace {

constexpr std::size_t kInitialTrackBuffer = 1024;  // room a short track fits in

enum TrackEventKind : std::uint8_t { NoteOn = 0, NoteOff = 1, ProgramChange = 2 };

// One event of the track: a program change or a note's on or off.
struct TrackEvent {
    std::uint32_t tick;
    TrackEventKind kind;
    std::uint8_t key;  // 0xFF in a program change
    std::uint8_t velocity;
    std::uint8_t program;
};

bool WritesProgramChange(std::uint8_t program) { return program >= 1 && program <= 127; }

// Builds the events in the order program change, then each note's on and off,
// and sorts them by tick when notes overlap (notes laid end to end, as compose
// lays them, are in order already). Equal ticks keep build order, so a note
// ends before the next one at the same tick begins and the program change
// precedes the first note. False when a note ends past kMaxTick.
bool BuildEvents(const MIDIWriter& writer, std::vector<TrackEvent>& events) {
    const bool programChange = WritesProgramChange(writer.program);
    events.reserve(2 * writer.notes.size() + (programChange ? 1 : 0));
    if (programChange) events.push_back({0, ProgramChange, 0xFF, 0, writer.program});
    for (const MIDINote& note : writer.notes) {
        const std::uint64_t end = std::uint64_t{note.start} + note.duration;
        if (end > kMaxTick) return false;
        events.push_back({note.start, NoteOn, note.key, note.velocity, 0});
        events.push_back({static_cast<std::uint32_t>(end), NoteOff, note.key, 0, 0});
    }
    const auto byTick = [](const TrackEvent& a, const TrackEvent& b) { return a.tick < b.tick; };
    if (!std::is_sorted(events.begin(), events.end(), byTick)) std::stable_sort(events.begin(), events.end(), byTick);
    return true;
}

// Writes a delta time as a variable-length quantity: at most four bytes,
// since every tick is at most kMaxTick. Returns the byte after it.
std::uint8_t* PutDelta(std::uint8_t* out, std::uint32_t delta) {
    if (delta >= (1u << 21)) *out++ = static_cast<std::uint8_t>(0x80 | (delta >> 21));
    if (delta >= (1u << 14)) *out++ = static_cast<std::uint8_t>(0x80 | ((delta >> 14) & 0x7F));
    if (delta >= (1u << 7)) *out++ = static_cast<std::uint8_t>(0x80 | ((delta >> 7) & 0x7F));
    *out++ = static_cast<std::uint8_t>(delta & 0x7F);
    return out;
}

std::size_t DeltaLength(std::uint32_t delta) {
    return delta < (1u << 7) ? 1 : delta < (1u << 14) ? 2 : delta < (1u << 21) ? 3 : 4;
}

constexpr std::uint8_t kEndOfTrack[4] = {0x00, 0xFF, 0x2F, 0x00};
constexpr std::size_t kProgramChangeBytes = 3;  // delta 0, C0, the program
constexpr std::size_t kNoteEventBytes = 3;      // status, key, velocity

std::uint8_t* PutProgramChange(std::uint8_t* out, std::uint8_t program) {
    *out++ = 0x00;
    *out++ = 0xC0;
    *out++ = DataByte(program);
    return out;
}

std::uint8_t* PutNoteEvent(std::uint8_t* out, std::uint32_t delta, std::uint8_t status, std::uint8_t key,
                           std::uint8_t velocity) {
    out = PutDelta(out, delta);
    *out++ = status;
    *out++ = DataByte(key);
    *out++ = DataByte(velocity);
    return out;
}

// The track's length in bytes, end of track included.
std::size_t TrackLength(const std::vector<TrackEvent>& events) {
    std::size_t bytes = sizeof kEndOfTrack;
    std::uint32_t previous = 0;
    for (const TrackEvent& event : events) {
        bytes += event.kind == ProgramChange ? kProgramChangeBytes : DeltaLength(event.tick - previous) + kNoteEventBytes;
        previous = event.tick;
    }
    return bytes;
}

std::uint8_t* PutEvents(std::uint8_t* out, const std::vector<TrackEvent>& events, std::uint8_t program) {
    const std::uint8_t on = 0x90 | NoteChannel(program), off = 0x80 | NoteChannel(program);
    std::uint32_t previous = 0;
    for (const TrackEvent& event : events) {
        if (event.kind == ProgramChange) {
            out = PutProgramChange(out, event.program);  // always first, at tick 0
        } else {
            out = PutNoteEvent(out, event.tick - previous, event.kind == NoteOn ? on : off, event.key,
                               event.kind == NoteOn ? event.velocity : 0);
        }
        previous = event.tick;
    }
    return out;
}

// The pieces of EncodeMIDIFile, appending to the buffer. Append functions
// may throw std::bad_alloc; WriteMIDITrack catches it and answers 0.
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
    const std::size_t chunk = file.size();
    try {
        std::vector<TrackEvent> events;
        if (!BuildEvents(*writer, events)) return 0;
        const std::size_t length = TrackLength(events);
        if (length > UINT32_MAX) return 0;  // more than a chunk's length field can say
        // The chunk is sized once, exactly, and filled through a pointer.
        file.resize(chunk + 8 + length);
        std::uint8_t* out = file.data() + chunk;
        static constexpr std::uint8_t kMagic[4] = {'M', 'T', 'r', 'k'};
        out = std::copy(kMagic, kMagic + 4, out);
        for (int shift = 24; shift >= 0; shift -= 8) *out++ = static_cast<std::uint8_t>(length >> shift);
        out = PutEvents(out, events, writer->program);
        std::copy(kEndOfTrack, kEndOfTrack + sizeof kEndOfTrack, out);
        return 1;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    file.resize(chunk);  // no partial chunk is left behind
    return 0;
}

}  // namespace

int EncodeMIDIFile(const MIDIWriter* writer, ByteBuffer& file) {
    if (writer == nullptr) return 0;
    try {
        file.clear();
        file.reserve(14 + 8 + kInitialTrackBuffer);  // header, track prefix, first track room
        WriteMIDIHeader(file, writer->division);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return WriteMIDITrack(file, writer);
}

}  // namespace midicompose
