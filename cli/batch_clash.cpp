// The clash check of a batch: one pass over the file before the compositions.
#include "batch_clash.h"

#include <sys/types.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <vector>

#include "batch_lines.h"

namespace midicompose_cli {

std::string NormalPath(const std::string& path) { return std::filesystem::path(path).lexically_normal().string(); }

// A position in a file past 2 GiB, where long has 32 bits.
#if defined(_WIN32)
int Seek(std::FILE* f, long long at) { return _fseeki64(f, at, SEEK_SET); }
#else
int Seek(std::FILE* f, long long at) { return fseeko(f, static_cast<off_t>(at), SEEK_SET); }
#endif

// It keeps 24 bytes a composition (a hash of its output, where its line
// starts, its number), not the lines; outputs with equal hashes are compared
// by reading both lines again.
bool CheckOutputs(std::FILE* in, const char* name, std::uint64_t& lines) {
    struct Seen {
        std::uint64_t hash, line;
        long long offset;
    };
    std::vector<Seen> seen;
    LineReader reader(in);
    std::string text, why;
    bool tooLong = false;
    lines = 0;
    for (long long offset = 0; reader.Next(text, tooLong); offset = reader.offset()) {
        BatchLine line;
        const LineKind kind = tooLong ? LineKind::Bad : ParseLine(text, line, why);
        lines += kind != LineKind::Skip;
        if (kind != LineKind::Composition) continue;
        seen.push_back({std::hash<std::string>()(NormalPath(line.output)), reader.number(), offset});
    }
    std::sort(seen.begin(), seen.end(),
              [](const Seen& a, const Seen& b) { return a.hash != b.hash ? a.hash < b.hash : a.line < b.line; });
    const auto outputAt = [&](long long offset) {
        Seek(in, offset);
        LineReader again(in);
        BatchLine line;
        again.Next(text, tooLong);
        ParseLine(text, line, why);
        return line.output;
    };
    bool clash = false;
    for (std::size_t i = 1; i < seen.size(); ++i) {
        for (std::size_t j = i; j-- > 0 && seen[j].hash == seen[i].hash;) {
            const std::string earlier = outputAt(seen[j].offset), later = outputAt(seen[i].offset);
            if (NormalPath(earlier) != NormalPath(later)) continue;
            std::fprintf(stderr, "midicompose: %s: lines %llu and %llu both write %s; nothing was written\n", name,
                         static_cast<unsigned long long>(seen[j].line), static_cast<unsigned long long>(seen[i].line),
                         later.c_str());
            clash = true;
            break;
        }
    }
    return !clash;
}

}  // namespace midicompose_cli
