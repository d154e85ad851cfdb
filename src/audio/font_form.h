// A soundfont's form, read before FluidSynth sees the file.
#ifndef MIDICOMPOSE_AUDIO_FONT_FORM_H
#define MIDICOMPOSE_AUDIO_FONT_FORM_H

#include <string>

namespace midicompose {

// A soundfont FluidSynth reads: RIFF with the form "sfbk" (SF2, SF3) whose
// preset tables are whole, or "DLS ". Anything else is refused before
// FluidSynth tries its loaders on it, some of which complain on the console.
bool LooksLikeSoundfont(const std::string& path);

}  // namespace midicompose

#endif
