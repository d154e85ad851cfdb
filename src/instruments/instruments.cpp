#include "instruments.h"

#include <climits>

namespace midicompose {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Case-insensitive for ASCII letters, exact otherwise. Compared in place, so a
// lookup never allocates and so can never fail for want of memory.
bool NameEquals(const char* text, const char* name) {
    for (; *text != '\0' && *name != '\0'; ++text, ++name) {
        if (LowerAscii(*text) != *name) return false;
    }
    return *text == *name;
}

}  // namespace

int LookupInstrumentByName(const char* text) {
    if (text == nullptr) return -1;
    for (std::size_t i = 0; i < kInstrumentCount; ++i) {
        if (NameEquals(text, InstrumentTable[i].name)) return InstrumentTable[i].program;
    }
    return -1;
}

int ResolveInstrument(const char* text, std::size_t* digits) {
    if (digits != nullptr) *digits = 0;
    if (text == nullptr) return 0;
    if (*text < '0' || *text > '9') return LookupInstrumentByName(text);
    // The leading digits are the number; whatever follows them is ignored.
    long long value = 0;
    for (const char* p = text; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > INT_MAX) return -1;  // too large for an int: never a program
        if (digits != nullptr) ++*digits;
    }
    return value <= 127 ? static_cast<int>(value) : -1;
}

const char* InstrumentNameForProgram(int program) {
    const unsigned low = static_cast<unsigned>(program) & 0xFFu;
    for (std::size_t i = 0; i < kInstrumentCount; ++i) {
        if (InstrumentTable[i].program == low) return InstrumentTable[i].name;
    }
    return "unknown";
}

}  // namespace midicompose
