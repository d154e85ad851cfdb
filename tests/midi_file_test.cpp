// How long a file plays, read before it is rendered: tempo maps, SMPTE
// time, system exclusive and meta events passed over, and files whose
// events cannot all be read. The seconds are worked out by hand. And how a
// rendered sample becomes 16-bit PCM.
#include <gtest/gtest.h>

#include <string>

#include "midi_file.h"
#include "wav_encode.h"
#include "test_support.h"

using testing_support::Bytes;
using testing_support::HexBytes;

namespace {

// A file of the given division and tracks (each the hex of its events).
Bytes File(const std::string& division, std::initializer_list<std::string> tracks) {
    Bytes file = HexBytes("4D 54 68 64 00 00 00 06 00 01 00 0" + std::to_string(tracks.size()) + " " + division);
    for (const std::string& events : tracks) {
        const Bytes body = HexBytes(events);
        const Bytes head = HexBytes("4D 54 72 6B 00 00 00 00");
        file.insert(file.end(), head.begin(), head.end());
        file[file.size() - 1] = static_cast<std::uint8_t>(body.size());
        file.insert(file.end(), body.begin(), body.end());
    }
    return file;
}

TEST(MusicSeconds, ReadsTheTicksAtTheFilesTemposToItsLastEvent) {
    const struct {
        const char* what;
        Bytes file;
        double seconds;
    } cases[] = {
        {"a beat at 120 a minute", File("01 E0", {"00 90 3C 64 83 60 80 3C 40 00 FF 2F 00"}), 0.5},
        {"a beat, then the tempo halved for another",
         File("01 E0", {"00 90 3C 64 83 60 FF 51 03 0F 42 40 00 80 3C 40 83 60 FF 2F 00"}), 1.5},
        {"the tempo in one track, the notes in another",
         File("00 60", {"00 FF 51 03 07 A1 20 00 FF 2F 00", "00 C0 28 00 90 3C 64 60 D0 40 00 80 3C 40 00 FF 2F 00"}), 0.5},
        {"the longest track first", File("01 E0", {"00 90 3C 64 87 40 80 3C 40", "00 90 40 64 83 60 80 40 40"}), 1.0},
        {"a tempo after the last event changes nothing",
         File("01 E0", {"83 60 90 3C 64 00 80 3C 40", "87 40 FF 51 03 0F 42 40"}), 1.0},
        {"SMPTE: 25 frames of 40 ticks a second", File("E7 28", {"00 90 3C 64 8F 50 80 3C 40"}), 2.0},
        {"system exclusive passed over", File("01 E0", {"00 F0 03 7E 7F F7 83 60 90 3C 64 00 F7 01 00"}), 0.5},
        {"data with no status before it", File("01 E0", {"00 3C 64 83 60 90 3C 64"}), 0.0},
        {"a length of five bytes", File("01 E0", {"FF FF FF FF 7F 90 3C 64"}), 0.0},
        {"an event cut short", File("01 E0", {"83 60 90 3C 64 87 40 FF 51 09 0F"}), 1.5},
        {"a time with no event after it", File("01 E0", {"83 60"}), 0.5},
        {"a meta event cut before its type", File("01 E0", {"83 60 FF"}), 0.5},
        {"system exclusive longer than its track", File("01 E0", {"83 60 F0 05 7E 87 40"}), 0.5},
        {"system exclusive of a length of five bytes", File("01 E0", {"83 60 F7 FF FF FF FF 7F"}), 0.5},
        {"a tempo of two bytes is no tempo", File("01 E0", {"00 FF 51 02 0F 42 83 60 90 3C 64"}), 0.5},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(midicompose::MusicSeconds(c.file.data(), c.file.size()), c.seconds) << c.what;
    }
}

// Rounded to the nearest step, and held at the ends of the range when louder.
TEST(EncodeWav, RoundsEachSampleAndClipsWhatIsTooLoud) {
    const std::vector<float> left = {0.0f, 0.5f, -0.5f, 1.0f, 1.5f, -1.0f, -1.5f, 0.3f / 32768.0f};
    const std::vector<int> want = {0, 16384, -16384, 32767, 32767, -32768, -32768, 0};
    const Bytes wav = midicompose::EncodeWav(left, std::vector<float>(left.size(), 0.0f), 8000);
    ASSERT_EQ(wav.size(), 44 + 4 * left.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(static_cast<std::int16_t>(wav[44 + 4 * i] | (wav[45 + 4 * i] << 8)), want[i]) << left[i];
    }
}

}  // namespace
