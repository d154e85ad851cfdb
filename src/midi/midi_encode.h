// The encoder: a writer's notes as the bytes of a Standard MIDI File
// (format 0, one track), assembled whole in memory.
#ifndef MIDICOMPOSE_MIDI_ENCODE_H
#define MIDICOMPOSE_MIDI_ENCODE_H

#include <cstdint>
#include <vector>

#include "midi_writer.h"

namespace midicompose {

// The bytes of a file being assembled in memory.
using ByteBuffer = std::vector<std::uint8_t>;

// Assembles the complete file: header chunk, then track chunk.
// 0 when the writer holds no notes, a tick passes kMaxTick or memory runs out.
int EncodeMIDIFile(const MIDIWriter* writer, ByteBuffer& file);

}  // namespace midicompose

#endif
