// Soundfonts loaded by FluidSynth, kept for the life of the process: loading
// a large font takes far longer than rendering a short file, so a font is
// loaded once and lent to each render that wants it after. A render plays on
// a synthesizer of its own, made afresh (cheap beside the font), so every
// render sounds exactly like the first: nothing of an earlier one (reverb
// tail, controllers) carries over. A lent font serves one render at a time.
#ifndef MIDICOMPOSE_SYNTH_POOL_H
#define MIDICOMPOSE_SYNTH_POOL_H

#include <fluidsynth.h>

#include <memory>
#include <string>

namespace midicompose {

// The font file as found on disk: its path and what tells a changed file
// from the one loaded before.
struct FontFile {
    std::string path;
    unsigned long long device = 0, inode = 0, size = 0;
    long long modified = 0;
    bool operator==(const FontFile& o) const;
};

// A font loaded into a synthesizer that only holds it.
class LoadedFont {
public:
    explicit LoadedFont(const FontFile& file) : file_(file) {}
    ~LoadedFont();
    LoadedFont(const LoadedFont&) = delete;
    LoadedFont& operator=(const LoadedFont&) = delete;
    // Loads the file; false when FluidSynth cannot (it says why in its log).
    bool Load();
    const FontFile& file() const { return file_; }
    fluid_sfont_t* font() const { return font_; }
    // A preset's samples are read when a synthesizer first selects it, and
    // let go when none has it selected: the holder selects the presets a
    // render played, channel by channel, so that the next render of the
    // same instrument finds them read.
    void KeepPresetsOf(fluid_synth_t* played) const;

private:
    FontFile file_;
    int id_ = FLUID_FAILED;  // the font's in the holder
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* holder_ = nullptr;
    fluid_sfont_t* font_ = nullptr;
};

// A synthesizer for one render, playing a lent font at a sample rate.
class RenderSynth {
public:
    RenderSynth(const LoadedFont& font, int sampleRate);
    ~RenderSynth();  // keeps the presets it played with the font
    RenderSynth(const RenderSynth&) = delete;
    RenderSynth& operator=(const RenderSynth&) = delete;
    // Null when it could not be made.
    fluid_synth_t* get() const { return synth_; }

private:
    const LoadedFont& loaded_;
    fluid_sfont_t* font_;
    fluid_settings_t* settings_ = nullptr;
    fluid_synth_t* synth_ = nullptr;
};

// An idle loaded font for the file, or null when none is idle. Idle fonts
// loaded from the same path when it named another file (replaced, or a link
// pointed elsewhere) are unloaded: FluidSynth keeps a font's samples by its
// path and modification second, and would hand their samples to the new file.
std::unique_ptr<LoadedFont> TakeIdleFont(const FontFile& file);
// Hands a font back for the next render.
void ReturnFont(std::unique_ptr<LoadedFont> font);

}  // namespace midicompose

#endif
