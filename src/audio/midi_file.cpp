// A Standard MIDI File's bytes: whether FluidSynth can play them, and how
// long they play.
#include "midi_file.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>

namespace midicompose {
namespace {

std::uint32_t BigEndian(const unsigned char* p, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | p[i];
    return value;
}

// A variable-length quantity at `at`, moving past it; false past `end` or
// beyond the four bytes a quantity may have.
bool ReadQuantity(const unsigned char* midi, std::size_t& at, std::size_t end, std::uint64_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (at >= end) return false;
        const unsigned char byte = midi[at++];
        value = (value << 7) | (byte & 0x7F);
        if ((byte & 0x80) == 0) return true;
    }
    return false;
}

// One track's last tick, and its tempo changes (tick to microseconds a beat).
std::uint64_t ReadTrack(const unsigned char* midi, std::size_t at, std::size_t end,
                        std::map<std::uint64_t, std::uint32_t>& tempos) {
    std::uint64_t tick = 0, delta = 0, size = 0;
    unsigned char status = 0;
    while (at < end && ReadQuantity(midi, at, end, delta)) {
        tick += delta;
        if (at >= end) break;
        if (midi[at] & 0x80) status = midi[at++];
        if (status == 0xFF) {  // a meta event: its type, then its data
            if (at >= end) break;
            const unsigned char type = midi[at++];
            if (!ReadQuantity(midi, at, end, size) || size > end - at) break;
            if (type == 0x51 && size == 3) tempos[tick] = BigEndian(midi + at, 3);
            at += size;
            if (type == 0x2F) break;  // the end of the track
        } else if (status == 0xF0 || status == 0xF7) {  // system exclusive
            if (!ReadQuantity(midi, at, end, size) || size > end - at) break;
            at += size;
        } else if (status >= 0x80) {
            at += (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
        } else {
            break;  // data with no status before it
        }
    }
    return tick;
}

}  // namespace

// A Standard MIDI File of a format FluidSynth plays: "MThd", a header of at
// least six bytes, format 0 or 1, then as many whole "MTrk" chunks as the
// header says it has tracks. FluidSynth reads the chunks after the header as
// the tracks, whatever their kind, and would play a chunk of another kind
// there as a silent track: such a file is refused, not rendered as silence.
bool LooksLikeMIDI(const unsigned char* midi, std::size_t length) {
    if (midi == nullptr || length < 14 || std::memcmp(midi, "MThd", 4) != 0) return false;
    const std::uint32_t header = BigEndian(midi + 4, 4);
    const unsigned format = (midi[8] << 8) | midi[9], tracks = (midi[10] << 8) | midi[11];
    if (header < 6 || format > 1 || tracks == 0 || header > length - 8) return false;
    unsigned found = 0;
    for (std::size_t at = 8 + header; at + 8 <= length && found < tracks;) {
        const std::uint32_t size = BigEndian(midi + at + 4, 4);
        if (size > length - at - 8) return false;  // a chunk cut short
        if (std::memcmp(midi + at, "MTrk", 4) != 0) return false;
        ++found;
        at += 8 + size;
    }
    return found == tracks;
}

double MusicSeconds(const unsigned char* midi, std::size_t length) {
    const std::uint32_t header = BigEndian(midi + 4, 4);
    const unsigned division = BigEndian(midi + 12, 2);
    std::map<std::uint64_t, std::uint32_t> tempos;
    std::uint64_t last = 0;
    for (std::size_t at = 8 + header; at + 8 <= length;) {
        const std::size_t end = at + 8 + BigEndian(midi + at + 4, 4);
        if (std::memcmp(midi + at, "MTrk", 4) == 0) last = std::max(last, ReadTrack(midi, at + 8, std::min(end, length), tempos));
        at = end;
    }
    if (division & 0x8000) {  // SMPTE: frames a second, and ticks a frame
        const int frames = 256 - static_cast<int>(division >> 8);
        return static_cast<double>(last) / (frames * std::max(1u, division & 0xFF));
    }
    const double ticksPerBeat = std::max(1u, division);
    double seconds = 0, tempo = 500000;
    std::uint64_t from = 0;
    for (const auto& [tick, microseconds] : tempos) {
        if (tick >= last) break;
        seconds += (tick - from) / ticksPerBeat * tempo / 1e6;
        from = tick;
        tempo = microseconds;
    }
    return seconds + (last - from) / ticksPerBeat * tempo / 1e6;
}

}  // namespace midicompose
