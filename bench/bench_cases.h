// The three compositions the benchmarks' figures are kept for, and the
// helpers both bench programs need: the public header's types alone, so
// that floor_bench can use them too.
#ifndef MIDICOMPOSE_BENCH_CASES_H
#define MIDICOMPOSE_BENCH_CASES_H

#include <cstdio>
#include <string>
#include <vector>

namespace bench {

// 100 notes; with lengths, two in three carry one: "C D:0.5 E:1.5 F G:0.5 ...".
inline std::string HundredNotes(bool lengths) {
    static const char* const kNames[] = {"C", "D", "E", "F", "G", "A", "B", "C5"};
    static const char* const kLengths[] = {"", ":0.5", ":1.5"};
    std::string text;
    for (int i = 0; i < 100; ++i) text += std::string(i ? " " : "") + kNames[i % 8] + (lengths ? kLengths[i % 3] : "");
    return text;
}

struct Case {
    const char* name;
    std::string notes;  // played on the violin, one beat a note by default
};

inline const Case kCases[] = {
    {"bare100", HundredNotes(false)},
    {"lengths100", HundredNotes(true)},
    {"chord4", "C:2 E:1 G:1 C5:2"},
};

inline std::u16string Utf16(const std::string& text) { return std::u16string(text.begin(), text.end()); }

inline std::vector<unsigned char> FileBytes(const std::string& path) {
    std::vector<unsigned char> bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<unsigned char>(c));
        std::fclose(f);
    }
    return bytes;
}

}  // namespace bench

#endif
