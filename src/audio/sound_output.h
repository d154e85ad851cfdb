// The default audio output, loaded only when sound is played: PulseAudio's
// simple API (which PipeWire desktops serve too), else ALSA's default device.
// Neither is linked, so rendering to a file needs neither installed.
#ifndef MIDICOMPOSE_AUDIO_SOUND_OUTPUT_H
#define MIDICOMPOSE_AUDIO_SOUND_OUTPUT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace midicompose {

// Plays a WAV file of EncodeWav's form (16-bit stereo after its 44-byte
// header) in blocks of 20 ms, so that the sound starts with the first block
// and *stop (unless null) is looked at between blocks: once it is nonzero,
// what is queued is dropped and the call returns. True when the sound was
// played to its end or stopped; false with `why` saying what was tried and
// what failed.
bool PlayWav(const std::vector<std::uint8_t>& wav, int sampleRate, volatile const int* stop, std::string& why);

}  // namespace midicompose

#endif
