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

int Capacity(int max) { return std::clamp(max, 0, kMaxNotes); }

// Appends names to the list's name store, which the caller sized.
class NameStore {
public:
    explicit NameStore(NoteList& list, std::size_t bytes) : list_(list) {
        list_.names.reset(new (std::nothrow) char[bytes]);
        next_ = list_.names.get();
    }
    bool ok() const { return next_ != nullptr; }
    void Store(int index, const char* name, std::size_t length, float beats) {
        NoteEntry& entry = list_.entries[index];
        entry.name = next_;
        entry.length = length;
        entry.beats = beats;
        // Names are a letter or two: a loop beats a call to memcpy.
        for (std::size_t i = 0; i < length; ++i) *next_++ = name[i];
        *next_++ = '\0';
    }

private:
    NoteList& list_;
    char* next_;
};

}  // namespace

int ParseCompactNotes(const char* text, NoteList& list, int max, float defaultBeats) {
    const int limit = Capacity(max);
    NameStore names(list, 2 * static_cast<std::size_t>(limit) + 1);  // a letter and its NUL per note
    if (!names.ok()) return 0;
    int count = 0;
    for (const char* p = text; *p != '\0' && count < limit; ++p) {
        if (IsAsciiLetter(*p)) names.Store(count++, p, 1, defaultBeats);
    }
    return count;
}

int ParseBeatNotes(const char* text, NoteList& list, int max, float defaultBeats) {
    const int limit = Capacity(max);
    // Each name is part of a token and tokens are at least one separator
    // apart, so the names and their NULs fit in the text's own length + 1.
    NameStore names(list, std::strlen(text) + 1);
    if (!names.ok()) return 0;
    int count = 0;
    const char* p = text;
    // The scan keeps its position here, per call, so overlapping calls are safe.
    while (count < limit) {
        while (*p != '\0' && IsSeparator(*p)) ++p;
        if (*p == '\0') break;
        const char* const token = p;
        const char* colon = nullptr;  // the first one splits name and length
        for (; *p != '\0' && !IsSeparator(*p); ++p) {
            if (*p == ':' && colon == nullptr) colon = p;
        }
        const char* nameEnd = colon != nullptr ? colon : p;
        float beats = defaultBeats;
        if (colon != nullptr) {
            const float given = NarrowToFloat(ParseDecimal(colon + 1, p));
            if (given > 0.0f) beats = given;  // zero, negative or no number: the default
        }
        names.Store(count++, token, static_cast<std::size_t>(nameEnd - token), beats);
    }
    return count;
}

int ParseNotes(const char* text, NoteList& list, int max, float defaultBeats) {
    if (std::strchr(text, ' ') != nullptr) return ParseBeatNotes(text, list, max, defaultBeats);
    return ParseCompactNotes(text, list, max, defaultBeats);
}

void FreeNoteNames(NoteList& list, int n) {
    for (int i = 0; i < std::min(n, kMaxNotes); ++i) list.entries[i].name = nullptr;
    list.names.reset();
}

}  // namespace midicompose
