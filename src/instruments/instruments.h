// Instrument vocabulary: General MIDI program numbers and their names.
#ifndef MIDICOMPOSE_INSTRUMENTS_H
#define MIDICOMPOSE_INSTRUMENTS_H

#include <cstddef>
#include <cstdint>

namespace midicompose {

struct InstrumentRow {
    const char* name;  // lowercase ASCII, unique
    std::uint8_t program;
};

// Rows in ascending program order, 0 to 128; "drums" (128) comes last.
extern const InstrumentRow InstrumentTable[];
extern const std::size_t kInstrumentCount;

// A program 0-127 given as digits, or an instrument name; -1 when neither.
// A null text resolves to 0.
// *digits, unless null, is set to how many leading digits were read as a
// program number (0 for a name).
int ResolveInstrument(const char* text, std::size_t* digits = nullptr);

// The program of the first row whose name matches, ignoring ASCII case; -1 if none.
int LookupInstrumentByName(const char* text);

// The first name for the low 8 bits of the program, or "unknown". Never null.
const char* InstrumentNameForProgram(int program);

}  // namespace midicompose

#endif
