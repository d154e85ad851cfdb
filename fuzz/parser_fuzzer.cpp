// Fuzzes the note-text parsers and the number reader on their own.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "compose.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const char* const begin = text.c_str();
    const double value = midicompose::ParseDecimal(begin, begin + text.size());
    if (std::isnan(value)) std::abort();

    auto list = std::make_unique<midicompose::NoteList>();
    const int count = midicompose::ParseNotes(begin, *list, midicompose::kMaxNotes, 1.0f);
    if (count < 0 || count > midicompose::kMaxNotes) std::abort();
    for (int i = 0; i < count; ++i) {
        const midicompose::NoteEntry& note = list->entries[i];
        if (note.name == nullptr || !(note.beats > 0.0f)) std::abort();
        if (text.find(note.name) == std::string::npos) std::abort();  // names come from the text
    }
    midicompose::FreeNoteNames(*list, count);
    return 0;
}
