// MIDICompose and the writer, measured against the cost of just writing the
// file (floor_bench.cpp times the two side by side for their ratio), the
// in-memory call, the score and the writer alone. Standard output is
// discarded; results go to standard error.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "bench_cases.h"
#include "midi_encode.h"
#include "midicompose.h"

namespace {

using namespace midicompose;
using bench::FileBytes;
using bench::kCases;
using bench::Utf16;

std::string ScratchDirectory() {
    static const std::string directory = [] {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = base + "/midicompose-bench-XXXXXX";
        if (mkdtemp(&pattern[0]) == nullptr) std::abort();
        return pattern;
    }();
    return directory;
}

void BM_MIDICompose(benchmark::State& state) {
    const bench::Case& c = kCases[state.range(0)];
    const std::string path = ScratchDirectory() + "/compose.mid";
    const std::u16string notes = Utf16(c.notes), widePath = Utf16(path);
    for (auto _ : state) {
        if (MIDICompose(notes.c_str(), widePath.c_str(), u"violin", u"1.0") != COMPOSE_OK) {
            state.SkipWithError("MIDICompose failed");
            break;
        }
    }
    state.SetLabel(c.name);
    state.counters["bytes"] = static_cast<double>(FileBytes(path).size());
}
BENCHMARK(BM_MIDICompose)->DenseRange(0, 2);

// The floor: the same bytes to a temporary file, renamed over the target.
void BM_AtomicWriteFloor(benchmark::State& state) {
    const bench::Case& c = kCases[state.range(0)];
    const std::string path = ScratchDirectory() + "/floor.mid";
    const std::string temporary = ScratchDirectory() + "/.floor.tmp";
    const std::u16string notes = Utf16(c.notes), widePath = Utf16(path);
    MIDICompose(notes.c_str(), widePath.c_str(), u"violin", u"1.0");
    const std::vector<std::uint8_t> bytes = FileBytes(path);
    for (auto _ : state) {
        const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()) || close(fd) != 0 ||
            rename(temporary.c_str(), path.c_str()) != 0) {
            state.SkipWithError("write failed");
            break;
        }
    }
    state.SetLabel(c.name);
}
BENCHMARK(BM_AtomicWriteFloor)->DenseRange(0, 2);

// The in-memory entry point, no file at all.
// The in-memory composition, handed back whole; with the second argument 0,
// to a caller built before the notes' places (1.4.0), which pays nothing for them.
void BM_MIDIComposeUTF8InMemory(benchmark::State& state) {
    const bench::Case& c = kCases[state.range(0)];
    const std::size_t size = state.range(1) != 0 ? sizeof(MIDIComposeResult) : offsetof(MIDIComposeResult, places);
    for (auto _ : state) {
        MIDIComposeResult result{};
        result.size = size;
        if (MIDIComposeUTF8(c.notes.c_str(), nullptr, "violin", "1.0", &result) != COMPOSE_OK) {
            state.SkipWithError("MIDIComposeUTF8 failed");
        }
        MIDIComposeFreeResult(&result);
    }
    state.SetLabel(c.name);
}
BENCHMARK(BM_MIDIComposeUTF8InMemory)->ArgsProduct({{0, 1, 2}, {1, 0}});

// The score against the in-memory composition of the same notes, call after
// call: the ratio of the medians (the goal: within 3x for 100 notes).
void BM_ScoreAgainstComposition(benchmark::State& state) {
    const bench::Case& c = kCases[state.range(0)];
    std::vector<double> compose, score;
    std::size_t bytes = 0;
    for (auto _ : state) {
        MIDIComposeResult result{};
        result.size = sizeof result;
        MIDIComposeScore written{};
        written.size = sizeof written;
        const auto t0 = std::chrono::steady_clock::now();
        const int composed = MIDIComposeUTF8(c.notes.c_str(), nullptr, "violin", "1.0", &result);
        const auto t1 = std::chrono::steady_clock::now();
        const int scored = MIDIComposeMusicXML(&result, nullptr, &written);
        const auto t2 = std::chrono::steady_clock::now();
        bytes = written.length;
        MIDIComposeFreeScore(&written);
        MIDIComposeFreeResult(&result);
        if (composed != COMPOSE_OK || scored != COMPOSE_OK) {
            state.SkipWithError("compose or score failed");
            break;
        }
        compose.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        score.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
    }
    std::nth_element(compose.begin(), compose.begin() + static_cast<std::ptrdiff_t>(compose.size() / 2), compose.end());
    std::nth_element(score.begin(), score.begin() + static_cast<std::ptrdiff_t>(score.size() / 2), score.end());
    const double composeUs = compose.empty() ? 0 : compose[compose.size() / 2], scoreUs = score.empty() ? 0 : score[score.size() / 2];
    state.counters["compose_us"] = composeUs;
    state.counters["score_us"] = scoreUs;
    state.counters["ratio"] = composeUs > 0 ? scoreUs / composeUs : 0.0;
    state.counters["bytes"] = static_cast<double>(bytes);
    state.SetLabel(c.name);
}
BENCHMARK(BM_ScoreAgainstComposition)->DenseRange(0, 2)->MinTime(1.0);

// Time per note (shown in seconds with an SI prefix: "18n" is 18 ns).
void NanosecondsPerNote(benchmark::State& state, std::uint32_t n) {
    state.counters["ns_per_note"] = benchmark::Counter(
        n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The writer alone: adding n notes and encoding the whole file in memory.
void BM_WriterEncode(benchmark::State& state) {
    const auto n = static_cast<std::uint32_t>(state.range(0));
    static const char* const kNames[] = {"C", "D", "E", "F", "G", "A", "B", "C5"};
    for (auto _ : state) {
        MIDIWriter* writer = CreateMIDIWriter();
        SetMIDIWriterProgram(writer, 40);
        for (std::uint32_t i = 0; i < n; ++i) AddMIDINote(writer, kNames[i % 8], i * 240u, 240u, 100);
        ByteBuffer file;
        if (!EncodeMIDIFile(writer, file)) state.SkipWithError("encode failed");
        benchmark::DoNotOptimize(file.data());
        FreeMIDIWriter(writer);
    }
    NanosecondsPerNote(state, n);
}
BENCHMARK(BM_WriterEncode)->Arg(10)->Arg(100)->Arg(10000)->Arg(1000000);

// Notes that overlap arrive out of order, so the events must be sorted.
void BM_WriterEncodeOverlapping(benchmark::State& state) {
    const auto n = static_cast<std::uint32_t>(state.range(0));
    for (auto _ : state) {
        MIDIWriter* writer = CreateMIDIWriter();
        for (std::uint32_t i = 0; i < n; ++i) AddMIDINote(writer, "C", i * 240u, 960u, 100);
        ByteBuffer file;
        if (!EncodeMIDIFile(writer, file)) state.SkipWithError("encode failed");
        benchmark::DoNotOptimize(file.data());
        FreeMIDIWriter(writer);
    }
    NanosecondsPerNote(state, n);
}
BENCHMARK(BM_WriterEncodeOverlapping)->Arg(10000)->Arg(1000000);

}  // namespace

int main(int argc, char** argv) {
    // The library's report goes to standard output: discard it, report on stderr.
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    close(null);
    benchmark::Initialize(&argc, argv);
    benchmark::ConsoleReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::string command = "rm -rf '" + ScratchDirectory() + "'";
    return std::system(command.c_str()) == 0 ? 0 : 1;
}
