// Fuzzes a font file's bytes: written to a file and a short chord rendered
// with it, through the check of the font's form, then FluidSynth's loaders
// on what passes. Each input gets a modification time of its own, so the
// renderer sees a new file at the same path every time, as after an edit.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "midicompose_audio.h"

namespace {

std::string g_font;
// C and E on the piano, a beat each: MThd, then one track.
const std::uint8_t kChord[] = {
    0x4D, 0x54, 0x68, 0x64, 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 0x4D, 0x54, 0x72, 0x6B, 0, 0, 0, 0x19,
    0x00, 0xC0, 0x00, 0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x80, 0x3C, 0x40, 0x00, 0x90, 0x40, 0x64,
    0x83, 0x60, 0x80, 0x40, 0x40, 0x00, 0xFF, 0x2F, 0x00};

void RemoveFont() { unlink(g_font.c_str()); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char name[] = "/tmp/midicompose-font-fuzz-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0) std::abort();
    close(fd);
    g_font = name;
    std::atexit(RemoveFont);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static long long edits = 0;
    const int fd = open(g_font.c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0 || (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size))) std::abort();
    const struct timespec times[2] = {{0, UTIME_OMIT}, {++edits, 0}};
    if (futimens(fd, times) != 0) std::abort();
    close(fd);
    MIDIComposeAudio audio{};
    audio.size = sizeof audio;
    const int status = MIDIComposeRender(kChord, sizeof kChord, g_font.c_str(), 8000, nullptr, &audio);
    if (status != RENDER_OK && status != RENDER_BAD_SOUNDFONT && status != RENDER_SYNTH_FAILED) std::abort();
    if ((status == RENDER_OK) != (audio.wav != nullptr) || (status != RENDER_OK && audio.message == nullptr)) std::abort();
    MIDIComposeFreeAudio(&audio);
    return 0;
}
