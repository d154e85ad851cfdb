// The exported functions of midicompose-audio: thin C wrappers around
// Render that hand the result over in the caller's sized structure and never
// let an exception reach a C caller.
#include <cstdlib>
#include <string>

#include "c_result.h"
#include "midicompose_audio.h"
#include "render.h"
#include "sound_output.h"

namespace midicompose {
namespace {

// Whether the caller's MIDIComposeAudio holds the field.
#define HOLDS(audio, field) MIDICOMPOSE_FITS(audio, MIDIComposeAudio, field)

char* CopyText(const std::string& text) { return CopyOut<char>(text.data(), text.size(), true); }

void Clear(MIDIComposeAudio* audio) {
    if (HOLDS(audio, wav)) audio->wav = nullptr;
    if (HOLDS(audio, length)) audio->length = 0;
    if (HOLDS(audio, message)) audio->message = nullptr;
    if (HOLDS(audio, soundfont)) audio->soundfont = nullptr;
    if (HOLDS(audio, sampleRate)) audio->sampleRate = 0;
    if (HOLDS(audio, seconds)) audio->seconds = 0.0;
}

// Hands the render over; RENDER_NO_MEMORY, with nothing handed over, when a
// copy cannot be made.
int HandOver(const Rendered& out, int status, MIDIComposeAudio* audio) {
    unsigned char* wav = nullptr;
    char* message = CopyText(out.message);
    char* soundfont = out.soundfont.empty() ? nullptr : CopyText(out.soundfont);
    bool ok = message != nullptr && (out.soundfont.empty() || soundfont != nullptr);
    if (ok && HOLDS(audio, wav) && !out.wav.empty()) {
        ok = (wav = CopyOut<unsigned char>(out.wav.data(), out.wav.size(), false)) != nullptr;
    }
    if (!ok) {
        std::free(wav);
        std::free(message);
        std::free(soundfont);
        return RENDER_NO_MEMORY;
    }
    if (HOLDS(audio, wav)) audio->wav = wav;
    if (HOLDS(audio, length)) audio->length = wav != nullptr ? out.wav.size() : 0;
    if (HOLDS(audio, message)) audio->message = message; else std::free(message);
    if (HOLDS(audio, soundfont)) audio->soundfont = soundfont; else std::free(soundfont);
    if (HOLDS(audio, sampleRate)) audio->sampleRate = out.sampleRate;
    if (HOLDS(audio, seconds)) audio->seconds = out.seconds;
    return status;
}

constexpr StatusRow kStatuses[] = {
    MIDICOMPOSE_STATUS_ROW(RENDER_OK),           MIDICOMPOSE_STATUS_ROW(RENDER_NO_SOUNDFONT),
    MIDICOMPOSE_STATUS_ROW(RENDER_BAD_SOUNDFONT), MIDICOMPOSE_STATUS_ROW(RENDER_NOT_MIDI),
    MIDICOMPOSE_STATUS_ROW(RENDER_BAD_RATE),     MIDICOMPOSE_STATUS_ROW(RENDER_SYNTH_FAILED),
    MIDICOMPOSE_STATUS_ROW(RENDER_NO_MEMORY),    MIDICOMPOSE_STATUS_ROW(RENDER_SAVE_FAILED),
    MIDICOMPOSE_STATUS_ROW(RENDER_TOO_LONG),      MIDICOMPOSE_STATUS_ROW(RENDER_NO_OUTPUT),
};

// Renders, then plays what was rendered when asked; the render's failure
// comes first.
int RenderOrPlay(const unsigned char* midi, std::size_t length, const char* soundfont, int sampleRate,
                 const char* wavPath, bool play, volatile const int* stop, MIDIComposeAudio* audio) {
    if (audio != nullptr) Clear(audio);
    try {
        Rendered out;
        int status = RENDER_OK;
        if (play) {
            SoundPlayer player(stop);
            status = Render(midi, length, soundfont, sampleRate, wavPath, out, &player);
            if (status == RENDER_OK && !player.Finish(out.message)) status = RENDER_NO_OUTPUT;
        } else {
            status = Render(midi, length, soundfont, sampleRate, wavPath, out);
        }
        return audio != nullptr ? HandOver(out, status, audio) : status;
    } catch (...) {
        // Memory ran out (the only exception anything here throws); a file
        // being saved was left as it was.
        if (audio != nullptr) Clear(audio);
        return RENDER_NO_MEMORY;
    }
}

}  // namespace
}  // namespace midicompose

extern "C" MIDICOMPOSE_AUDIO_API int MIDIComposeRender(const unsigned char* midi, size_t length, const char* soundfont,
                                                       int sampleRate, const char* wavPath, MIDIComposeAudio* audio) {
    return midicompose::RenderOrPlay(midi, length, soundfont, sampleRate, wavPath, false, nullptr, audio);
}

extern "C" MIDICOMPOSE_AUDIO_API int MIDIComposePlay(const unsigned char* midi, size_t length, const char* soundfont,
                                                     int sampleRate, const char* wavPath, volatile const int* stop,
                                                     MIDIComposeAudio* audio) {
    return midicompose::RenderOrPlay(midi, length, soundfont, sampleRate, wavPath, true, stop, audio);
}

extern "C" MIDICOMPOSE_AUDIO_API void MIDIComposeFreeAudio(MIDIComposeAudio* audio) {
    if (audio == nullptr) return;
    MIDICOMPOSE_FREE_FIELD(audio, MIDIComposeAudio, wav);
    if (HOLDS(audio, length)) audio->length = 0;
    MIDICOMPOSE_FREE_FIELD(audio, MIDIComposeAudio, message);
    MIDICOMPOSE_FREE_FIELD(audio, MIDIComposeAudio, soundfont);
}

extern "C" MIDICOMPOSE_AUDIO_API const char* MIDIComposeRenderStatusName(int status) {
    return midicompose::StatusName(midicompose::kStatuses, status);
}
