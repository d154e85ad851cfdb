#include "midi_checker.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <utility>

namespace testing_support {
namespace {

std::uint32_t Be32(const std::uint8_t* p) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

CheckedFile CheckMIDIFile(const std::uint8_t* data, std::size_t size) {
    CheckedFile result;
    auto fail = [&result](const std::string& why) {
        result.error = why;
        return result;
    };
    static const std::uint8_t kHeader[14] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0};
    if (size < 22 || std::memcmp(data, kHeader, 14) != 0) return fail("bad header chunk");
    if (std::memcmp(data + 14, "MTrk", 4) != 0) return fail("no track chunk");
    if (Be32(data + 18) != size - 22) return fail("track length does not match the file");

    std::map<std::pair<int, int>, std::deque<std::uint64_t>> sounding;  // (channel, key) -> open note-on ticks
    std::uint64_t tick = 0;
    std::size_t i = 22;
    bool ended = false;
    while (i < size) {
        if (ended) return fail("events after the end of track");
        std::uint32_t delta = 0;
        int length = 0;
        for (;;) {
            if (i >= size) return fail("truncated delta time");
            if (++length > 4) return fail("delta time longer than four bytes");
            const std::uint8_t b = data[i++];
            delta = (delta << 7) | (b & 0x7Fu);
            if ((b & 0x80) == 0) break;
        }
        tick += delta;
        if (i >= size) return fail("delta time without an event");
        const std::uint8_t status = data[i++];
        const int kind = status & 0xF0, channel = status & 0x0F;
        auto data_bytes = [&](int n) -> bool {
            if (i + static_cast<std::size_t>(n) > size) return false;
            for (int k = 0; k < n; ++k) {
                if (data[i + static_cast<std::size_t>(k)] >= 0x80) return false;
            }
            return true;
        };
        if (status == 0xFF) {
            if (i + 2 > size || data[i] != 0x2F || data[i + 1] != 0x00) return fail("unexpected meta event");
            i += 2;
            ended = true;
        } else if (kind == 0x90 || kind == 0x80) {
            if (!data_bytes(2)) return fail("bad note event data");
            const int key = data[i], velocity = data[i + 1];
            i += 2;
            std::deque<std::uint64_t>& open = sounding[{channel, key}];
            if (kind == 0x90 && velocity > 0) {
                open.push_back(tick);
                ++result.noteOns;
            } else if (open.empty()) {
                return fail("note-off without a note-on");
            } else {
                result.notes.push_back({static_cast<std::uint32_t>(open.front()),
                                        static_cast<std::uint32_t>(tick - open.front()), key, channel});
                open.pop_front();
            }
        } else if (kind == 0xC0) {
            if (!data_bytes(1)) return fail("bad program change");
            ++i;
            ++result.programChanges;
        } else {
            return fail("unexpected status byte");
        }
    }
    if (!ended) return fail("no end of track");
    for (const auto& entry : sounding) {
        if (!entry.second.empty()) return fail("a note is never released");
    }
    if (tick > 0x0FFFFFFF) return fail("ticks beyond the longest delta time");
    result.lastTick = static_cast<std::uint32_t>(tick);
    std::stable_sort(result.notes.begin(), result.notes.end(),
                     [](const CheckedNote& a, const CheckedNote& b) { return a.start < b.start; });
    return result;
}

}  // namespace testing_support
