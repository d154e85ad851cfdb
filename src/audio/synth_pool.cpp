#include "synth_pool.h"

#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace midicompose {
namespace {

struct Pool {
    std::mutex lock;
    std::vector<std::unique_ptr<LoadedFont>> idle;
};

// Never destroyed: a render on another thread may still hand a font back
// while the process exits. Made by the first render, where running out of
// memory is a status (as the library loads it would end the process).
Pool& ThePool() {
    static Pool* pool = new Pool;
    return *pool;
}

// FluidSynth sets up its shared tables the first time a synthesizer is
// made, unguarded: synthesizers are made and deleted one at a time.
std::mutex& SynthLifecycle() {
    static std::mutex* lock = new std::mutex;
    return *lock;
}

fluid_settings_t* RenderSettings(int sampleRate) {
    fluid_settings_t* settings = new_fluid_settings();
    if (settings == nullptr) return nullptr;
    // Rendering is driven by the samples asked for, not by a clock: the file
    // plays as fast as it can be computed, the same way every time.
    fluid_settings_setstr(settings, "player.timing-source", "sample");
    fluid_settings_setint(settings, "synth.lock-memory", 0);
    fluid_settings_setint(settings, "synth.cpu-cores", 1);
    fluid_settings_setnum(settings, "synth.sample-rate", static_cast<double>(sampleRate));
    return settings;
}

}  // namespace

bool FontFile::operator==(const FontFile& o) const {
    return path == o.path && device == o.device && inode == o.inode && size == o.size && modified == o.modified;
}

LoadedFont::~LoadedFont() {
    std::lock_guard<std::mutex> hold(SynthLifecycle());
    if (holder_ != nullptr) delete_fluid_synth(holder_);  // unloads the font
    if (settings_ != nullptr) delete_fluid_settings(settings_);
}

bool LoadedFont::Load() {
    std::lock_guard<std::mutex> hold(SynthLifecycle());
    settings_ = RenderSettings(44100);
    // A preset's samples are read (and an SF3's decoded) when it is first
    // played, not all 128 instruments' as the font loads: FluidR3Mono's
    // first sound comes in a quarter of the time, with the same samples.
    if (settings_ != nullptr) fluid_settings_setint(settings_, "synth.dynamic-sample-loading", 1);
    // Only FluidSynth's memory running out fails these two.
    if (settings_ == nullptr || (holder_ = new_fluid_synth(settings_)) == nullptr) return false;  // GCOVR_EXCL_BR_LINE
    id_ = fluid_synth_sfload(holder_, file_.path.c_str(), 0);
    if (id_ == FLUID_FAILED) return false;
    font_ = fluid_synth_get_sfont_by_id(holder_, id_);
    return font_ != nullptr;
}

void LoadedFont::KeepPresetsOf(fluid_synth_t* played) const {
    for (int channel = 0; channel < fluid_synth_count_midi_channels(played); ++channel) {
        fluid_preset_t* preset = fluid_synth_get_channel_preset(played, channel);
        if (preset == nullptr) continue;  // the file chose a program the font lacks
        fluid_synth_program_select(holder_, channel, id_, fluid_preset_get_banknum(preset), fluid_preset_get_num(preset));
    }
}

RenderSynth::RenderSynth(const LoadedFont& font, int sampleRate) : loaded_(font), font_(font.font()) {
    std::lock_guard<std::mutex> hold(SynthLifecycle());
    settings_ = RenderSettings(sampleRate);
    if (settings_ == nullptr || (synth_ = new_fluid_synth(settings_)) == nullptr) return;  // GCOVR_EXCL_BR_LINE: as in Load
    // Adding a loaded font fails only when FluidSynth's memory runs out.
    if (fluid_synth_add_sfont(synth_, font_) == FLUID_FAILED) {  // GCOVR_EXCL_START
        delete_fluid_synth(synth_);
        synth_ = nullptr;
    }  // GCOVR_EXCL_STOP
}

RenderSynth::~RenderSynth() {
    std::lock_guard<std::mutex> hold(SynthLifecycle());
    if (synth_ != nullptr) {
        loaded_.KeepPresetsOf(synth_);
        fluid_synth_remove_sfont(synth_, font_);  // the font stays with its holder
        delete_fluid_synth(synth_);
    }
    if (settings_ != nullptr) delete_fluid_settings(settings_);
}

std::unique_ptr<LoadedFont> TakeIdleFont(const FontFile& file) {
    Pool& pool = ThePool();
    std::unique_ptr<LoadedFont> found;
    std::vector<std::unique_ptr<LoadedFont>> stale;  // unloaded once the lock below is let go
    std::lock_guard<std::mutex> hold(pool.lock);
    for (auto it = pool.idle.begin(); it != pool.idle.end();) {
        if (found == nullptr && (*it)->file() == file) {
            found = std::move(*it);
        } else if ((*it)->file().path == file.path && !((*it)->file() == file)) {
            stale.push_back(std::move(*it));
        } else {
            ++it;
            continue;
        }
        it = pool.idle.erase(it);
    }
    return found;
}

void ReturnFont(std::unique_ptr<LoadedFont> font) {
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> hold(pool.lock);
    try {
        pool.idle.push_back(std::move(font));
    } catch (...) {
        // Memory ran out: not kept, and a later render loads the file again.
    }
}

}  // namespace midicompose
