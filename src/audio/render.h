// The render behind midicompose-audio's exported functions (audio_api.cpp).
#ifndef MIDICOMPOSE_AUDIO_RENDER_H
#define MIDICOMPOSE_AUDIO_RENDER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace midicompose {

// What a render hands back, before it is copied into the caller's structure.
struct Rendered {
    std::string message;
    std::string soundfont;
    std::vector<std::uint8_t> wav;
    int sampleRate = 0;
    double musicSeconds = 0.0;  // the file's own length, read before it plays
    double seconds = 0.0;       // the sound's
};

// Takes the sound while it is rendered, a block at a time as each is final
// (to play it): the same frames, in order, that the WAV file will hold,
// give or take silence at the end.
class SoundSink {
public:
    virtual ~SoundSink() = default;
    virtual void Frames(const float* left, const float* right, std::size_t frames, int sampleRate) = 0;
};

// Renders the file to out.wav (and saves it at wavPath unless that is null),
// handing each block to sink as well unless it is null: RENDER_OK, or a
// failure status with out.message saying why. May throw std::bad_alloc.
int Render(const unsigned char* midi, std::size_t length, const char* soundfont, int sampleRate, const char* wavPath,
           Rendered& out, SoundSink* sink = nullptr);

}  // namespace midicompose

#endif
