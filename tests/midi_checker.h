// An independent reader of the files the library writes: it knows the
// Standard MIDI File layout, not the library's code.
#ifndef MIDICOMPOSE_MIDI_CHECKER_H
#define MIDICOMPOSE_MIDI_CHECKER_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace testing_support {

struct CheckedFile {
    std::string error;  // empty when the file is sound
    int noteOns = 0;
    int programChanges = 0;
    std::uint32_t lastTick = 0;
};

// Accepts a format 0, single-track file at 480 ticks per quarter whose chunk
// lengths are exact, whose delta times take at most four bytes, whose data
// bytes are all below 0x80, whose every note-on is closed by a note-off on
// the same channel and key, and which ends with exactly one end-of-track.
CheckedFile CheckMIDIFile(const std::uint8_t* data, std::size_t size);

}  // namespace testing_support

#endif
