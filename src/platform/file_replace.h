// Puts a finished file in place without ever leaving a partial one behind.
#ifndef MIDICOMPOSE_FILE_REPLACE_H
#define MIDICOMPOSE_FILE_REPLACE_H

#include <cstddef>
#include <cstdint>

namespace midicompose {

#if defined(_WIN32)
using NativePathChar = wchar_t;
#else
using NativePathChar = char;
#endif

enum class ReplaceResult {
    Ok,
    CannotCreate,  // the path cannot be created: missing directory, a directory, no permission
    WriteFailed,   // writing, closing or renaming failed; nothing at the path changed
};

// A regular file (new or existing) is replaced whole: the bytes go to a
// temporary file beside it, renamed over the target only once every write
// succeeded. A symbolic link keeps pointing at the file it names, an existing
// file keeps its permission bits, and a device or FIFO is written directly.
// May throw std::bad_alloc, before the path is touched.
ReplaceResult ReplaceFileContents(const NativePathChar* path, const std::uint8_t* data, std::size_t size);

}  // namespace midicompose

#endif
