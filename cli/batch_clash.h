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
// which lines) when two lines name one output; compositions counts the
// lines that compose.
bool CheckOutputs(std::FILE* in, const char* name, std::uint64_t& compositions);

}  // namespace midicompose_cli

#endif
