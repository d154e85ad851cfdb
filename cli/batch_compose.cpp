// One line of a batch composed, its warnings, failures and sound reported;
// and the threads' loop that takes the lines from the queue.
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "batch_run.h"
#include "messages.h"
#include "midicompose.h"
#include "score_out.h"
#include "warnings_out.h"

namespace midicompose_cli {
namespace {

// Where --wav and --musicxml put a composition's sound and score: OUTPUT
// with `extension` for .mid or .midi.
std::string BesidePath(const std::string& output, const char* extension) {
    const std::size_t dot = output.find_last_of('.'), slash = output.find_last_of("/\\");
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
        std::string own = output.substr(dot);
        for (char& c : own) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (own == ".mid" || own == ".midi") return output.substr(0, dot) + extension;
    }
    return output + extension;
}

// What the library says when memory runs out, in its words.
std::string NoMemory() { return std::string("Error: ") + MIDIComposeStatusMessage(COMPOSE_NO_MEMORY); }

// The library's message on one line: its lines joined, the line breaks
// that frame them dropped.
std::string OneLine(const char* text) {
    std::string line;
    for (const char* p = text != nullptr ? text : ""; *p != '\0'; ++p) {
        if (*p == '\n') {
            if (!line.empty() && p[1] != '\0') line += "; ";
        } else {
            line += *p;
        }
    }
    return line.empty() ? NoMemory() : line;
}

// The 1-based column of a warning in its line, NOTES<TAB>OUTPUT<TAB>
// INSTRUMENT<TAB>BEATS, in characters.
std::size_t LineColumn(const BatchLine& f, const MIDIComposeWarning& w) {
    const auto characters = [](const std::string& text) { return CharacterColumn(text.c_str(), text.size()) - 1; };
    if (w.argument == COMPOSE_ARGUMENT_NOTES) return CharacterColumn(f.notes.c_str(), w.start);
    const std::size_t instrument = characters(f.notes) + 1 + characters(f.output) + 1;
    if (w.argument == COMPOSE_ARGUMENT_INSTRUMENT) return instrument + CharacterColumn(f.instrument.c_str(), w.start);
    return instrument + characters(f.instrument) + 1 + CharacterColumn(f.beats.c_str(), w.start);
}

void PrintWarnings(Run& run, const Job& job, const MIDIComposeResult& result, const char* kind) {
    if (result.warningCount == 0) return;
    const std::string place = std::string(run.name) + ":" + std::to_string(job.line);
    std::lock_guard<std::mutex> hold(run.lock);
    for (std::size_t i = 0; i < result.warningCount; ++i) {
        if (run.bar && i == 0) std::fputs("\r\033[K", stderr);
        PrintWarning(stderr, place.c_str(), LineColumn(job.fields, result.warnings[i]), kind, &result.warnings[i]);
    }
}

// The line's failure, named by its status, with its errors on one line.
void FailAs(Run& run, const Job& job, int status, const char* errors) {
    const char* name = MIDIComposeStatusName(status);
    run.Fail(job.line, name != nullptr ? name : "UNKNOWN", OneLine(errors));
}

// --musicxml: the line's score beside its OUTPUT; false when it failed.
bool Scored(Run& run, const Job& job, const MIDIComposeResult& result) {
    const std::string place = std::string(run.name) + ":" + std::to_string(job.line);
    const std::string path = BesidePath(job.fields.output, ".musicxml");
    std::lock_guard<std::mutex> hold(run.lock);  // its lines are printed whole
    if (run.bar) std::fputs("\r\033[K", stderr);
    if (WriteScore(&result, path.c_str(), place.c_str(), run.options.noWarnings) == COMPOSE_OK) return true;
    ++run.failed;
    return false;
}

// --strict: the line composed in memory first; with any warning it fails,
// its warnings printed as errors, before anything is written. A line that
// fails in memory is not checked (out of memory its warnings are not known):
// it fails as it did, and nothing is written either.
bool RefusedAsStrict(Run& run, const Job& job) {
    MIDIComposeResult result;
    std::memset(&result, 0, sizeof result);
    result.size = sizeof result;
    const BatchLine& f = job.fields;
    const int status = MIDIComposeUTF8(f.notes.c_str(), nullptr, f.instrument.c_str(), f.beats.c_str(), &result);
    const std::size_t count = result.warningCount;
    PrintWarnings(run, job, result, "error");
    if (count == 0 && status != COMPOSE_OK) FailAs(run, job, status, result.errors);
    MIDIComposeFreeResult(&result);
    if (count == 0) return status != COMPOSE_OK;
    run.warnings += count;
    run.Fail(job.line, "STRICT", std::to_string(count) + (count == 1 ? " warning" : " warnings") + "; not written");
    return true;
}

void Compose(Run& run, const Job& job) {
    if (run.options.strict && RefusedAsStrict(run, job)) return;
    MIDIComposeResult result;
    std::memset(&result, 0, sizeof result);
    result.size = sizeof result;
    const BatchLine& f = job.fields;
    const int status = MIDIComposeUTF8(f.notes.c_str(), f.output.c_str(), f.instrument.c_str(), f.beats.c_str(), &result);
    run.warnings += result.warningCount;
    if (!run.options.noWarnings) PrintWarnings(run, job, result, "warning");
    if (status != COMPOSE_OK) {
        FailAs(run, job, status, result.errors);
    } else {
        if (run.options.verbose) {
            std::lock_guard<std::mutex> hold(run.lock);
            PutText(result.output, stdout);
        }
        bool whole = run.options.musicxml == nullptr || Scored(run, job, result);
        int rendered = RENDER_OK;
        if (whole && run.options.wav != nullptr) {
            MIDIComposeAudio audio;
            std::memset(&audio, 0, sizeof audio);
            audio.size = sizeof audio;
            const std::string wav = BesidePath(f.output, ".wav");
            rendered = run.audio.render(result.data, result.length, run.options.soundfont, 0, wav.c_str(), &audio);
            if (rendered != RENDER_OK) {
                const char* name = run.audio.statusName(rendered);
                run.Fail(job.line, name != nullptr ? name : "UNKNOWN", OneLine(audio.message));
            }
            run.audio.release(&audio);
        }
        if (whole && rendered == RENDER_OK) ++run.written;
    }
    MIDIComposeFreeResult(&result);
}

}  // namespace

void Run::Fail(std::uint64_t line, const char* status, const std::string& message) {
    std::lock_guard<std::mutex> hold(lock);
    const std::string text = std::string(bar ? "\r\033[K" : "") + name + ":" + std::to_string(line) + ": " + status +
                             ": " + message + "\n";
    PutText(text.c_str(), stderr);
    ++failed;
}

void Work(Run& run) {
    for (;;) {
        std::vector<Job> bundle;
        {
            std::unique_lock<std::mutex> hold(run.lock);
            run.ready.wait(hold, [&] { return !run.queue.empty() || run.closed; });
            if (run.queue.empty()) return;
            bundle = std::move(run.queue.front());
            run.queue.pop_front();
        }
        run.room.notify_one();
        for (const Job& job : bundle) {
            if (run.interrupted) break;  // stopping: what is queued is left undone
            try {
                Compose(run, job);
            } catch (...) {  // memory ran out, the only thing that throws here
                run.Fail(job.line, "COMPOSE_NO_MEMORY", NoMemory());
            }
        }
    }
}

}  // namespace midicompose_cli
