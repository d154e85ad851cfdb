// Saving: the whole file is encoded in memory before the path is touched, so
// a failure at any step leaves whatever was at the path as it was.
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

#include "file_replace.h"
#include "midi_writer.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace midicompose {
namespace {

constexpr const char kTrackFailed[] = "Error: Failed to write track data\n";

int SaveTo(const MIDIWriter* writer, const char* shownPath, const NativePathChar* path) {
    if (writer == nullptr || path == nullptr) return 0;
    ByteBuffer file;
    std::string errors;
    try {
        if (!EncodeMIDIFile(writer, file)) {
            std::fputs(kTrackFailed, stderr);
            return 0;
        }
        const int saved = SaveEncodedMIDIFile(file, shownPath, path, errors);
        std::fputs(errors.c_str(), stderr);
        return saved;
    } catch (const std::bad_alloc&) {
        std::fputs(kTrackFailed, stderr);
        return 0;
    }
}

}  // namespace

int SaveEncodedMIDIFile(const ByteBuffer& file, const char* shownPath, const NativePathChar* path,
                        std::string& errors) {
    ReplaceResult replaced = ReplaceResult::WriteFailed;
    try {
        replaced = ReplaceFileContents(path, file.data(), file.size());
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    switch (replaced) {
        case ReplaceResult::Ok:
            return 1;
        case ReplaceResult::CannotCreate:
            errors += "Error: Could not create file ";
            errors += shownPath != nullptr ? shownPath : "";
            errors += "\n";
            return 0;
        case ReplaceResult::WriteFailed:
            break;
    }
    errors += kTrackFailed;
    return 0;
}

#if defined(_WIN32)
int SaveMIDIFileWide(const MIDIWriter* writer, const char* path, const wchar_t* widePath) {
    return SaveTo(writer, path, widePath);
}

// For callers holding only the 8-bit path, in the ANSI code page.
int SaveMIDIFile(const MIDIWriter* writer, const char* path) {
    if (writer == nullptr || path == nullptr) return 0;
    const int units = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    if (units <= 0) return SaveTo(writer, path, L"");
    try {
        std::wstring wide(static_cast<std::size_t>(units), L'\0');
        MultiByteToWideChar(CP_ACP, 0, path, -1, &wide[0], units);
        return SaveTo(writer, path, wide.c_str());
    } catch (const std::bad_alloc&) {
        std::fputs(kTrackFailed, stderr);
        return 0;
    }
}
#else
int SaveMIDIFile(const MIDIWriter* writer, const char* path) { return SaveTo(writer, path, path); }
#endif

}  // namespace midicompose
