// Overlapping calls on many threads write exactly what one thread writes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "midicompose.h"
#include "test_support.h"

using namespace testing_support;

namespace {

constexpr int kThreads = 8;
constexpr int kCallsPerThread = 250;

const char16_t* const kNotes[] = {u"C:2 E:1 G:1 C5:2", u"FACE", u"C D:0.5 E:1.5 F G A B C5", u"A9 B9 C0 Db H"};
const char16_t* const kInstruments[] = {u"violin", u"piano", u"drums", u"Harpsichord"};

int Compose(int variant, const std::string& path) {
    const std::u16string p = Utf16(path);
    return MIDICompose(kNotes[variant % 4], p.c_str(), kInstruments[variant % 4], u"1.0");
}

TEST(Threads, EightThreadsWriteTheSameBytesAsOne) {
    TempDir dir;
    std::vector<Bytes> serial;
    {
        CapturedOutput quiet;
        for (int v = 0; v < 4; ++v) {
            const std::string path = dir.File("serial" + std::to_string(v) + ".mid");
            ASSERT_EQ(Compose(v, path), COMPOSE_OK);
            serial.push_back(ReadBytes(path));
        }
    }
    std::vector<int> failures(kThreads, 0);
    {
        CapturedOutput quiet;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < kCallsPerThread; ++i) {
                    const int variant = t + i;
                    const std::string path = dir.File("t" + std::to_string(t) + "-" + std::to_string(i % 8) + ".mid");
                    if (Compose(variant, path) != COMPOSE_OK || ReadBytes(path) != serial[variant % 4]) ++failures[t];
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
    }
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
    EXPECT_EQ(dir.Entries().size(), 4u + kThreads * 8u);  // no temporary file left behind
}

}  // namespace
