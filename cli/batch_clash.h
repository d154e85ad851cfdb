// Two lines of a batch naming one output, found before anything is written.
#ifndef MIDICOMPOSE_CLI_BATCH_CLASH_H
#define MIDICOMPOSE_CLI_BATCH_CLASH_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace midicompose_cli {

// An output as the clash checks compare it: "./a.mid" and "a.mid" are one file.
std::string NormalPath(const std::string& path);

// Moves to a position in a file, past 2 GiB too; 0 on success.
int Seek(std::FILE* f, long long at);

// A first pass over a file that can be read twice: false (after saying
// which lines) when two lines name one output; `lines` counts the lines the
// run will compose or fail, all but blank lines and comments.
bool CheckOutputs(std::FILE* in, const char* name, std::uint64_t& lines);

}  // namespace midicompose_cli

#endif
