// An independent reader of the files the library writes: it knows the
// Standard MIDI File layout, not the library's code.
#ifndef MIDICOMPOSE_MIDI_CHECKER_H
#define MIDICOMPOSE_MIDI_CHECKER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// A note-on and the note-off that closes it (the earliest open one of its
// channel and key).
struct CheckedNote {
    std::uint32_t start, length;
    int key, channel;
    bool operator==(const CheckedNote& o) const {
        return start == o.start && length == o.length && key == o.key && channel == o.channel;
    }
};

struct CheckedFile {
    std::string error;  // empty when the file is sound
    int noteOns = 0;
    int programChanges = 0;
    std::uint32_t lastTick = 0;
    std::vector<CheckedNote> notes;  // ordered by start, then as they close
};

// Accepts a format 0, single-track file at 480 ticks per quarter whose chunk
// lengths are exact, whose delta times take at most four bytes, whose data
// bytes are all below 0x80, whose every note-on is closed by a note-off on
// the same channel and key, and which ends with exactly one end-of-track.
CheckedFile CheckMIDIFile(const std::uint8_t* data, std::size_t size);

}  // namespace testing_support

#endif
