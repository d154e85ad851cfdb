// The run a batch's threads share: the queue of lines, the console, the
// counts; and the threads' loop, which composes what the queue brings.
#ifndef MIDICOMPOSE_CLI_BATCH_RUN_H
#define MIDICOMPOSE_CLI_BATCH_RUN_H

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "batch_lines.h"
#include "command_line.h"
#include "console_text.h"
#include "render_wav.h"

namespace midicompose_cli {

using Options = CommandLine;

// Lines travel to the threads in bundles of this many: one lock a bundle.
constexpr std::size_t kBundle = 32;

struct Job {
    std::uint64_t line;
    BatchLine fields;
};

// What the threads share.
struct Run {
    const Options& options;
    const char* name;
    const std::atomic<bool>& interrupted;  // Ctrl-C: stop between compositions
    AudioLibrary audio{};
    std::mutex lock;  // the queue, and the console
    std::condition_variable ready, room;
    // Lines travel in bundles: one lock a bundle, not one a line.
    std::deque<std::vector<Job>> queue;
    bool closed = false;
    std::atomic<std::uint64_t> written{0}, failed{0}, warnings{0};
    std::size_t capacity;
    bool bar = false;  // a progress bar is on the terminal's last line

    unsigned jobs;

    Run(const Options& o, const char* n, const std::atomic<bool>& stop)
        : options(o), name(n), interrupted(stop), capacity(4 * Jobs(o)), jobs(Jobs(o)) {}

    static unsigned Jobs(const Options& o) { return o.jobs != 0 ? o.jobs : std::max(1u, std::thread::hardware_concurrency()); }

    // Reports a line as failed, on a line of its own, and counts it.
    void Fail(std::uint64_t line, const char* status, const std::string& message);
};

// A thread's loop: composes the bundles of the queue until it is closed and
// empty, or Ctrl-C was pressed.
void Work(Run& run);

}  // namespace midicompose_cli

#endif
