// Fuzzes MIDICompose as a host calls it, and MIDIComposeUTF8 with the same
// texts, which must agree with it on the status, both console texts and the
// file's bytes; and writes the score of what it composed. Input: one byte of flags (bits 0-2 make the notes, instrument
// or beats argument a null pointer), then the three texts separated by NUL
// bytes. Each byte is one UTF-16 unit, except that 0xFE followed by two bytes
// is a raw little-endian unit (surrogates, any BMP character). The output
// path is fixed.
#include <dirent.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "midi_checker.h"
#include "output_capture.h"
#include "midicompose.h"

namespace {

std::string g_directory;
std::string g_path;

// UTF-16 to UTF-8; a text with an unpaired surrogate is no text at all and
// reads as the empty one, as MIDICompose reads it.
std::string Utf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            return "";
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            out += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                    static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        }
    }
    return out;
}

// Runs MIDICompose and returns what it printed on each stream.
int CapturedCompose(const char16_t* notes, const char16_t* path, const char16_t* instrument, const char16_t* beats,
                    std::string& out, std::string& err) {
    testing_support::CapturedOutput capture;
    const int status = MIDICompose(notes, path, instrument, beats);
    capture.Stop();
    out = capture.out();
    err = capture.err();
    return status;
}

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

// Each warning is named, lies in its argument's text, and comes in order of
// argument, place and code.
void CheckWarnings(const MIDIComposeResult& result, const std::string (&texts)[3], int status) {
    int previousArgument = -1, previousCode = 0;
    std::size_t previousStart = 0;
    for (std::size_t i = 0; i < result.warningCount; ++i) {
        const MIDIComposeWarning& w = result.warnings[i];
        if (MIDIComposeWarningName(w.code) == nullptr || MIDIComposeArgumentName(w.argument) == nullptr ||
            w.message == nullptr || w.note >= static_cast<int>(result.noteCount) || w.note < -1) {
            Fault("a warning is unnamed or names no note", status);
        }
        if (w.start >= w.end || w.end > texts[w.argument].size()) Fault("a warning lies outside its text", status);
        const bool ordered = w.argument > previousArgument ||
                             (w.argument == previousArgument &&
                              (w.start > previousStart || (w.start == previousStart && w.code >= previousCode)));
        if (!ordered) Fault("the warnings are out of order", status);
        previousArgument = w.argument;
        previousStart = w.start;
        previousCode = w.code;
    }
}

// Each note's place lies in the notes text after the one before, and every
// byte lies in one note's place, is white space, or lies in a warning of
// skipped characters or of notes dropped.
void CheckPlaces(const MIDIComposeResult& result, const std::string& notes, int status) {
    std::vector<int> cover(notes.size());  // 1 a note's, 2 told of, 3 both
    for (std::size_t i = 0; i < result.noteCount; ++i) {
        const MIDIComposePlace& p = result.places[i];
        if (p.start >= p.end || p.end > notes.size() || (i > 0 && result.places[i - 1].end > p.start)) {
            Fault("a note's place lies outside the text or out of order", status);
        }
        std::fill(cover.begin() + p.start, cover.begin() + p.end, 1);
    }
    for (std::size_t i = 0; i < result.warningCount; ++i) {
        const MIDIComposeWarning& w = result.warnings[i];
        if (w.argument != COMPOSE_ARGUMENT_NOTES || (w.code != COMPOSE_WARN_SKIPPED_CHARACTERS && w.code != COMPOSE_WARN_NOTES_DROPPED)) continue;
        for (std::size_t b = w.start; b < w.end; ++b) cover[b] = cover[b] == 1 ? 3 : 2;
    }
    for (std::size_t b = 0; b < notes.size(); ++b) {
        if (cover[b] == 3 || (cover[b] == 0 && std::isspace(static_cast<unsigned char>(notes[b])) == 0)) {
            Fault("a byte of the notes is neither a note's, white space, nor told of", status);
        }
    }
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
    std::string out, err;
    const int status = CapturedCompose((flags & 1) ? nullptr : notes.c_str(), path.c_str(),
                                       (flags & 2) ? nullptr : instrument.c_str(), (flags & 4) ? nullptr : beats.c_str(),
                                       out, err);
    if (status != COMPOSE_OK && (status < COMPOSE_BAD_BEATS || status > COMPOSE_TOO_LONG)) Fault("unknown status", status);
    std::vector<std::uint8_t> file;
    if (status == COMPOSE_OK) {
        std::ifstream in(g_path, std::ios::binary);
        file.assign((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (file.empty()) Fault("success without a file", status);
        const testing_support::CheckedFile checked = testing_support::CheckMIDIFile(file.data(), file.size());
        if (!checked.error.empty()) Fault(checked.error.c_str(), status);
        if (Entries(g_directory) != 1) Fault("stray files beside the output", status);
    } else if (Entries(g_directory) != 0) {
        Fault("a failed call left a file", status);
    }

    // The in-memory entry point, same texts, same path.
    unlink(g_path.c_str());
    const std::string n8 = Utf8(notes), i8 = Utf8(instrument), b8 = Utf8(beats);
    MIDIComposeResult result{};
    result.size = sizeof result;
    const int utf8Status = MIDIComposeUTF8((flags & 1) ? nullptr : n8.c_str(), g_path.c_str(),
                                           (flags & 2) ? nullptr : i8.c_str(), (flags & 4) ? nullptr : b8.c_str(), &result);
    if (utf8Status != status) Fault("MIDIComposeUTF8 gave another status", utf8Status);
    if (result.output == nullptr || result.errors == nullptr || out != result.output || err != result.errors) {
        Fault("MIDIComposeUTF8 gave other texts", utf8Status);
    }
    if (std::vector<std::uint8_t>(result.data, result.data + result.length) != file) {
        Fault("MIDIComposeUTF8 gave other bytes", utf8Status);
    }
    // The note list is exactly the note-on/note-off pairs of the bytes.
    std::vector<testing_support::CheckedNote> listed;
    for (std::size_t i = 0; i < result.noteCount; ++i) {
        const MIDIComposeNote& n = result.noteList[i];
        listed.push_back({n.start, n.length, n.key, n.channel});
    }
    if (status == COMPOSE_OK && listed != testing_support::CheckMIDIFile(file.data(), file.size()).notes) {
        Fault("the note list differs from the file's notes", utf8Status);
    }
    if (status != COMPOSE_OK && (result.noteList != nullptr || result.noteCount != 0)) {
        Fault("a failed call handed back notes", utf8Status);
    }
    CheckWarnings(result, {(flags & 1) ? "" : n8, (flags & 4) ? "" : b8, (flags & 2) ? "" : i8}, utf8Status);
    if (utf8Status == COMPOSE_OK) CheckPlaces(result, (flags & 1) ? "" : n8.c_str(), utf8Status);  // as far as the library read
    // The score: written or refused for its length, and whole either way.
    MIDIComposeScore score{};
    score.size = sizeof score;
    const int scored = MIDIComposeMusicXML(&result, nullptr, &score);
    const bool refused = scored == COMPOSE_SCORE_TOO_LONG || (status != COMPOSE_OK && scored == COMPOSE_NO_NOTES);
    if (scored == COMPOSE_OK ? std::string(score.musicxml).rfind("</score-partwise>\n") != score.length - 18 : !refused) {
        Fault("the score is neither whole nor refused", scored);
    }
    MIDIComposeFreeScore(&score);
    MIDIComposeFreeResult(&result);
    return 0;
}
