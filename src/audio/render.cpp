// A Standard MIDI File through FluidSynth to a WAV file: the checks of the
// bytes and the font before FluidSynth sees them, the play with its release,
// and the save. Nothing here prints: FluidSynth's log is caught per thread
// and handed back as the message of a failure.
//
// Divisions: FluidSynth's log, caught; the font's choice and identity; the
// play with its release cap (Play); the request's checks (the MIDI bytes'
// and the font's forms are midi_file.cpp's and font_form.cpp's), the play
// with a pooled font, and Render.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "file_replace.h"
#include "font_form.h"
#include "midi_file.h"
#include "midicompose_audio.h"
#include "render.h"
#include "synth_pool.h"
#include "wav_encode.h"

namespace midicompose {
namespace {

constexpr int kBlockFrames = 512;       // rendered per call into FluidSynth
constexpr double kMaxReleaseSeconds = 2.0;
// A fuzzing build renders a minute of music at most: what it explores is the
// reading of the file, not hours of sound.
#if defined(FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
constexpr double kMaxFuzzedMusicSeconds = 60;
#endif
// A frame is silent when both its samples round to 0 as 16-bit PCM.
constexpr float kSilence = 0.5f / 32768.0f;
constexpr const char* kSystemFonts[] = {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf3/default-GM.sf3"};

// FluidSynth's messages for the render running on this thread.
thread_local std::string* t_log = nullptr;

void CatchLog(int level, const char* message, void*) {
    if (t_log == nullptr || level > FLUID_WARN) return;
    try {
        if (!t_log->empty()) *t_log += "; ";
        *t_log += message;
    } catch (...) {  // memory ran out; nothing may be thrown back into FluidSynth
    }
}

// FluidSynth's log handlers are the process's; they are set once, to the
// catcher, and nothing FluidSynth says reaches the console.
void QuietFluidSynth() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
            fluid_set_log_function(level, CatchLog, nullptr);
        }
    });
}


int Fail(Rendered& out, int status, const std::string& message) {
    out.message = message;
    return status;
}

// The caller's font, else MIDICOMPOSE_SOUNDFONT, else the system's General
// MIDI font; empty when there is none.
std::string ChooseFont(const char* given) {
    if (given != nullptr && *given != '\0') return given;
    const char* named = std::getenv("MIDICOMPOSE_SOUNDFONT");
    if (named != nullptr && *named != '\0') return named;
    for (const char* path : kSystemFonts) {
        if (access(path, R_OK) == 0) return path;
    }
    return std::string();
}

bool FindFont(const std::string& path, FontFile& font, std::string& why) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0 || access(path.c_str(), R_OK) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        why = "not a file";
        return false;
    }
    font.path = path;
    font.device = st.st_dev;
    font.inode = st.st_ino;
    font.size = static_cast<unsigned long long>(st.st_size);
    font.modified = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return true;
}

bool Silent(const float* left, const float* right, int frames) {
    for (int i = 0; i < frames; ++i) {
        if (std::fabs(left[i]) >= kSilence || std::fabs(right[i]) >= kSilence) return false;
    }
    return true;
}

// The sound ends with its last audible frame, or at the cap.
void EndAtLastSound(std::vector<float>& left, std::vector<float>& right, std::size_t cap) {
    std::size_t end = std::min(left.size(), cap);
    while (end > 0 && Silent(left.data() + end - 1, right.data() + end - 1, 1)) --end;
    left.resize(end);
    right.resize(end);
}

// Plays the file on the synthesizer into the two channels: the music, then
// its release until silent, at most kMaxReleaseSeconds.
int Play(fluid_synth_t* synth, int sampleRate, const unsigned char* midi, std::size_t length,
         std::vector<float>& left, std::vector<float>& right, Rendered& out, SoundSink* sink) {
    t_log->clear();  // what setting up the synthesizer said is no news about the file
    // FluidSynth fails to make the player, to play and to write only when its
    // own memory runs out, which glib answers by aborting: no test sees these.
    fluid_player_t* player = new_fluid_player(synth);
    if (player == nullptr) {  // GCOVR_EXCL_START: FluidSynth's memory ran out
        return Fail(out, RENDER_SYNTH_FAILED, "Error: FluidSynth could not create a player");
    }  // GCOVR_EXCL_STOP
    struct PlayerDeleter {
        fluid_player_t* player;
        ~PlayerDeleter() { delete_fluid_player(player); }
    } deleter{player};
    if (fluid_player_add_mem(player, midi, length) != FLUID_OK || fluid_player_play(player) != FLUID_OK) {  // GCOVR_EXCL_START: as above
        return Fail(out, RENDER_SYNTH_FAILED, "Error: FluidSynth could not play the file: " + *t_log);
    }  // GCOVR_EXCL_STOP
    const std::size_t maxRelease = static_cast<std::size_t>(kMaxReleaseSeconds * sampleRate);
    const std::size_t musicFrames = static_cast<std::size_t>(std::ceil(out.musicSeconds * sampleRate));
    std::size_t cap = SIZE_MAX, handed = 0;  // cap: where the release must end, once the music has
    bool musicDone = false;
    for (;;) {
        const std::size_t at = left.size();
        left.resize(at + kBlockFrames);
        right.resize(at + kBlockFrames);
        if (fluid_synth_write_float(synth, kBlockFrames, left.data(), static_cast<int>(at), 1, right.data(),
                                    static_cast<int>(at), 1) != FLUID_OK) {  // GCOVR_EXCL_START: as above
            return Fail(out, RENDER_SYNTH_FAILED, "Error: FluidSynth failed while rendering: " + *t_log);
        }  // GCOVR_EXCL_STOP
        // The music ends at the file's last tick, or where its ticks and
        // tempos say it ends (a file whose every event is at tick 0 has no
        // last tick to reach). The player says it is done only once its
        // voices have fallen silent too, which for a long ringing sound, or a
        // note never let go, would let the release run past its cap.
        const int total = fluid_player_get_total_ticks(player);
        const bool lastTick = (total > 0 && fluid_player_get_current_tick(player) >= total) || left.size() >= musicFrames;
        if (!musicDone && (lastTick || fluid_player_get_status(player) != FLUID_PLAYER_PLAYING)) {
            musicDone = true;
            // The last tick fell within this block: the cap counts from its start.
            cap = (lastTick ? at : left.size()) + maxRelease;
            // The player reads the file as it starts; what it could not read
            // it reports, and plays nothing.
            if (!t_log->empty() && fluid_player_get_total_ticks(player) <= 0) {
                return Fail(out, RENDER_NOT_MIDI, "Error: FluidSynth cannot play the file: " + *t_log);
            }
        }
        // What is rendered is final up to the cap.
        const std::size_t kept = std::min(left.size(), cap);
        if (sink != nullptr && kept > handed) {
            sink->Frames(left.data() + handed, right.data() + handed, kept - handed, sampleRate);
            handed = kept;
        }
        if (musicDone && (Silent(left.data() + at, right.data() + at, kBlockFrames) || left.size() >= cap)) break;
    }
    EndAtLastSound(left, right, cap);
    return RENDER_OK;
}

// The checks made before FluidSynth sees anything: the bytes, the rate and
// the font, found and of a soundfont's form.
int CheckRequest(const unsigned char* midi, std::size_t length, const char* soundfont, int sampleRate,
                 FontFile& font, Rendered& out) {
    if (!LooksLikeMIDI(midi, length)) {
        return Fail(out, RENDER_NOT_MIDI, "Error: Not a whole Standard MIDI File of format 0 or 1");
    }
    out.sampleRate = sampleRate == 0 ? MIDICOMPOSE_AUDIO_DEFAULT_RATE : sampleRate;
    if (out.sampleRate < 8000 || out.sampleRate > 96000) {
        return Fail(out, RENDER_BAD_RATE, "Error: Invalid sample rate " + std::to_string(sampleRate) +
                                              " (8000 to 96000 frames a second)");
    }
    // A few bytes can ask for hours of music: one whose sound would not fit
    // a WAV file is refused before any of it is rendered. Play ends the sound
    // within two blocks of the music and its longest release.
    out.musicSeconds = MusicSeconds(midi, length);
    bool tooLong = (out.musicSeconds + kMaxReleaseSeconds) * out.sampleRate + 2 * kBlockFrames >
                   static_cast<double>(kMaxWavFrames);
#if defined(FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION)
    tooLong = tooLong || out.musicSeconds > kMaxFuzzedMusicSeconds;
#endif
    if (tooLong) {
        return Fail(out, RENDER_TOO_LONG, "Error: The sound would not fit a WAV file: the music lasts " +
                                              std::to_string(static_cast<long long>(out.musicSeconds)) + " s");
    }
    out.soundfont = ChooseFont(soundfont);
    if (out.soundfont.empty()) {
        return Fail(out, RENDER_NO_SOUNDFONT,
                    "Error: No General MIDI soundfont: pass one, set MIDICOMPOSE_SOUNDFONT, or install one "
                    "(Debian: apt-get install fluid-soundfont-gm)");
    }
    std::string why;
    if (!FindFont(out.soundfont, font, why)) {
        return Fail(out, RENDER_BAD_SOUNDFONT, "Error: Cannot read soundfont " + out.soundfont + ": " + why);
    }
    if (!LooksLikeSoundfont(font.path)) {
        return Fail(out, RENDER_BAD_SOUNDFONT,
                    "Error: FluidSynth cannot load soundfont " + out.soundfont + ": not an SF2, SF3 or DLS file");
    }
    return RENDER_OK;
}

// The font from the pool, else loaded, played on a synthesizer of its own.
int PlayWithFont(const FontFile& font, const unsigned char* midi, std::size_t length, std::vector<float>& left,
                 std::vector<float>& right, Rendered& out, SoundSink* sink) {
    std::unique_ptr<LoadedFont> loaded = TakeIdleFont(font);
    if (loaded == nullptr) {
        loaded.reset(new LoadedFont(font));
        if (!loaded->Load()) {
            return Fail(out, RENDER_BAD_SOUNDFONT, "Error: FluidSynth cannot load soundfont " + out.soundfont +
                                                       (t_log->empty() ? std::string() : ": " + *t_log));
        }
    }
    int played = RENDER_SYNTH_FAILED;
    {
        const RenderSynth synth(*loaded, out.sampleRate);
        if (synth.get() == nullptr) {  // GCOVR_EXCL_START: FluidSynth's memory ran out
            played = Fail(out, RENDER_SYNTH_FAILED, "Error: FluidSynth could not create a synthesizer");
        } else {  // GCOVR_EXCL_STOP
            played = Play(synth.get(), out.sampleRate, midi, length, left, right, out, sink);
        }
    }
    ReturnFont(std::move(loaded));
    return played;
}

}  // namespace

int Render(const unsigned char* midi, std::size_t length, const char* soundfont, int sampleRate, const char* wavPath,
           Rendered& out, SoundSink* sink) {
    QuietFluidSynth();
    std::string log;
    t_log = &log;
    struct Release {
        ~Release() { t_log = nullptr; }
    } release;

    FontFile font;
    std::vector<float> left, right;
    int status = CheckRequest(midi, length, soundfont, sampleRate, font, out);
    if (status == RENDER_OK) status = PlayWithFont(font, midi, length, left, right, out, sink);
    if (status != RENDER_OK) return status;

    out.seconds = static_cast<double>(left.size()) / out.sampleRate;
    out.wav = EncodeWav(left, right, out.sampleRate);
    if (wavPath != nullptr) {
        const ReplaceResult saved = ReplaceFileContents(wavPath, out.wav.data(), out.wav.size());
        if (saved != ReplaceResult::Ok) {
            out.wav.clear();
            return Fail(out, RENDER_SAVE_FAILED, std::string(saved == ReplaceResult::CannotCreate
                                                                 ? "Error: Could not create file "
                                                                 : "Error: Failed to write ") + wavPath);
        }
    }
    return RENDER_OK;
}

}  // namespace midicompose
