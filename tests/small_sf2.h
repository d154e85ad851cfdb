// A General MIDI soundfont small enough to make in a test: one preset
// (bank 0, the given program) of one looped sample, whose wave `shape`
// picks, so that two fonts of the same size sound apart.
#ifndef MIDICOMPOSE_SMALL_SF2_H
#define MIDICOMPOSE_SMALL_SF2_H

#include <cstdint>
#include <vector>

namespace testing_support {

std::vector<std::uint8_t> SmallSoundfont(int program = 0, int shape = 0);

}  // namespace testing_support

#endif
