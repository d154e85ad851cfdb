// Saving a composition: its file encoded in memory, then put at the path
// through the safe replacement, so a failure at any step leaves whatever was
// there as it was.
#ifndef MIDICOMPOSE_MIDI_SAVE_H
#define MIDICOMPOSE_MIDI_SAVE_H

#include <string>

#include "file_replace.h"
#include "midi_encode.h"

namespace midicompose {

// Encodes the writer's file into `file` and, unless `path` is null, saves it
// there. shownPath is the path as messages show it. 1 on success; 0 with
// the reason appended to `errors` ("Error: Failed to write track data\n",
// "Error: Could not create file PATH\n"). May throw std::bad_alloc for the
// message; the target is untouched then.
int SaveMIDIFile(const MIDIWriter* writer, ByteBuffer& file, const char* shownPath, const NativePathChar* path,
                 std::string& errors);

}  // namespace midicompose

#endif
