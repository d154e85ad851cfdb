#include "batch_lines.h"

#include <cstring>

#if defined(_WIN32)
#define GetChar _getc_nolock
#else
#define GetChar getc_unlocked  // one thread reads a stream
#endif

namespace midicompose_cli {

bool LineReader::Next(std::string& line, bool& tooLong) {
    line.clear();
    tooLong = false;
    bool any = false;
    for (int c; (c = GetChar(in_)) != EOF;) {
        ++offset_;
        any = true;
        if (c == '\n') break;
        if (line.size() < kMaxLine) {
            line.push_back(static_cast<char>(c));
        } else {
            tooLong = true;  // the rest is read past, not kept
        }
    }
    if (!any) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    ++number_;
    return true;
}

LineKind ParseLine(const std::string& text, BatchLine& line, std::string& why) {
    if (text.empty() || text[0] == '#') return LineKind::Skip;
    if (text.find('\0') != std::string::npos) {
        why = "the line holds a NUL byte";
        return LineKind::Bad;
    }
    std::string* fields[4] = {&line.notes, &line.output, &line.instrument, &line.beats};
    std::size_t start = 0, count = 0;
    for (;;) {
        const std::size_t tab = text.find('\t', start);
        if (count == 4) {
            why = "more than four fields (NOTES, OUTPUT, INSTRUMENT, BEATS)";
            return LineKind::Bad;
        }
        fields[count++]->assign(text, start, tab == std::string::npos ? std::string::npos : tab - start);
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    if (count < 2 || line.output.empty()) {
        why = "expected NOTES<TAB>OUTPUT[<TAB>INSTRUMENT[<TAB>BEATS]]";
        return LineKind::Bad;
    }
    return LineKind::Composition;
}

}  // namespace midicompose_cli
