// Sound through PulseAudio, else ALSA, each loaded with dlopen. The few
// types and values of their C interfaces that are used are declared here, so
// the build needs neither's headers; they are part of those libraries'
// stable ABIs (libpulse-simple.so.0, libasound.so.2).
#include "sound_output.h"

#include <dlfcn.h>

#include <cstring>
#include <utility>

#include "wav_encode.h"

namespace midicompose {
namespace {

// A loaded library, closed when done with.
class Library {
public:
    explicit Library(const char* name) : handle_(dlopen(name, RTLD_NOW | RTLD_LOCAL)) {}
    ~Library() {
        if (handle_ != nullptr) dlclose(handle_);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    bool loaded() const { return handle_ != nullptr; }
    // The symbol as the function type it is; null when missing.
    template <class Function>
    Function Find(const char* name) const {
        void* found = dlsym(handle_, name);
        Function function;
        std::memcpy(&function, &found, sizeof function);
        return function;
    }

private:
    void* handle_;
};

}  // namespace

// The output's three steps, whichever library serves them.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    virtual bool Write(const std::int16_t* samples, std::size_t frames, std::string& why) = 0;
    virtual void Finish(bool drain) = 0;
};

namespace {

// pa_simple of <pulse/simple.h>: a playback stream of 16-bit little-endian
// stereo. A second is queued, so a player held up for a moment by a busy
// machine is still heard without a gap (with 0.1 s, a pause of 0.15 s was
// heard as one). Rendering runs far ahead of real time, so the queue fills
// in milliseconds and the start is not later; a stop flushes it.
class PulseOutput : public AudioOutput {
public:
    struct Spec {
        int format;  // PA_SAMPLE_S16LE
        std::uint32_t rate;
        std::uint8_t channels;
    };
    struct Buffer {
        std::uint32_t maxlength, tlength, prebuf, minreq, fragsize;
    };
    using New = void* (*)(const char*, const char*, int, const char*, const char*, const Spec*, const void*, const Buffer*, int*);
    using Write_ = int (*)(void*, const void*, std::size_t, int*);
    using Step = int (*)(void*, int*);
    using Free = void (*)(void*);
    using Error = const char* (*)(int);

    PulseOutput() : library_("libpulse-simple.so.0") {}
    ~PulseOutput() override {
        if (stream_ != nullptr) free_(stream_);
    }
    bool Open(int sampleRate, std::string& why) {
        if (!library_.loaded()) return (why = "libpulse-simple.so.0 is not installed"), false;
        const auto open = library_.Find<New>("pa_simple_new");
        write_ = library_.Find<Write_>("pa_simple_write");
        drain_ = library_.Find<Step>("pa_simple_drain");
        flush_ = library_.Find<Step>("pa_simple_flush");
        free_ = library_.Find<Free>("pa_simple_free");
        error_ = library_.Find<Error>("pa_strerror");
        const Spec spec{3, static_cast<std::uint32_t>(sampleRate), 2};
        const std::uint32_t any = 0xFFFFFFFF, second = static_cast<std::uint32_t>(sampleRate) * 4;
        const Buffer buffer{any, second, any, any, any};
        int error = 0;
        stream_ = open(nullptr, "midicompose", 1 /* PA_STREAM_PLAYBACK */, nullptr, "composition", &spec, nullptr, &buffer,
                       &error);
        if (stream_ == nullptr) why = error_(error);
        return stream_ != nullptr;
    }
    bool Write(const std::int16_t* samples, std::size_t frames, std::string& why) override {
        int error = 0;
        if (write_(stream_, samples, frames * 4, &error) != 0) return (why = std::string("PulseAudio: ") + error_(error)), false;
        return true;
    }
    void Finish(bool drain) override {
        int error = 0;
        (drain ? drain_ : flush_)(stream_, &error);
    }

private:
    Library library_;
    void* stream_ = nullptr;
    Write_ write_ = nullptr;
    Step drain_ = nullptr, flush_ = nullptr;
    Free free_ = nullptr;
    Error error_ = nullptr;
};

// snd_pcm of <alsa/asoundlib.h> on the "default" device.
class AlsaOutput : public AudioOutput {
public:
    using Open_ = int (*)(void**, const char*, int, int);
    using SetParams = int (*)(void*, int, int, unsigned, unsigned, int, unsigned);
    using WriteI = long (*)(void*, const void*, unsigned long);
    using Recover = int (*)(void*, int, int);
    using Step = int (*)(void*);
    using Error = const char* (*)(int);

    AlsaOutput() : library_("libasound.so.2") {}
    ~AlsaOutput() override {
        if (pcm_ != nullptr) close_(pcm_);
    }
    bool Open(int sampleRate, std::string& why) {
        if (!library_.loaded()) return (why = "libasound.so.2 is not installed"), false;
        error_ = library_.Find<Error>("snd_strerror");
        close_ = library_.Find<Step>("snd_pcm_close");
        write_ = library_.Find<WriteI>("snd_pcm_writei");
        recover_ = library_.Find<Recover>("snd_pcm_recover");
        drain_ = library_.Find<Step>("snd_pcm_drain");
        drop_ = library_.Find<Step>("snd_pcm_drop");
        int status = library_.Find<Open_>("snd_pcm_open")(&pcm_, "default", 0 /* PLAYBACK */, 0);
        if (status == 0) {
            // S16_LE (2), interleaved (3), two channels, resampled where needed, a second queued
            // as for PulseAudio (it starts when full; a stop drops it).
            status = library_.Find<SetParams>("snd_pcm_set_params")(pcm_, 2, 3, 2, static_cast<unsigned>(sampleRate), 1, 1000000);
        }
        if (status != 0) why = error_(status);
        return status == 0;
    }
    bool Write(const std::int16_t* samples, std::size_t frames, std::string& why) override {
        while (frames > 0) {
            long written = write_(pcm_, samples, frames);
            if (written < 0) written = recover_(pcm_, static_cast<int>(written), 1);  // an underrun is recovered from
            if (written < 0) return (why = std::string("ALSA: ") + error_(static_cast<int>(written))), false;
            samples += 2 * written;
            frames -= static_cast<std::size_t>(written);
        }
        return true;
    }
    void Finish(bool drain) override { (drain ? drain_ : drop_)(pcm_); }

private:
    Library library_;
    void* pcm_ = nullptr;
    Error error_ = nullptr;
    Step close_ = nullptr, drain_ = nullptr, drop_ = nullptr;
    WriteI write_ = nullptr;
    Recover recover_ = nullptr;
};

}  // namespace

SoundPlayer::SoundPlayer(volatile const int* stop) : stop_(stop) {}
SoundPlayer::~SoundPlayer() = default;

bool SoundPlayer::Open(int sampleRate) {
    if (output_ != nullptr) return true;  // a failed open sets why_, and is not tried again
    std::string pulseWhy, alsaWhy;
    auto pulse = std::make_unique<PulseOutput>();
    if (pulse->Open(sampleRate, pulseWhy)) return (output_ = std::move(pulse)), true;
    pulse.reset();
    auto alsa = std::make_unique<AlsaOutput>();  // loaded only where PulseAudio cannot play
    if (alsa->Open(sampleRate, alsaWhy)) return (output_ = std::move(alsa)), true;
    why_ = "Error: No audio output could be opened: PulseAudio (libpulse-simple.so.0): " + pulseWhy +
           "; ALSA's default device (libasound.so.2): " + alsaWhy +
           ". Start a sound server, or install one (Debian: apt-get install pulseaudio, or pipewire-pulse)";
    return false;
}

void SoundPlayer::Frames(const float* left, const float* right, std::size_t frames, int sampleRate) {
    if (Stopped() || !why_.empty() || !Open(sampleRate)) return;
    samples_.resize(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        samples_[2 * i] = PcmSample(left[i]);
        samples_[2 * i + 1] = PcmSample(right[i]);
    }
    std::string failed;
    if (!output_->Write(samples_.data(), frames, failed)) {
        why_ = "Error: The audio output failed: " + failed;
        output_.reset();
    }
}

bool SoundPlayer::Finish(std::string& why) {
    if (output_ != nullptr) output_->Finish(!Stopped());
    if (why_.empty()) return true;
    why = why_;
    return false;
}

}  // namespace midicompose
