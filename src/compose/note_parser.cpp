// The two note notations: compact letters ("FACE") and beat notation
// ("C:2 E:1 G:1 C5:2").
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "ascii.h"
#include "compose.h"

namespace midicompose {
namespace {

constexpr std::uint64_t kSeparators = (std::uint64_t{1} << ' ') | (std::uint64_t{1} << '\t') | (std::uint64_t{1} << '\n');
// One shift and test instead of three comparisons: this runs for every byte.
bool InSet(char c, std::uint64_t set) {
    const unsigned u = static_cast<unsigned char>(c);
    return u < 64 && ((set >> u) & 1) != 0;
}
bool IsSeparator(char c) { return InSet(c, kSeparators); }
bool EndsToken(char c) { return InSet(c, kSeparators | 1); }  // a separator or the NUL

int Capacity(int max) { return std::clamp(max, 0, kMaxNotes); }

// Appends names to the list's name store, which the caller sized.
class NameStore {
public:
    explicit NameStore(NoteList& list, std::size_t bytes) : list_(list) {
        list_.names.reset(new (std::nothrow) char[bytes]);
        next_ = list_.names.get();
    }
    bool ok() const { return next_ != nullptr; }
    NoteEntry& Store(int index, const char* name, std::size_t length, float beats) {
        NoteEntry& entry = list_.entries[index];
        entry.name = next_;
        entry.length = length;
        entry.beats = beats;
        // Names are a letter or two: a loop beats a call to memcpy.
        for (std::size_t i = 0; i < length; ++i) *next_++ = name[i];
        *next_++ = '\0';
        return entry;
    }

private:
    NoteList& list_;
    char* next_;
};

// Lengths repeat ("0.5", "1.5"): each text of up to 8 bytes is read once
// per call, and its value and where its number ended are kept for the next
// note that has the same text.
class LengthReader {
public:
    float Read(const char* begin, const char* end, const char** numberEnd) {
        const std::size_t size = static_cast<std::size_t>(end - begin);
        if (size > sizeof(std::uint64_t)) return NarrowToFloat(ParseDecimal(begin, end, numberEnd));
        std::uint64_t text = 0;  // built in a register: through memory, the load would wait for the bytes' stores
        for (std::size_t i = 0; i < size; ++i) text |= std::uint64_t{static_cast<unsigned char>(begin[i])} << (8 * i);
        for (int i = 0; i < used_; ++i) {
            if (seen_[i].text == text) {  // a text holds no NUL: equal keys, equal texts
                *numberEnd = begin + seen_[i].numberEnd;
                return seen_[i].beats;
            }
        }
        const float beats = NarrowToFloat(ParseDecimal(begin, end, numberEnd));
        seen_[used_ < kKept ? used_++ : kKept - 1] = {text, static_cast<std::size_t>(*numberEnd - begin), beats};
        return beats;
    }

private:
    static constexpr int kKept = 4;
    struct Seen {
        std::uint64_t text;
        std::size_t numberEnd;
        float beats;
    } seen_[kKept];
    int used_ = 0;
};

}  // namespace

int ParseCompactNotes(const char* text, NoteList& list, int max, float defaultBeats) {
    const int limit = Capacity(max);
    NameStore names(list, 2 * static_cast<std::size_t>(limit) + 1);  // a letter and its NUL per note
    if (!names.ok()) return 0;
    int count = 0;
    const char* p = text;
    for (; *p != '\0' && count < limit; ++p) {
        if (!IsAsciiLetter(*p)) continue;
        NoteEntry& entry = names.Store(count++, p, 1, defaultBeats);
        entry.start = static_cast<std::size_t>(p - text);
        entry.colon = entry.numberEnd = entry.end = entry.start + 1;
        entry.ownLength = false;
    }
    while (*p != '\0' && !IsAsciiLetter(*p)) ++p;
    list.dropped = *p != '\0' ? static_cast<std::size_t>(p - text) : std::string::npos;
    return count;
}

int ParseBeatNotes(const char* text, NoteList& list, int max, float defaultBeats) {
    const int limit = Capacity(max);
    // Each name is part of a token and tokens are at least one separator
    // apart, so the names and their NULs fit in the text's own length + 1.
    NameStore names(list, std::strlen(text) + 1);
    if (!names.ok()) return 0;
    int count = 0;
    LengthReader lengths;
    const char* p = text;
    // The scan keeps its position here, per call, so overlapping calls are safe.
    while (count < limit) {
        while (IsSeparator(*p)) ++p;
        if (*p == '\0') break;
        const char* const token = p;
        while (!EndsToken(*p) && *p != ':') ++p;
        const char* const nameEnd = p;  // the first colon splits name and length
        const char* numberEnd = p + 1;
        float beats = defaultBeats;
        bool own = false;
        if (*p == ':') {
            while (!EndsToken(*p)) ++p;
            const float given = lengths.Read(nameEnd + 1, p, &numberEnd);
            own = given > 0.0f;  // zero, negative or no number: the default
            if (own) beats = given;
        }
        NoteEntry& entry = names.Store(count++, token, static_cast<std::size_t>(nameEnd - token), beats);
        entry.start = static_cast<std::size_t>(token - text);
        entry.colon = static_cast<std::size_t>(nameEnd - text);
        entry.numberEnd = static_cast<std::size_t>(numberEnd - text);
        entry.end = static_cast<std::size_t>(p - text);
        entry.ownLength = own;
    }
    while (IsSeparator(*p)) ++p;
    list.dropped = *p != '\0' ? static_cast<std::size_t>(p - text) : std::string::npos;
    return count;
}

bool IsBeatNotation(const char* text) { return std::strchr(text, ' ') != nullptr; }

int ParseNotes(const char* text, NoteList& list, int max, float defaultBeats) {
    if (IsBeatNotation(text)) return ParseBeatNotes(text, list, max, defaultBeats);
    return ParseCompactNotes(text, list, max, defaultBeats);
}

void FreeNoteNames(NoteList& list, int n) {
    for (int i = 0; i < std::min(n, kMaxNotes); ++i) list.entries[i].name = nullptr;
    list.names.reset();
}

}  // namespace midicompose
