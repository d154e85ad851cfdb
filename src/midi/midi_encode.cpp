// Assembles the Standard MIDI File in memory: the header chunk and one track.
#include <algorithm>
#include <cstring>
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

void SetEvent(TrackEvent& event, std::uint32_t tick, TrackEventKind kind, std::uint8_t key, std::uint8_t velocity,
              std::uint8_t program) {
    // Field by field: a whole record built elsewhere and copied in would
    // stall on store forwarding, and this loop runs once per event.
    event.tick = tick;
    event.kind = kind;
    event.key = key;
    event.velocity = velocity;
    event.program = program;
}

// Builds the events in the order program change, then each note's on and off.
// False when a note ends past kMaxTick or memory runs out.
bool BuildTrackEvents(const MIDIWriter& writer, std::vector<TrackEvent>& events) {
    const bool programChange = WritesProgramChange(writer.program);
    events.resize(2 * writer.notes.size() + (programChange ? 1 : 0));
    TrackEvent* out = events.data();
    if (programChange) SetEvent(*out++, 0, ProgramChange, 0xFF, 0, writer.program);
    bool sorted = true;
    std::uint32_t last = 0;
    for (const MIDINote& note : writer.notes) {
        const std::uint64_t end = std::uint64_t{note.start} + note.duration;
        if (end > kMaxTick) return false;
        sorted = sorted && note.start >= last;
        last = static_cast<std::uint32_t>(end);
        SetEvent(*out++, note.start, NoteOn, note.key, note.velocity, 0);
        SetEvent(*out++, last, NoteOff, note.key, 0, 0);
    }
    // Equal ticks keep build order, so a note ends before the next one at the
    // same tick begins and the program change precedes the first note.
    // Notes laid end to end arrive in order already and need no sort.
    if (!sorted) {
        std::stable_sort(events.begin(), events.end(),
                         [](const TrackEvent& a, const TrackEvent& b) { return a.tick < b.tick; });
    }
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

// The track's bytes, kept in the file buffer right after the chunk's prefix
// so they need no copy. Its room grows as a buffer of its own would: from
// 1024 bytes, doubling whenever the next piece would reach the end, so an
// event that would fill it exactly grows it first.
class TrackBytes {
public:
    explicit TrackBytes(ByteBuffer& file) : file_(file), start_(file.size()) { file_.resize(start_ + room_); }
    // Makes room for `bytes` more; may throw std::bad_alloc.
    std::uint8_t* Reserve(std::size_t bytes) {
        if (length_ + bytes >= room_) {
            while (length_ + bytes >= room_) room_ *= 2;
            file_.resize(start_ + room_);
        }
        return file_.data() + start_ + length_;
    }
    void Advance(std::uint8_t* end) { length_ = static_cast<std::size_t>(end - (file_.data() + start_)); }
    std::size_t length() const { return length_; }
    void Finish() { file_.resize(start_ + length_); }

private:
    ByteBuffer& file_;
    std::size_t start_;
    std::size_t room_ = kInitialTrackBuffer;
    std::size_t length_ = 0;
};

void EncodeEvents(const std::vector<TrackEvent>& events, std::uint8_t program, TrackBytes& track) {
    const std::uint8_t channel = program == kPercussionProgram ? kPercussionChannel : 0;
    std::uint32_t previous = 0;
    for (const TrackEvent& event : events) {
        const std::uint32_t delta = event.tick - previous;
        previous = event.tick;
        std::uint8_t* out = PutDelta(track.Reserve(DeltaLength(delta) + 3), delta);  // every kind counts as three
        switch (event.kind) {
            case NoteOn:
                *out++ = static_cast<std::uint8_t>(0x90 | channel);
                *out++ = DataByte(event.key);
                *out++ = DataByte(event.velocity);
                break;
            case NoteOff:
                *out++ = static_cast<std::uint8_t>(0x80 | channel);
                *out++ = DataByte(event.key);
                *out++ = 0;
                break;
            case ProgramChange:
                *out++ = 0xC0;
                *out++ = DataByte(event.program);
                break;
        }
        track.Advance(out);
    }
    static constexpr std::uint8_t kEndOfTrack[4] = {0x00, 0xFF, 0x2F, 0x00};
    std::uint8_t* out = track.Reserve(sizeof kEndOfTrack);
    std::memcpy(out, kEndOfTrack, sizeof kEndOfTrack);
    track.Advance(out + sizeof kEndOfTrack);
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
    const std::size_t chunk = file.size();
    try {
        std::vector<TrackEvent> events;
        if (!BuildTrackEvents(*writer, events)) return 0;
        static constexpr std::uint8_t kMagic[4] = {'M', 'T', 'r', 'k'};
        file.insert(file.end(), kMagic, kMagic + 4);
        WriteBE32(file, 0);  // the length, once known
        TrackBytes track(file);
        EncodeEvents(events, writer->program, track);
        track.Finish();
        const std::uint32_t length = static_cast<std::uint32_t>(track.length());
        for (int i = 0; i < 4; ++i) file[chunk + 4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
        return 1;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    file.resize(chunk);  // no partial chunk is left behind
    return 0;
}

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
