// Fuzzes MIDIComposeRender on any bytes as a MIDI file, with a small font
// made for it (tests/small_sf2.cpp): the checks before FluidSynth, then
// FluidSynth itself on what passes. A render either fails with a status
// that has a name and a message, or gives a whole WAV file of its length.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "midicompose_audio.h"
#include "small_sf2.h"

namespace {

std::string g_font;

void RemoveFont() { unlink(g_font.c_str()); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char name[] = "/tmp/midicompose-render-fuzz-XXXXXX";
    const int fd = mkstemp(name);
    const auto font = testing_support::SmallSoundfont();
    if (fd < 0 || write(fd, font.data(), font.size()) != static_cast<ssize_t>(font.size())) std::abort();
    close(fd);
    g_font = name;
    std::atexit(RemoveFont);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MIDIComposeAudio audio{};
    audio.size = sizeof audio;
    // The lowest rate: what is fuzzed is the reading of the file, not the synthesis.
    const int status = MIDIComposeRender(data, size, g_font.c_str(), 8000, nullptr, &audio);
    if (status == RENDER_OK) {
        if (audio.wav == nullptr || audio.length < 44 || std::memcmp(audio.wav, "RIFF", 4) != 0) std::abort();
        std::uint32_t riff;
        std::memcpy(&riff, audio.wav + 4, 4);
        if (riff + 8 != audio.length || audio.seconds < 0) std::abort();
    } else if (MIDIComposeRenderStatusName(status) == nullptr || audio.message == nullptr || audio.wav != nullptr) {
        std::abort();
    }
    MIDIComposeFreeAudio(&audio);
    return 0;
}
