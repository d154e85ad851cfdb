// Saving: the whole file is encoded in memory before the path is touched, so
// a failure at any step leaves whatever was at the path as it was.
#include "midi_save.h"

#include <new>
#include <stdexcept>

namespace midicompose {

int SaveMIDIFile(const MIDIWriter* writer, ByteBuffer& file, const char* shownPath, const NativePathChar* path,
                 std::string& errors) {
    constexpr const char kTrackFailed[] = "Error: Failed to write track data\n";
    if (!EncodeMIDIFile(writer, file)) {
        errors += kTrackFailed;
        return 0;
    }
    if (path == nullptr) return 1;
    ReplaceResult replaced = ReplaceResult::WriteFailed;
    try {
        replaced = ReplaceFileContents(path, file.data(), file.size());
    } catch (...) {  // memory ran out, or a path longer than a string can be
    }
    switch (replaced) {
        case ReplaceResult::Ok:
            return 1;
        case ReplaceResult::CannotCreate:
            errors.append("Error: Could not create file ").append(shownPath != nullptr ? shownPath : "").append("\n");
            return 0;
        case ReplaceResult::WriteFailed:
            break;
    }
    errors += kTrackFailed;
    return 0;
}

}  // namespace midicompose
