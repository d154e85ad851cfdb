// How long a Standard MIDI File plays, read from its own ticks and tempos
// before anything is rendered.
#ifndef MIDICOMPOSE_AUDIO_MIDI_LENGTH_H
#define MIDICOMPOSE_AUDIO_MIDI_LENGTH_H

#include <cstddef>

namespace midicompose {

// The seconds from the file's first tick to its last event, at its tempos
// (120 beats a minute until one is set); for bytes that hold a whole header
// and whole track chunks. A track's events are read up to the first one
// that cannot be.
double MusicSeconds(const unsigned char* midi, std::size_t length);

}  // namespace midicompose

#endif
