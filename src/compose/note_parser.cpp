// The two note notations: compact letters ("FACE") and beat notation
// ("C:2 E:1 G:1 C5:2").
#include <algorithm>
#include <cstring>
#include <new>

#include "compose.h"

namespace midicompose {
namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// Stores a note; false (nothing stored) when its name cannot be allocated.
bool StoreNote(NoteEntry& entry, const char* name, std::size_t length, float beats) {
    char* copy = new (std::nothrow) char[length + 1];
    if (copy == nullptr) return false;
    std::memcpy(copy, name, length);
    copy[length] = '\0';
    entry.name.reset(copy);
    entry.beats = beats;
    return true;
}

int Capacity(int max) { return std::clamp(max, 0, kMaxNotes); }

}  // namespace

int ParseCompactNotes(const char* text, NoteList& list, int max, float defaultBeats) {
    const int limit = Capacity(max);
    int count = 0;
    for (const char* p = text; *p != '\0' && count < limit; ++p) {
        if (IsAsciiLetter(*p) && StoreNote(list.entries[count], p, 1, defaultBeats)) ++count;
    }
    return count;
}

int ParseBeatNotes(const char* text, NoteList& list, int max, float defaultBeats) {
    const int limit = Capacity(max);
    int count = 0;
    const char* p = text;
    // The scan keeps its position here, per call, so overlapping calls are safe.
    while (count < limit) {
        while (*p != '\0' && IsSeparator(*p)) ++p;
        if (*p == '\0') break;
        const char* const token = p;
        while (*p != '\0' && !IsSeparator(*p)) ++p;

        const char* colon = static_cast<const char*>(std::memchr(token, ':', static_cast<std::size_t>(p - token)));
        const char* nameEnd = colon != nullptr ? colon : p;
        float beats = defaultBeats;
        if (colon != nullptr) {
            const float given = NarrowToFloat(ParseDecimal(colon + 1, p));
            if (given > 0.0f) beats = given;  // zero, negative or no number: the default
        }
        if (StoreNote(list.entries[count], token, static_cast<std::size_t>(nameEnd - token), beats)) ++count;
    }
    return count;
}

int ParseNotes(const char* text, NoteList& list, int max, float defaultBeats) {
    if (std::strchr(text, ' ') != nullptr) return ParseBeatNotes(text, list, max, defaultBeats);
    return ParseCompactNotes(text, list, max, defaultBeats);
}

void FreeNoteNames(NoteList& list, int n) {
    for (int i = 0; i < std::min(n, kMaxNotes); ++i) list.entries[i].name.reset();
}

}  // namespace midicompose
