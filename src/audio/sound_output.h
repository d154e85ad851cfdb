// The default audio output, loaded only when sound is played: PulseAudio's
// simple API (which PipeWire desktops serve too), else ALSA's default device.
// Neither is linked, so rendering to a file needs neither installed.
#ifndef MIDICOMPOSE_AUDIO_SOUND_OUTPUT_H
#define MIDICOMPOSE_AUDIO_SOUND_OUTPUT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render.h"

namespace midicompose {

class AudioOutput;  // PulseAudio's stream or ALSA's device

// Plays the sound while it is rendered: the output is opened with the first
// block, and each block is written as 16-bit samples (the WAV file's) as it
// comes, so the first sound waits for one block, not the whole song. The
// output holds 0.1 s, which paces the render. Once *stop (unless null) is
// nonzero, what is queued is dropped and nothing more is played; the render
// goes on to its end without sound, so the WAV file is whole.
class SoundPlayer final : public SoundSink {
public:
    explicit SoundPlayer(volatile const int* stop);
    ~SoundPlayer() override;
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    void Frames(const float* left, const float* right, std::size_t frames, int sampleRate) override;
    // Once the render has ended: waits until what is queued has been heard
    // (or drops it after a stop). False, with `why` saying what was tried and
    // what failed, when no output could be opened or it failed.
    bool Finish(std::string& why);

private:
    bool Open(int sampleRate);
    bool Stopped() const { return stop_ != nullptr && *stop_ != 0; }

    volatile const int* stop_;
    std::unique_ptr<AudioOutput> output_;
    std::string why_;  // why there is no output, once that is known
    std::vector<std::int16_t> samples_;
};

}  // namespace midicompose

#endif
