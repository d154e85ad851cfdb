#include "wav_encode.h"

#include <cmath>

namespace midicompose {
namespace {

void Put32(std::uint8_t*& out, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) *out++ = static_cast<std::uint8_t>(value >> shift);
}

void Put16(std::uint8_t*& out, std::uint16_t value) {
    *out++ = static_cast<std::uint8_t>(value);
    *out++ = static_cast<std::uint8_t>(value >> 8);
}

}  // namespace

std::int16_t PcmSample(float value) {
    const float scaled = std::nearbyint(value * 32768.0f);
    const float clipped = scaled > 32767.0f ? 32767.0f : scaled < -32768.0f ? -32768.0f : scaled;
    return static_cast<std::int16_t>(clipped);
}

std::vector<std::uint8_t> EncodeWav(const std::vector<float>& left, const std::vector<float>& right, int sampleRate) {
    constexpr std::uint16_t kChannels = 2, kBytesPerSample = 2;
    const std::uint32_t frames = static_cast<std::uint32_t>(left.size());
    const std::uint32_t dataBytes = frames * kChannels * kBytesPerSample;
    std::vector<std::uint8_t> file(44 + static_cast<std::size_t>(dataBytes));
    std::uint8_t* out = file.data();
    for (char c : {'R', 'I', 'F', 'F'}) *out++ = static_cast<std::uint8_t>(c);
    Put32(out, 36 + dataBytes);
    for (char c : {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '}) *out++ = static_cast<std::uint8_t>(c);
    Put32(out, 16);  // the format chunk's size
    Put16(out, 1);   // PCM
    Put16(out, kChannels);
    Put32(out, static_cast<std::uint32_t>(sampleRate));
    Put32(out, static_cast<std::uint32_t>(sampleRate) * kChannels * kBytesPerSample);  // bytes a second
    Put16(out, kChannels * kBytesPerSample);                                           // bytes a frame
    Put16(out, 8 * kBytesPerSample);
    for (char c : {'d', 'a', 't', 'a'}) *out++ = static_cast<std::uint8_t>(c);
    Put32(out, dataBytes);
    for (std::uint32_t i = 0; i < frames; ++i) {
        Put16(out, static_cast<std::uint16_t>(PcmSample(left[i])));
        Put16(out, static_cast<std::uint16_t>(PcmSample(right[i])));
    }
    return file;
}

}  // namespace midicompose
