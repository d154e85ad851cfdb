// The lines of a batch file: read one at a time, whatever the file's size,
// and split into the fields of one composition.
#ifndef MIDICOMPOSE_CLI_BATCH_LINES_H
#define MIDICOMPOSE_CLI_BATCH_LINES_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace midicompose_cli {

// A line longer than this is a failure of that line, not of the run.
constexpr std::size_t kMaxLine = 1 << 20;

// Reads lines from a stream it does not own; keeps one line in memory.
class LineReader {
public:
    explicit LineReader(std::FILE* in) : in_(in) {}
    // The next line without its line break (and carriage return); false at
    // the end. tooLong: the line passed kMaxLine bytes, and `line` holds
    // only its start.
    bool Next(std::string& line, bool& tooLong);
    std::uint64_t number() const { return number_; }  // of the line last read, from 1
    // Where the next line starts, for a stream that can seek.
    long long offset() const { return offset_; }

private:
    std::FILE* in_;
    std::uint64_t number_ = 0;
    long long offset_ = 0;
};

// One composition: NOTES<TAB>OUTPUT[<TAB>INSTRUMENT[<TAB>BEATS]], with the
// command line's defaults.
struct BatchLine {
    std::string notes, output, instrument = "piano", beats = "1.0";
};

enum class LineKind { Composition, Skip, Bad };

// Splits a line. Empty lines and lines starting with # are skipped; a bad
// line sets `why`.
LineKind ParseLine(const std::string& text, BatchLine& line, std::string& why);

}  // namespace midicompose_cli

#endif
