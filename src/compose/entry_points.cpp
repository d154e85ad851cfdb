// The exported functions: thin C wrappers around ComposeNotes that convert
// the arguments, hand over or print the results, and never let an exception
// reach a C caller.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "c_result.h"
#include "compose.h"
#include "text_convert.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace midicompose {
namespace {

// What a call prints when memory runs out: nothing allocated for it.
void PrintNoMemory() { std::fprintf(stderr, "Error: %s\n", MIDIComposeStatusMessage(COMPOSE_NO_MEMORY)); }

int UTF16Compose(const MIDIComposeChar* notes, const MIDIComposeChar* outputPath, const MIDIComposeChar* instrument,
                 const MIDIComposeChar* beats) {
    std::string n, p, i, b;
    if (!ConvertArgument(notes, n) || !ConvertArgument(outputPath, p) || !ConvertArgument(instrument, i) ||
        !ConvertArgument(beats, b)) {
        PrintNoMemory();
        return COMPOSE_NO_MEMORY;
    }
    ComposeTexts texts;
    texts.notes = n.c_str();
    texts.path = p.c_str();
    texts.instrument = i.c_str();
    texts.beats = b.c_str();
    Composed out;
    out.output.reserve(1024);
#if defined(_WIN32)
    // The file is opened through the caller's own UTF-16 path, so every
    // Windows path works whatever the ANSI code page can show.
    ComposeNotes(texts, outputPath != nullptr ? outputPath : L"", out);
#else
    ComposeNotes(texts, texts.path, out);
#endif
    std::fwrite(out.output.data(), 1, out.output.size(), stdout);
    std::fputs(out.errors.c_str(), stderr);
    return out.status;
}


// Whether the caller's MIDIComposeResult holds the field.
#define HOLDS(result, field) MIDICOMPOSE_FITS(result, MIDIComposeResult, field)

void ClearResult(MIDIComposeResult* result) {
    if (HOLDS(result, data)) result->data = nullptr;
    if (HOLDS(result, length)) result->length = 0;
    if (HOLDS(result, output)) result->output = nullptr;
    if (HOLDS(result, errors)) result->errors = nullptr;
    if (HOLDS(result, program)) result->program = -1;
    if (HOLDS(result, notes)) result->notes = 0;
    if (HOLDS(result, beats)) result->beats = 0.0;
    if (HOLDS(result, instrument)) result->instrument = nullptr;
    if (HOLDS(result, noteList)) result->noteList = nullptr;
    if (HOLDS(result, noteCount)) result->noteCount = 0;
    if (HOLDS(result, warnings)) result->warnings = nullptr;
    if (HOLDS(result, warningCount)) result->warningCount = 0;
    if (HOLDS(result, places)) result->places = nullptr;
}

// The warnings and their messages in one malloc'd block: the array, then
// the texts it points to. Null when there are none or memory runs out.
MIDIComposeWarning* CopyWarnings(const std::vector<NotationWarning>& warnings) {
    if (warnings.empty()) return nullptr;
    std::size_t bytes = warnings.size() * sizeof(MIDIComposeWarning);
    for (const NotationWarning& w : warnings) bytes += w.message.size() + 1;
    auto* list = static_cast<MIDIComposeWarning*>(std::malloc(bytes));
    if (list == nullptr) return nullptr;
    char* text = reinterpret_cast<char*>(list + warnings.size());
    for (std::size_t i = 0; i < warnings.size(); ++i) {
        const NotationWarning& w = warnings[i];
        list[i] = {w.code, w.argument, w.note, w.start, w.end, text};
        std::memcpy(text, w.message.c_str(), w.message.size() + 1);
        text += w.message.size() + 1;
    }
    return list;
}

// The writer's notes as the file holds them, in a malloc'd array; null when
// memory runs out. Notes are stored in time order.
MIDIComposeNote* CopyNotes(const MIDIWriter& writer) {
    const NoteArray& notes = writer.notes;
    auto* list = static_cast<MIDIComposeNote*>(std::malloc((notes.empty() ? 1 : notes.size()) * sizeof(MIDIComposeNote)));
    if (list == nullptr) return nullptr;
    const int channel = NoteChannel(writer.program);
    for (std::size_t i = 0; i < notes.size(); ++i) {
        list[i].start = notes[i].start;
        list[i].length = notes[i].duration;
        list[i].key = DataByte(notes[i].key);
        list[i].channel = channel;
    }
    return list;
}

// Each note's place in the notes text, in a malloc'd array in the order of
// the note list (the notes are added end to end in the order parsed); null
// when memory runs out.
MIDIComposePlace* CopyPlaces(const NoteList& list, int count) {
    auto* places = static_cast<MIDIComposePlace*>(std::malloc(static_cast<std::size_t>(count) * sizeof(MIDIComposePlace)));
    if (places == nullptr) return nullptr;
    for (int i = 0; i < count; ++i) places[i] = {list.entries[i].start, list.entries[i].end};
    return places;
}

// Hands the composition over; COMPOSE_NO_MEMORY, with nothing handed over,
// when a copy cannot be made.
int HandOver(const Composed& out, MIDIComposeResult* result) {
    unsigned char* data = nullptr;
    char* output = nullptr;
    char* errors = nullptr;
    MIDIComposeNote* noteList = nullptr;
    MIDIComposeWarning* warnings = nullptr;
    MIDIComposePlace* places = nullptr;
    bool ok = true;
    if (HOLDS(result, data) && !out.file.empty()) {
        ok = (data = CopyOut<unsigned char>(out.file.data(), out.file.size(), false)) != nullptr;
    }
    if (ok && HOLDS(result, output)) {
        ok = (output = CopyOut<char>(out.output.data(), out.output.size(), true)) != nullptr;
    }
    if (ok && HOLDS(result, errors)) {
        ok = (errors = CopyOut<char>(out.errors.data(), out.errors.size(), true)) != nullptr;
    }
    if (ok && HOLDS(result, noteList) && out.writer != nullptr) {
        ok = (noteList = CopyNotes(*out.writer)) != nullptr;
    }
    if (ok && HOLDS(result, warnings) && !out.warnings.empty()) {
        ok = (warnings = CopyWarnings(out.warnings)) != nullptr;
    }
    if (ok && HOLDS(result, places) && out.list != nullptr) {
        ok = (places = CopyPlaces(*out.list, out.notes)) != nullptr;
    }
    if (!ok) {
        std::free(data);
        std::free(output);
        std::free(errors);
        std::free(noteList);
        std::free(warnings);
        std::free(places);
        return COMPOSE_NO_MEMORY;
    }
    if (HOLDS(result, data)) result->data = data;
    if (HOLDS(result, length)) result->length = data != nullptr ? out.file.size() : 0;
    if (HOLDS(result, output)) result->output = output;
    if (HOLDS(result, errors)) result->errors = errors;
    if (HOLDS(result, program)) result->program = out.program;
    if (HOLDS(result, notes)) result->notes = out.notes;
    if (HOLDS(result, beats)) result->beats = out.beats;
    if (HOLDS(result, instrument)) result->instrument = out.instrument;
    if (HOLDS(result, noteList)) result->noteList = noteList;
    if (HOLDS(result, noteCount)) result->noteCount = noteList != nullptr ? out.writer->notes.size() : 0;
    if (HOLDS(result, warnings)) result->warnings = warnings;
    if (HOLDS(result, warningCount)) result->warningCount = warnings != nullptr ? out.warnings.size() : 0;
    if (HOLDS(result, places)) result->places = places;
    return out.status;
}

int UTF8Compose(const char* notes, const char* outputPath, const char* instrument, const char* beats,
                MIDIComposeResult* result) {
    if (result != nullptr) ClearResult(result);
    ComposeTexts texts;
    texts.notes = notes != nullptr ? notes : "";
    texts.path = outputPath != nullptr ? outputPath : "";
    texts.instrument = instrument != nullptr ? instrument : "";
    texts.beats = beats != nullptr ? beats : "";
    Composed out;
#if defined(_WIN32)
    const std::wstring wide = outputPath != nullptr ? WidePath(outputPath) : std::wstring();
    // A path that is no UTF-8 opens nothing, as the empty path.
    ComposeNotes(texts, outputPath != nullptr ? wide.c_str() : nullptr, out);
#else
    ComposeNotes(texts, outputPath, out);
#endif
    return result != nullptr ? HandOver(out, result) : out.status;
}

}  // namespace
}  // namespace midicompose

extern "C" MIDICOMPOSE_API int MIDICompose(const MIDIComposeChar* notes, const MIDIComposeChar* outputPath,
                                           const MIDIComposeChar* instrument, const MIDIComposeChar* beats) {
    // Every allocation failure inside the composition is handled where it
    // happens; this is the guarantee that no exception reaches a C caller.
    try {
        return midicompose::UTF16Compose(notes, outputPath, instrument, beats);
    } catch (...) {
        midicompose::PrintNoMemory();
        return COMPOSE_NO_MEMORY;
    }
}

extern "C" MIDICOMPOSE_API int MIDIComposeUTF8(const char* notes, const char* outputPath, const char* instrument,
                                               const char* beats, MIDIComposeResult* result) {
    try {
        return midicompose::UTF8Compose(notes, outputPath, instrument, beats, result);
    } catch (...) {
        if (result != nullptr) {
            MIDIComposeFreeResult(result);
            midicompose::ClearResult(result);
        }
        return COMPOSE_NO_MEMORY;
    }
}

extern "C" MIDICOMPOSE_API void MIDIComposeFreeResult(MIDIComposeResult* result) {
    if (result == nullptr) return;
    MIDICOMPOSE_FREE_FIELD(result, MIDIComposeResult, data);
    if (HOLDS(result, length)) result->length = 0;
    MIDICOMPOSE_FREE_FIELD(result, MIDIComposeResult, output);
    MIDICOMPOSE_FREE_FIELD(result, MIDIComposeResult, errors);
    MIDICOMPOSE_FREE_FIELD(result, MIDIComposeResult, noteList);
    if (HOLDS(result, noteCount)) result->noteCount = 0;
    MIDICOMPOSE_FREE_FIELD(result, MIDIComposeResult, warnings);
    if (HOLDS(result, warningCount)) result->warningCount = 0;
    MIDICOMPOSE_FREE_FIELD(result, MIDIComposeResult, places);
}
