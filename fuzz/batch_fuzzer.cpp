// Fuzzes the batch reader on any file: lines, tabs, comments, clashing
// outputs. Every line of the input is read, once, as it is (less its line
// break and one carriage return); a composition has two to four fields
// without tabs that join back into its line; and the clash check finds two
// lines naming one output exactly when a plain set of their outputs does.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "batch_clash.h"
#include "batch_lines.h"

using namespace midicompose_cli;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> expected;
    for (std::size_t at = 0; at < input.size();) {
        const std::size_t end = input.find('\n', at);
        std::string line = input.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        expected.push_back(line.substr(0, kMaxLine));
        at = end == std::string::npos ? input.size() : end + 1;
    }
    std::FILE* in = std::tmpfile();
    if (in == nullptr || std::fwrite(input.data(), 1, input.size(), in) != input.size()) std::abort();
    std::rewind(in);

    LineReader reader(in);
    std::string text, why;
    bool tooLong = false;
    std::set<std::string> outputs;
    bool twice = false;
    std::uint64_t counted = 0;  // the lines composed or failed: all but blank lines and comments
    for (std::size_t i = 0; reader.Next(text, tooLong); ++i) {
        if (i >= expected.size() || text != expected[i] || reader.number() != i + 1) std::abort();
        BatchLine line;
        const LineKind kind = tooLong ? LineKind::Bad : ParseLine(text, line, why);
        counted += kind != LineKind::Skip;
        if (kind != LineKind::Composition) continue;
        std::string joined = line.notes + "\t" + line.output;
        for (const std::string* field : {&line.instrument, &line.beats}) {
            if (joined.size() < text.size()) joined += "\t" + *field;
        }
        if (joined != text || line.output.empty() || line.output.find('\t') != std::string::npos) std::abort();
        twice |= !outputs.insert(NormalPath(line.output)).second;
    }
    if (reader.number() != expected.size()) std::abort();
    std::rewind(in);
    std::uint64_t total = 0;
    if (CheckOutputs(in, "fuzz", total) == twice || total != counted) std::abort();
    std::fclose(in);
    return 0;
}
