// Two channels of float samples as a WAV file: RIFF, 16-bit PCM, stereo.
#ifndef MIDICOMPOSE_WAV_ENCODE_H
#define MIDICOMPOSE_WAV_ENCODE_H

#include <cstdint>
#include <vector>

namespace midicompose {

// The bytes of the file. Samples are rounded to the nearest 16-bit value and
// clipped to its range; there is no dither, so equal samples give equal
// bytes. May throw std::bad_alloc.
std::vector<std::uint8_t> EncodeWav(const std::vector<float>& left, const std::vector<float>& right, int sampleRate);

// One sample as the file holds it: rounded to the nearest 16-bit value, clipped.
std::int16_t PcmSample(float value);

// The largest number of frames a WAV file's 32-bit sizes can describe.
constexpr std::uint64_t kMaxWavFrames = (0xFFFFFFFFull - 36) / 4;

}  // namespace midicompose

#endif
