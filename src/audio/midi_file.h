// A Standard MIDI File's bytes, read before FluidSynth sees them: whether
// they are a whole file it plays, and how long it plays.
#ifndef MIDICOMPOSE_AUDIO_MIDI_FILE_H
#define MIDICOMPOSE_AUDIO_MIDI_FILE_H

#include <cstddef>

namespace midicompose {

// "MThd", a header of at least six bytes, format 0 or 1, then as many whole
// "MTrk" chunks as the header says it has tracks.
bool LooksLikeMIDI(const unsigned char* midi, std::size_t length);

// The seconds from the file's first tick to its last event, at its tempos
// (120 beats a minute until one is set); for bytes that hold a whole header
// and whole track chunks (LooksLikeMIDI). A track's events are read up to the first one
// that cannot be.
double MusicSeconds(const unsigned char* midi, std::size_t length);

}  // namespace midicompose

#endif
