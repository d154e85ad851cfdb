// midicompose-audio through its header: the same bytes on every call and
// thread, the sound as long as the music and its release, and a clear status
// for everything it cannot play. The font is Debian's small FluidR3Mono
// (MIDICOMPOSE_TEST_SOUNDFONT), so the suite does not wait on a large one.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "midicompose.h"
#include "midicompose_audio.h"
#include "small_sf2.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const char* Font() { return MIDICOMPOSE_TEST_SOUNDFONT; }

Bytes Compose(const char* notes, const char* instrument, const char* beats = "1") {
    MIDIComposeResult result{};
    result.size = sizeof result;
    EXPECT_EQ(MIDIComposeUTF8(notes, nullptr, instrument, beats, &result), COMPOSE_OK) << notes;
    Bytes file(result.data, result.data + result.length);
    MIDIComposeFreeResult(&result);
    return file;
}

struct Rendered {
    int status;
    Bytes wav;
    std::string message;
    double seconds;
};

Rendered Render(const Bytes& midi, const char* font, int rate = 0, const char* path = nullptr) {
    MIDIComposeAudio audio{};
    audio.size = sizeof audio;
    const int status = MIDIComposeRender(midi.data(), midi.size(), font, rate, path, &audio);
    Rendered out{status, Bytes(audio.wav, audio.wav + audio.length), audio.message ? audio.message : "", audio.seconds};
    MIDIComposeFreeAudio(&audio);
    return out;
}

// The 16-bit samples of a render's left channel, scaled to -1..1.
std::vector<double> Left(const Bytes& wav) {
    std::vector<double> samples;
    for (std::size_t at = 44; at + 4 <= wav.size(); at += 4) {
        samples.push_back(static_cast<std::int16_t>(wav[at] | (wav[at + 1] << 8)) / 32768.0);
    }
    return samples;
}

double Rms(const std::vector<double>& s, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += s[i] * s[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

TEST(MIDIComposeRender, GivesTheSameBytesOnEveryCallAndThread) {
    const Bytes chord = Compose("C:2 E:1 G:1 C5:2", "violin");
    const Rendered first = Render(chord, Font());
    ASSERT_EQ(first.status, RENDER_OK) << first.message;
    EXPECT_EQ(Render(chord, Font()).wav, first.wav);
    std::vector<Bytes> got(4);
    std::vector<std::thread> threads;
    for (auto& wav : got) threads.emplace_back([&] { wav = Render(chord, Font()).wav; });
    for (auto& thread : threads) thread.join();
    for (const Bytes& wav : got) EXPECT_EQ(wav, first.wav);
}

// The music at 120 beats a minute, then the release of its last notes until
// they fall silent, at most two seconds; sound from the first moment on.
TEST(MIDIComposeRender, LastsAsLongAsTheMusicAndItsRelease) {
    std::string hundred;
    for (int i = 0; i < 100; ++i) hundred += std::string(i > 0 ? " " : "") + "CDEFGAB"[i % 7];
    struct Case {
        std::string notes;
        const char* instrument;
        const char* beats;
        double musicSeconds;
    } cases[] = {{"C:2 E:1 G:1 C5:2", "violin", "1", 3.0}, {hundred, "piano", "0.5", 25.0},
                 {"C2 D2 C2 D2", "drums", "1", 2.0},
                 // A bell rings for seconds after its note: cut at the cap.
                 {"C:1 ", "tubular_bells", "1", 0.5}};
    for (const Case& c : cases) {
        const Rendered r = Render(Compose(c.notes.c_str(), c.instrument, c.beats), Font());
        ASSERT_EQ(r.status, RENDER_OK) << r.message;
        EXPECT_GT(r.seconds, c.musicSeconds) << c.notes;
        EXPECT_LE(r.seconds, c.musicSeconds + 2.0) << c.notes;
        const std::vector<double> left = Left(r.wav);
        EXPECT_EQ(static_cast<double>(left.size()) / 44100, r.seconds);
        EXPECT_GT(Rms(left, 0, 441), 1e-4) << "silent at the start: " << c.notes;
        // Not cut off: the last tenth of a second is quieter than the music
        // before it, and still not silent at its start.
        const std::size_t end = left.size(), tenth = 4410;
        const std::size_t musicEnd = static_cast<std::size_t>(c.musicSeconds * 44100);
        EXPECT_LT(Rms(left, end - tenth, end), Rms(left, musicEnd - tenth, musicEnd)) << c.notes;
    }
}

TEST(MIDIComposeRender, RefusesWhatItCannotPlayWithAStatusAndAMessage) {
    TempDir dir;
    const Bytes chord = Compose("C:2 E:1 G:1 C5:2", "violin");
    Bytes format2 = chord, twoTracks = chord, foreignChunk = HexBytes("4D 54 68 64 00 00 00 06 00 00 00 01 01 E0 58 59 5A 57 00 00 00 00");
    foreignChunk.insert(foreignChunk.end(), chord.begin() + 14, chord.end());
    format2[9] = 2;
    twoTracks[11] = 2;  // a header that promises a track the file does not hold
    WriteBytes(dir.File("not-a-font.sf2"), chord);
    // RIFF, but a WAV: FluidSynth's own loaders would complain of it on the console.
    WriteBytes(dir.File("sound.wav"), HexBytes("52 49 46 46 24 00 00 00 57 41 56 45 66 6D 74 20"));
    // An SF2 whose preset tables are out of order, which FluidSynth would
    // hand to its DLS reader, and glib would complain of on the console.
    Bytes broken = SmallSoundfont();
    const std::string ibag = "ibag";
    std::copy(ibag.rbegin(), ibag.rend(), std::search(broken.begin(), broken.end(), ibag.begin(), ibag.end()));
    WriteBytes(dir.File("broken.sf2"), broken);
    // Fonts whose preset data is missing, cut short, or of part records.
    const auto changed = [&](const char* name, std::size_t at, std::uint8_t value, std::size_t cut = 0) {
        Bytes font = SmallSoundfont();
        font[at] = value;
        font.resize(font.size() - cut);
        WriteBytes(dir.File(name), font);
        return dir.File(name);
    };
    const Bytes small = SmallSoundfont();
    const std::string phdr = "phdr";
    const std::size_t pdta = static_cast<std::size_t>(std::search(small.begin(), small.end(), phdr.begin(), phdr.end()) -
                                                      small.begin());  // its first table, "phdr"
    ASSERT_EQ(std::string(small.begin() + pdta, small.begin() + pdta + 4), "phdr");
    const std::string noPresets = changed("no-pdta.sf2", pdta - 1, 'X'), partRecord = changed("part.sf2", pdta + 4, 37),
                      cutShort = changed("cut.sf2", 4, small[4], 60),
                      newerFont = changed("newer.sf2", 32, 9);  // ifil: version 9.1
    const std::string wav = dir.File("old.wav");
    WriteBytes(wav, {'o', 'l', 'd'});
    const std::string missingFolder = dir.File("missing/x.wav");
    const std::string notAFont = dir.File("not-a-font.sf2"), missingFont = dir.File("none.sf2"),
                      wavFont = dir.File("sound.wav"), brokenFont = dir.File("broken.sf2");
    struct Case {
        const char* what;
        Bytes midi;
        const char* font;
        int rate;
        const char* path;
        int status;
        const char* message;
        // FluidSynth refuses a font that looked whole to us, and the DLS
        // reader it then tries prints a glib CRITICAL line: not ours to stop.
        bool console = false;
    } cases[] = {
        {"bytes that are no MIDI file", {'R', 'I', 'F', 'F', 0, 0, 0, 6, 0, 0, 0, 1, 1, 0xE0}, Font(), 0, nullptr,
         RENDER_NOT_MIDI, "Not a whole Standard MIDI File"},
        {"a header alone", Bytes(chord.begin(), chord.begin() + 14), Font(), 0, nullptr, RENDER_NOT_MIDI, "whole"},
        {"a track cut short", Bytes(chord.begin(), chord.end() - 1), Font(), 0, nullptr, RENDER_NOT_MIDI, "whole"},
        {"format 2", format2, Font(), 0, nullptr, RENDER_NOT_MIDI, "format 0 or 1"},
        {"two tracks promised, one held", twoTracks, Font(), 0, nullptr, RENDER_NOT_MIDI, "whole"},
        // 2^28 ticks at 480 a beat: 77 hours, refused before any of it is rendered.
        {"music longer than a WAV file holds",
         HexBytes("4D 54 68 64 00 00 00 06 00 00 00 01 01 E0 4D 54 72 6B 00 00 00 0F 00 90 3C 64 FF FF FF 7F 80 3C 40 00 FF 2F 00"),
         Font(), 0, nullptr, RENDER_TOO_LONG, "the music lasts 279620 s"},
        {"a rate FluidSynth cannot play at", chord, Font(), 200000, nullptr, RENDER_BAD_RATE, "8000 to 96000"},
        {"a rate just above the highest", chord, Font(), 96001, nullptr, RENDER_BAD_RATE, "96001"},
        {"a rate just below the lowest", chord, Font(), 7999, nullptr, RENDER_BAD_RATE, "7999"},
        {"a rate far below it", chord, Font(), 4000, nullptr, RENDER_BAD_RATE, "4000"},
        {"a negative rate", chord, Font(), -1, nullptr, RENDER_BAD_RATE, "-1"},
        {"a WAV file as the font", chord, wavFont.c_str(), 0, nullptr, RENDER_BAD_SOUNDFONT, "not an SF2, SF3 or DLS"},
        {"an SF2 with a broken table", chord, brokenFont.c_str(), 0, nullptr, RENDER_BAD_SOUNDFONT, "not an SF2"},
        {"an SF2 with no preset data", chord, noPresets.c_str(), 0, nullptr, RENDER_BAD_SOUNDFONT, "not an SF2"},
        {"an SF2 with a part record", chord, partRecord.c_str(), 0, nullptr, RENDER_BAD_SOUNDFONT, "not an SF2"},
        {"an SF2 cut short", chord, cutShort.c_str(), 0, nullptr, RENDER_BAD_SOUNDFONT, "not an SF2"},
        {"no bytes at all", {}, Font(), 0, nullptr, RENDER_NOT_MIDI, "whole"},
        {"a header of five bytes", HexBytes("4D 54 68 64 00 00 00 05 00 00 00 01 01 E0"), Font(), 0, nullptr,
         RENDER_NOT_MIDI, "whole"},
        {"a header of no tracks", HexBytes("4D 54 68 64 00 00 00 06 00 00 00 00 01 E0"), Font(), 0, nullptr,
         RENDER_NOT_MIDI, "whole"},
        {"a header longer than the file", HexBytes("4D 54 68 64 00 00 01 00 00 00 00 01 01 E0"), Font(), 0, nullptr,
         RENDER_NOT_MIDI, "whole"},
        {"a chunk of another kind where the track should be", foreignChunk, Font(), 0, nullptr, RENDER_NOT_MIDI, "whole"},
        {"an event with no status byte", HexBytes("4D 54 68 64 00 00 00 06 00 00 00 01 01 E0 4D 54 72 6B 00 00 00 08 "
                                                  "00 3C 64 83 60 80 3C 40"),
         Font(), 0, nullptr, RENDER_NOT_MIDI, "FluidSynth cannot play the file: Unrecognized MIDI event"},
        {"a full disk", chord, Font(), 0, "/dev/full", RENDER_SAVE_FAILED, "Failed to write /dev/full"},
        {"a font newer than FluidSynth reads", chord, newerFont.c_str(), 0, nullptr, RENDER_BAD_SOUNDFONT,
         "newer than what this version of fluidsynth", true},
        {"a folder as the font", chord, dir.path().c_str(), 0, nullptr, RENDER_BAD_SOUNDFONT, "not a file"},
        {"a missing font", chord, missingFont.c_str(), 0, nullptr, RENDER_BAD_SOUNDFONT, "No such file"},
        {"a file that is no font", chord, notAFont.c_str(), 0, nullptr, RENDER_BAD_SOUNDFONT, "cannot load"},
        {"a missing folder", chord, Font(), 0, missingFolder.c_str(), RENDER_SAVE_FAILED, "Could not create"},
    };
    for (const Case& c : cases) {
        CapturedOutput console;
        const Rendered r = Render(c.midi, c.font, c.rate, c.path);
        console.Stop();
        if (!c.console) {
            EXPECT_EQ(console.err(), "") << c.what;
        }
        EXPECT_EQ(r.status, c.status) << c.what << ": " << r.message;
        EXPECT_NE(r.message.find(c.message), std::string::npos) << c.what << ": " << r.message;
        EXPECT_TRUE(r.wav.empty()) << c.what;
        EXPECT_NE(MIDIComposeRenderStatusName(r.status), nullptr) << c.what;
    }
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"broken.sf2", "cut.sf2", "newer.sf2", "no-pdta.sf2", "not-a-font.sf2",
                                                       "old.wav", "part.sf2", "sound.wav"}));
    // A font named by the environment; saving replaces the old file whole.
    setenv("MIDICOMPOSE_SOUNDFONT", missingFont.c_str(), 1);
    EXPECT_EQ(Render(chord, nullptr).status, RENDER_BAD_SOUNDFONT);
    setenv("MIDICOMPOSE_SOUNDFONT", Font(), 1);
    const Rendered saved = Render(chord, "", 22050, wav.c_str());
    unsetenv("MIDICOMPOSE_SOUNDFONT");
    ASSERT_EQ(saved.status, RENDER_OK) << saved.message;
    EXPECT_EQ(ReadBytes(wav), saved.wav);
    EXPECT_EQ(saved.wav[24] | (saved.wav[25] << 8), 22050);
    // A file with no notes has no sound.
    const Rendered silent = Render(HexBytes("4D 54 68 64 00 00 00 06 00 00 00 01 01 E0 4D 54 72 6B 00 00 00 04 00 FF 2F 00"), Font());
    EXPECT_EQ(silent.status, RENDER_OK);
    EXPECT_EQ(silent.seconds, 0.0);
    EXPECT_EQ(MIDIComposeRenderStatusName(0), nullptr);
    EXPECT_EQ(MIDIComposeRender(chord.data(), chord.size(), Font(), 0, nullptr, nullptr), RENDER_OK);
}

// A file whose one event is at tick 0 has no last tick to reach: the cap
// counts from the music's end as its ticks and tempos give it, even for a
// note that is never let go.
TEST(MIDIComposeRender, CutsANoteNeverLetGoAtTheCap) {
    TempDir dir;
    WriteBytes(dir.File("small.sf2"), SmallSoundfont());
    const Rendered r = Render(HexBytes("4D 54 68 64 00 00 00 06 00 00 00 01 01 E0 4D 54 72 6B 00 00 00 04 00 90 41 64"),
                              dir.File("small.sf2").c_str());
    ASSERT_EQ(r.status, RENDER_OK) << r.message;
    EXPECT_NEAR(r.seconds, 2.0, 512.0 / 44100);
}

// Fonts are kept loaded between renders, by the file a path names: a link
// pointed at another font of the same size is loaded again, not served stale.
TEST(MIDIComposeRender, LoadsTheFontAPathNamesNowNotTheOneItNamedBefore) {
    TempDir dir;
    const std::string sine = dir.File("sine.sf2"), saw = dir.File("saw.sf2"), link = dir.File("font.sf2");
    WriteBytes(sine, SmallSoundfont(0, 0));
    WriteBytes(saw, SmallSoundfont(0, 1));
    const Bytes notes = Compose("C:2 E G", "piano");
    const Rendered fromSine = Render(notes, sine.c_str()), fromSaw = Render(notes, saw.c_str());
    ASSERT_EQ(fromSine.status, RENDER_OK) << fromSine.message;
    ASSERT_NE(fromSine.wav, fromSaw.wav);
    ASSERT_EQ(symlink(sine.c_str(), link.c_str()), 0);
    EXPECT_EQ(Render(notes, link.c_str()).wav, fromSine.wav);
    ASSERT_EQ(unlink(link.c_str()), 0);
    ASSERT_EQ(symlink(saw.c_str(), link.c_str()), 0);
    EXPECT_EQ(Render(notes, link.c_str()).wav, fromSaw.wav);
    // The same file rewritten in place, as long as before: only its time tells.
    WriteBytes(sine, SmallSoundfont(0, 1));
    const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, sine.c_str(), times, 0), 0);
    EXPECT_EQ(Render(notes, sine.c_str()).wav, fromSaw.wav);
    // And again within the same second.
    WriteBytes(sine, SmallSoundfont(0, 0));
    const timespec sameSecond[2] = {{1000000000, 500000000}, {1000000000, 500000000}};
    ASSERT_EQ(utimensat(AT_FDCWD, sine.c_str(), sameSecond, 0), 0);
    EXPECT_EQ(Render(notes, sine.c_str()).wav, fromSine.wav);
}

// Given no font, a render takes the system's General MIDI font (the .sf2
// before the .sf3), and with neither says how to get one. Each case runs in a
// child with a folder of sounds of its own in place of /usr/share/sounds.
TEST(MIDIComposeRender, FallsBackToTheSystemFontAndSaysHowToInstallOne) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root for a mount namespace";
    TempDir dir;
    WriteBytes(dir.File("small.sf2"), SmallSoundfont());
    const Bytes midi = Compose("C", "piano");
    struct Case {
        std::vector<std::string> installed;  // under /usr/share/sounds
        std::string report;                  // status, then the font used or the message
    };
    const std::string sf2 = "/usr/share/sounds/sf2/default-GM.sf2", sf3 = "/usr/share/sounds/sf3/default-GM.sf3";
    const Case cases[] = {
        {{}, std::to_string(RENDER_NO_SOUNDFONT) + " Error: No General MIDI soundfont: pass one, set "
                                                 "MIDICOMPOSE_SOUNDFONT, or install one (Debian: apt-get install "
                                                 "fluid-soundfont-gm)"},
        {{"sf3"}, std::to_string(RENDER_OK) + " " + sf3},
        {{"sf3", "sf2"}, std::to_string(RENDER_OK) + " " + sf2},
    };
    for (const Case& c : cases) {
        int pipeFds[2];
        ASSERT_EQ(pipe(pipeFds), 0);
        const pid_t child = fork();
        if (child == 0) {
            std::string report = "skip";
            if (unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                mount("tmpfs", "/usr/share/sounds", "tmpfs", 0, nullptr) == 0) {
                for (const std::string& kind : c.installed) {
                    const std::string folder = "/usr/share/sounds/" + kind;
                    mkdir(folder.c_str(), 0755);
                    WriteBytes(folder + "/default-GM." + kind, ReadBytes(dir.File("small.sf2")));
                }
                unsetenv("MIDICOMPOSE_SOUNDFONT");
                MIDIComposeAudio audio{};
                audio.size = sizeof audio;
                const int status = MIDIComposeRender(midi.data(), midi.size(), nullptr, 0, nullptr, &audio);
                report = std::to_string(status) + " " + (status == RENDER_OK ? audio.soundfont : audio.message);
                MIDIComposeFreeAudio(&audio);
            }
            if (write(pipeFds[1], report.data(), report.size()) < 0) ExitChild(1);
            ExitChild(0);
        }
        close(pipeFds[1]);
        const std::string report = ReadToEnd(pipeFds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        if (report == "skip") GTEST_SKIP() << "no mount namespace here";
        EXPECT_EQ(report, c.report);
    }
}

// With no sound server and no ALSA device, playing says what it tried and
// what to install, and still hands back and saves the WAV a render makes.
TEST(MIDIComposePlay, WithNoOutputSaysWhatToInstallAndStillGivesTheWav) {
    TempDir dir;
    const auto write = [&](const char* name, const std::string& text) { WriteBytes(dir.File(name), Bytes(text.begin(), text.end())); };
    write(".asoundrc", "pcm.!default { type hw card 63 }\n");  // a card no machine has
    write("client.conf", "autospawn = no\n");
    const std::string home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    setenv("HOME", dir.path().c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + dir.File("no-server")).c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", dir.File("client.conf").c_str(), 1);
    const Bytes midi = Compose("C E G", "violin");
    MIDIComposeAudio audio{};
    audio.size = sizeof audio;
    const int status = MIDIComposePlay(midi.data(), midi.size(), Font(), 0, dir.File("played.wav").c_str(), nullptr, &audio);
    const std::string message = audio.message != nullptr ? audio.message : "";
    const Bytes wav(audio.wav, audio.wav + audio.length);
    MIDIComposeFreeAudio(&audio);
    setenv("HOME", home.c_str(), 1);
    unsetenv("PULSE_SERVER");
    unsetenv("PULSE_CLIENTCONFIG");
    EXPECT_EQ(status, RENDER_NO_OUTPUT);
    EXPECT_NE(message.find("PulseAudio (libpulse-simple.so.0): "), std::string::npos) << message;
    EXPECT_NE(message.find("apt-get install pulseaudio, or pipewire-pulse"), std::string::npos) << message;
    EXPECT_EQ(wav, Render(midi, Font()).wav);
    EXPECT_EQ(ReadBytes(dir.File("played.wav")), wav);
}

// A caller built against an older header passes a smaller structure: the
// fields it has are filled and freed, and no byte past them is touched.
TEST(MIDIComposeRender, FillsOnlyTheFieldsTheCallersStructureHolds) {
    const Bytes chord = Compose("C E", "piano");
    for (const std::size_t size : {sizeof(std::size_t), offsetof(MIDIComposeAudio, length), offsetof(MIDIComposeAudio, message),
                                   offsetof(MIDIComposeAudio, soundfont), offsetof(MIDIComposeAudio, sampleRate),
                                   offsetof(MIDIComposeAudio, seconds), sizeof(MIDIComposeAudio)}) {
        union {
            MIDIComposeAudio audio;
            unsigned char bytes[sizeof(MIDIComposeAudio)];
        } u;
        std::memset(u.bytes, 0xAB, sizeof u.bytes);
        u.audio.size = size;
        EXPECT_EQ(MIDIComposeRender(chord.data(), chord.size(), Font(), 0, nullptr, &u.audio), RENDER_OK) << size;
        if (size > offsetof(MIDIComposeAudio, wav)) {
            EXPECT_NE(u.audio.wav, nullptr) << size;
        }
        MIDIComposeFreeAudio(&u.audio);
        for (std::size_t at = size; at < sizeof u.bytes; ++at) ASSERT_EQ(u.bytes[at], 0xAB) << size << " at " << at;
    }
    MIDIComposeFreeAudio(nullptr);
}

}  // namespace
