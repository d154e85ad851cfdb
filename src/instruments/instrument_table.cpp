// The instrument table, kept apart from the lookups that use it.
#include "instruments.h"

namespace midicompose {

const InstrumentRow InstrumentTable[] = {
#define MIDICOMPOSE_INSTRUMENT(name, program) {name, program},
#include "instrument_rows.inc"
#undef MIDICOMPOSE_INSTRUMENT
};

const std::size_t kInstrumentCount = sizeof InstrumentTable / sizeof InstrumentTable[0];

}  // namespace midicompose
