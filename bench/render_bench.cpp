// midicompose-audio in one process: the first render with a font (which
// loads it) against the renders after it (which reuse it), and how many
// seconds of sound a second of work renders. Usage: render_bench [FONT]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "midicompose.h"
#include "midicompose_audio.h"

namespace {

using Clock = std::chrono::steady_clock;

std::vector<unsigned char> Compose(const std::string& notes, const char* beats) {
    MIDIComposeResult result{};
    result.size = sizeof result;
    MIDIComposeUTF8(notes.c_str(), nullptr, "violin", beats, &result);
    std::vector<unsigned char> file(result.data, result.data + result.length);
    MIDIComposeFreeResult(&result);
    return file;
}

// Seconds one render takes, and the sound's length.
double Render(const std::vector<unsigned char>& midi, const char* font, double& seconds) {
    MIDIComposeAudio audio{};
    audio.size = sizeof audio;
    const auto start = Clock::now();
    const int status = MIDIComposeRender(midi.data(), midi.size(), font, 0, nullptr, &audio);
    const double took = std::chrono::duration<double>(Clock::now() - start).count();
    if (status != RENDER_OK) std::fprintf(stderr, "render: %s\n", audio.message);
    seconds = audio.seconds;
    MIDIComposeFreeAudio(&audio);
    return took;
}

}  // namespace

int main(int argc, char** argv) {
    const char* font = argc > 1 ? argv[1] : "/usr/share/sounds/sf2/default-GM.sf2";
    std::string hundred;
    for (int i = 0; i < 100; ++i) hundred += std::string(i ? " " : "") + "CDEFGAB"[i % 7];
    const std::vector<unsigned char> chord = Compose("C:2 E:1 G:1 C5:2", "1"), notes = Compose(hundred, "0.5");
    double seconds = 0;
    const double first = Render(chord, font, seconds);
    std::printf("render: first render of the chord with %s (loads the font): %.1f ms\n", font, first * 1e3);
    for (const auto& [name, midi] : {std::make_pair("the chord", &chord), std::make_pair("100 notes", &notes)}) {
        std::vector<double> times;
        for (int i = 0; i < 15; ++i) times.push_back(Render(*midi, font, seconds));
        std::sort(times.begin(), times.end());
        const double median = times[times.size() / 2];
        std::printf("render: %s again (font kept): %.1f ms median, %.1f s of sound, %.0fx real time", name,
                    median * 1e3, seconds, seconds / median);
        if (midi == &chord) std::printf("; the first render took %.0fx as long", first / median);
        std::printf("\n");
    }
    return 0;
}
