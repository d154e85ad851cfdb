// Fuzzes MIDICompose as a host calls it. Input: one byte of flags (bits 0-2
// make the notes, instrument or beats argument a null pointer), then the
// three texts separated by NUL bytes. Each byte is one UTF-16 unit, except
// that 0xFE followed by two bytes is a raw little-endian unit (surrogates,
// any BMP character). The output path is fixed.
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "midi_checker.h"
#include "midicompose.h"

namespace {

std::string g_directory;
std::string g_path;

std::u16string Field(const std::uint8_t*& p, const std::uint8_t* end) {
    std::u16string text;
    for (; p < end && *p != 0; ++p) {
        if (*p == 0xFE && end - p >= 3) {
            const char16_t unit = static_cast<char16_t>(p[1] | (p[2] << 8));
            p += 2;
            if (unit != 0) text += unit;
        } else {
            text += static_cast<char16_t>(*p);
        }
    }
    if (p < end) ++p;  // the separator
    return text;
}

int Entries(const std::string& path) {
    int n = 0;
    if (DIR* dir = opendir(path.c_str())) {
        while (const dirent* e = readdir(dir)) n += std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0;
        closedir(dir);
    }
    return n;
}

[[noreturn]] void Fault(const char* what, int status) {
    std::fprintf(stderr, "compose_fuzzer: %s (status %d)\n", what, status);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/midicompose-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    g_directory = pattern;
    g_path = g_directory + "/out.mid";
    std::atexit([] {
        unlink(g_path.c_str());
        rmdir(g_directory.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned flags = data[0];
    const std::uint8_t* p = data + 1;
    const std::uint8_t* const end = data + size;
    const std::u16string notes = Field(p, end), instrument = Field(p, end), beats = Field(p, end);
    const std::u16string path(g_path.begin(), g_path.end());

    unlink(g_path.c_str());
    const int status = MIDICompose((flags & 1) ? nullptr : notes.c_str(), path.c_str(),
                                   (flags & 2) ? nullptr : instrument.c_str(), (flags & 4) ? nullptr : beats.c_str());
    if (status != COMPOSE_OK && (status < COMPOSE_BAD_BEATS || status > COMPOSE_TOO_LONG)) Fault("unknown status", status);
    if (status == COMPOSE_OK) {
        std::ifstream in(g_path, std::ios::binary);
        const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (file.empty()) Fault("success without a file", status);
        const testing_support::CheckedFile checked = testing_support::CheckMIDIFile(file.data(), file.size());
        if (!checked.error.empty()) Fault(checked.error.c_str(), status);
        if (Entries(g_directory) != 1) Fault("stray files beside the output", status);
    } else if (Entries(g_directory) != 0) {
        Fault("a failed call left a file", status);
    }
    return 0;
}
