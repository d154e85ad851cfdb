// A soundfont's form, read before FluidSynth sees the file.
#include "font_form.h"

#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace midicompose {
namespace {

std::uint32_t LittleEndian32(const unsigned char* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

// `n` bytes of the file from `at`.
bool ReadAt(std::FILE* file, long long at, unsigned char* into, std::size_t n) {
    return fseeko(file, at, SEEK_SET) == 0 && std::fread(into, 1, n, file) == n;
}

// An SF2 or SF3's preset data: the nine tables in their order, each of
// whole records, the last of them its terminal. When FluidSynth's own reader
// refuses a file, FluidSynth tries its DLS reader on it, whose library prints
// glib CRITICAL lines on the console: a file with a broken table is refused
// here instead.
bool PresetTablesAreWhole(std::FILE* file, long long riffEnd) {
    if (fseeko(file, 0, SEEK_END) != 0) return false;
    riffEnd = std::min<long long>(riffEnd, ftello(file));  // what the file holds of what its header claims
    static const struct {
        char id[5];
        unsigned record;
    } kTables[] = {{"phdr", 38}, {"pbag", 4}, {"pmod", 10}, {"pgen", 4}, {"inst", 22},
                   {"ibag", 4}, {"imod", 10}, {"igen", 4}, {"shdr", 46}};
    unsigned char head[12];
    for (long long at = 12; at + 12 <= riffEnd;) {  // the RIFF's chunks, for LIST pdta
        if (!ReadAt(file, at, head, 12)) return false;
        const long long end = std::min(riffEnd, at + 8 + LittleEndian32(head + 4));
        if (std::memcmp(head, "LIST", 4) == 0 && std::memcmp(head + 8, "pdta", 4) == 0) {
            long long table = at + 12;
            for (const auto& t : kTables) {
                if (table + 8 > end || !ReadAt(file, table, head, 8)) return false;
                const std::uint32_t size = LittleEndian32(head + 4);
                if (std::memcmp(head, t.id, 4) != 0 || size % t.record != 0 || size < t.record) return false;
                table += 8 + size;
            }
            return table <= end;
        }
        at = end;  // as FluidSynth reads a font: no pad byte after an odd size
    }
    return false;
}

}  // namespace

bool LooksLikeSoundfont(const std::string& path) {
    unsigned char head[12] = {};
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    const bool riff = std::fread(head, 1, sizeof head, file) == sizeof head && std::memcmp(head, "RIFF", 4) == 0;
    const bool looks = riff && (std::memcmp(head + 8, "DLS ", 4) == 0 ||
                                (std::memcmp(head + 8, "sfbk", 4) == 0 &&
                                 PresetTablesAreWhole(file, 8 + static_cast<long long>(LittleEndian32(head + 4)))));
    std::fclose(file);
    return looks;
}

}  // namespace midicompose
