// midicompose --batch FILE: each line composed with the library's own call
// and safe save, on --jobs threads. The file is read a line at a time (a
// bounded queue feeds the threads), failures are one line each on standard
// error, a progress bar redraws on a terminal, and Ctrl-C stops between
// compositions, so every file written is whole.
//
// Divisions: Ctrl-C; the progress bar; the reading of lines (Feed) and the
// summary; the run itself (Batch) and its C entry. One composition and the
// threads' loop are batch_compose.cpp's.
#include "batch.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "batch_clash.h"
#include "batch_lines.h"
#include "batch_run.h"
#include "command_line.h"
#include "messages.h"
#include "midicompose.h"
#include "render_wav.h"

#if defined(_WIN32)
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace midicompose_cli {
namespace {

constexpr int kUsage = EXIT_USAGE, kFailed = 1, kInterrupted = 130;

std::atomic<bool> g_interrupted{false};
extern "C" void OnInterrupt(int) {
    g_interrupted = true;
    std::signal(SIGINT, SIG_DFL);  // a second Ctrl-C ends the process at once
}

std::string Clock(double seconds) {
    const long total = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

// The progress bar: done of total, the rate, the time left; redrawn ten
// times a second at most, on standard error, and only on a terminal.
void Progress(Run& run, std::uint64_t total, std::chrono::steady_clock::time_point start, std::atomic<bool>& stop) {
    while (!stop) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const std::uint64_t done = run.written + run.failed;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double rate = seconds > 0 ? done / seconds : 0;
        char line[160];
        if (total > 0) {
            const int width = 30, filled = static_cast<int>(width * static_cast<double>(done) / total);
            std::string bar(static_cast<std::size_t>(width), '.');
            bar.replace(0, static_cast<std::size_t>(filled), static_cast<std::size_t>(filled), '#');
            std::string left = "?";
            if (rate > 0) left = Clock((total - done) / rate);
            std::snprintf(line, sizeof line, "\r[%s] %llu/%llu  %.0f/s  %s left\033[K", bar.c_str(),
                          static_cast<unsigned long long>(done), static_cast<unsigned long long>(total), rate, left.c_str());
        } else {
            std::snprintf(line, sizeof line, "\r%llu done  %.0f/s\033[K", static_cast<unsigned long long>(done), rate);
        }
        std::lock_guard<std::mutex> hold(run.lock);
        std::fputs(line, stderr);
        std::fflush(stderr);
    }
    std::lock_guard<std::mutex> hold(run.lock);
    std::fputs("\r\033[K", stderr);
}

// Reads the lines and hands the compositions to the threads in bundles;
// from standard input, an output named twice is refused as its line comes.
// Returns the number of the last line read.
std::uint64_t Feed(Run& run, std::FILE* in, bool checkAsRead, bool& clash) {
    std::unordered_map<std::string, std::uint64_t> outputs;
    LineReader reader(in);
    std::string text, why;
    bool tooLong = false;
    std::vector<Job> bundle;
    const auto send = [&] {
        if (bundle.empty()) return;
        std::unique_lock<std::mutex> hold(run.lock);
        run.room.wait(hold, [&] { return run.queue.size() < run.capacity; });
        run.queue.push_back(std::move(bundle));
        hold.unlock();
        run.ready.notify_one();
        bundle.clear();
    };
    while (!g_interrupted && reader.Next(text, tooLong)) {
        Job job;
        job.line = reader.number();
        const LineKind kind = tooLong ? LineKind::Bad : ParseLine(text, job.fields, why);
        if (tooLong) why = "the line is longer than 1 MiB";
        if (kind == LineKind::Skip) continue;
        if (kind == LineKind::Bad) {
            run.Fail(job.line, "BAD_LINE", why);
            continue;
        }
        if (checkAsRead) {
            const auto [earlier, fresh] = outputs.emplace(NormalPath(job.fields.output), job.line);
            if (!fresh) {
                run.Fail(job.line, "SAME_OUTPUT", "line " + std::to_string(earlier->second) + " writes " +
                                                     job.fields.output + " too; not written");
                clash = true;
                continue;
            }
        }
        bundle.push_back(std::move(job));
        if (bundle.size() == kBundle) send();
    }
    send();
    return reader.number();
}

// The workers and the progress bar, ended however the reading ends: the
// queue closed and every thread joined, also when memory runs out while
// reading (a thread left joinable would abort the process).
struct Threads {
    Run& run;
    std::vector<std::thread> workers;
    std::thread progress;
    std::atomic<bool> stopProgress{false};
    ~Threads() {
        {
            std::lock_guard<std::mutex> hold(run.lock);
            run.closed = true;
        }
        run.ready.notify_all();
        for (std::thread& worker : workers) worker.join();
        stopProgress = true;
        if (progress.joinable()) progress.join();
    }
};

// The summary line: written, failed, warnings, the time and the rate.
void Summarize(const Run& run, std::chrono::steady_clock::time_point start, std::uint64_t lastRead) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::uint64_t written = run.written, failed = run.failed, warnings = run.warnings;
    std::fprintf(stderr, "batch: %llu written, %llu failed, %llu warning%s, %.2f s, %.0f a second",
                 static_cast<unsigned long long>(written), static_cast<unsigned long long>(failed),
                 static_cast<unsigned long long>(warnings), warnings == 1 ? "" : "s", seconds,
                 seconds > 0 ? (written + failed) / seconds : 0.0);
    if (g_interrupted) std::fprintf(stderr, "; interrupted: stopped after line %llu", static_cast<unsigned long long>(lastRead));
    std::fputs("\n", stderr);
}

int Batch(const Options& options) {
    const bool fromStdin = std::strcmp(options.batch, "-") == 0;
    const char* name = fromStdin ? "<stdin>" : options.batch;
    std::FILE* in = fromStdin ? stdin : std::fopen(options.batch, "rb");
    if (in == nullptr) {
        std::fprintf(stderr, "midicompose: cannot read the batch file %s: %s\n", name, std::strerror(errno));
        return kUsage;
    }
    struct Closer {
        std::FILE* file;
        bool own;
        ~Closer() { if (own) std::fclose(file); }
    } closer{in, !fromStdin};

    Run run(options, name, g_interrupted);
    if (options.wav != nullptr && LoadAudioLibrary(&run.audio, "--wav") != 0) return EXIT_NO_AUDIO;
    // A file is read twice: first for clashing outputs and the total.
    std::uint64_t total = 0;
    const bool seekable = !fromStdin && Seek(in, 0) == 0;
    if (seekable) {
        if (!CheckOutputs(in, name, total)) return kUsage;
        std::rewind(in);
    }

    g_interrupted = false;
    const auto previous = std::signal(SIGINT, OnInterrupt);
    const auto start = std::chrono::steady_clock::now();
    run.bar = isatty(fileno(stderr)) != 0;
    bool clash = false;
    std::uint64_t lastRead = 0;
    {
        Threads threads{run, {}, {}};
        if (run.bar) threads.progress = std::thread(Progress, std::ref(run), total, start, std::ref(threads.stopProgress));
        for (unsigned i = 0; i < run.jobs; ++i) threads.workers.emplace_back(Work, std::ref(run));
        lastRead = Feed(run, in, !seekable, clash);
    }
    const bool readFailed = std::ferror(in) != 0;
    std::signal(SIGINT, previous);

    Summarize(run, start, lastRead);
    if (readFailed) {
        std::fprintf(stderr, "midicompose: reading %s failed\n", name);
        return kUsage;
    }
    if (g_interrupted) return kInterrupted;
    if (clash) return kUsage;
    return run.failed > 0 ? kFailed : 0;
}

}  // namespace
}  // namespace midicompose_cli

extern "C" int RunBatch(const CommandLine* line) {
    try {
        return midicompose_cli::Batch(*line);
    } catch (const std::exception& error) {
        // Memory ran out, or a thread could not be started.
        const bool memory = dynamic_cast<const std::bad_alloc*>(&error) != nullptr;
        std::fprintf(stderr, "Error: %s\n", memory ? MIDIComposeStatusMessage(COMPOSE_NO_MEMORY) : error.what());
        return midicompose_cli::kFailed;
    }
}
