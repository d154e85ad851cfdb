// What the library says of itself: its version, the names and words of its
// statuses, the names of its warnings and arguments, and its instrument
// table. The bindings and the command read these instead of keeping copies
// of their own.
#include "c_result.h"
#include "instruments.h"
#include "midicompose.h"

namespace midicompose {
namespace {

#define MIDICOMPOSE_TEXT(x) #x
#define MIDICOMPOSE_VERSION_TEXT(major, minor, patch) \
    MIDICOMPOSE_TEXT(major) "." MIDICOMPOSE_TEXT(minor) "." MIDICOMPOSE_TEXT(patch)
constexpr const char kVersion[] =
    MIDICOMPOSE_VERSION_TEXT(MIDICOMPOSE_VERSION_MAJOR, MIDICOMPOSE_VERSION_MINOR, MIDICOMPOSE_VERSION_PATCH);

// Each status with the words its messages begin with, after "Error: ".
constexpr StatusRow kStatuses[] = {
    MIDICOMPOSE_STATUS_SAYING(COMPOSE_OK, "MIDI file created successfully"),
    MIDICOMPOSE_STATUS_SAYING(COMPOSE_BAD_BEATS, "Invalid beats value"),
    MIDICOMPOSE_STATUS_SAYING(COMPOSE_BAD_INSTRUMENT, "Invalid instrument"),
    MIDICOMPOSE_STATUS_SAYING(COMPOSE_NO_MEMORY, "Memory allocation failed"),
    MIDICOMPOSE_STATUS_SAYING(COMPOSE_NO_NOTES, "No valid notes found in input"),
    MIDICOMPOSE_STATUS_SAYING(COMPOSE_NO_WRITER, "Failed to create MIDI writer"),
    MIDICOMPOSE_STATUS_SAYING(COMPOSE_ADD_NOTE_FAILED, "Failed to add note"),
    MIDICOMPOSE_STATUS_SAYING(COMPOSE_SAVE_FAILED, "Failed to create MIDI file"),
    MIDICOMPOSE_STATUS_SAYING(COMPOSE_TOO_LONG, "Composition too long"),
    MIDICOMPOSE_STATUS_SAYING(COMPOSE_SCORE_TOO_LONG, "Score too long"),
};

// Names without the COMPOSE_WARN_ prefix: the codes as users read them.
#define MIDICOMPOSE_WARNING_ROW(name) {COMPOSE_WARN_##name, #name, nullptr}
constexpr StatusRow kWarnings[] = {
    MIDICOMPOSE_WARNING_ROW(SKIPPED_CHARACTERS), MIDICOMPOSE_WARNING_ROW(NOTES_DROPPED),
    MIDICOMPOSE_WARNING_ROW(UNKNOWN_LETTER),     MIDICOMPOSE_WARNING_ROW(SHARP_OR_FLAT),
    MIDICOMPOSE_WARNING_ROW(IGNORED_CHARACTERS), MIDICOMPOSE_WARNING_ROW(KEY_CLAMPED),
    MIDICOMPOSE_WARNING_ROW(LENGTH_IGNORED),     MIDICOMPOSE_WARNING_ROW(LENGTH_TRAILING),
    MIDICOMPOSE_WARNING_ROW(ZERO_LENGTH),        MIDICOMPOSE_WARNING_ROW(LENGTH_ROUNDED),
    MIDICOMPOSE_WARNING_ROW(TRAILING_TEXT),
};

constexpr StatusRow kArguments[] = {
    {COMPOSE_ARGUMENT_NOTES, "notes", nullptr},
    {COMPOSE_ARGUMENT_BEATS, "beats", nullptr},
    {COMPOSE_ARGUMENT_INSTRUMENT, "instrument", nullptr},
};

}  // namespace
}  // namespace midicompose

extern "C" MIDICOMPOSE_API const char* MIDIComposeVersion(void) { return midicompose::kVersion; }

extern "C" MIDICOMPOSE_API const char* MIDIComposeStatusName(int status) {
    return midicompose::StatusName(midicompose::kStatuses, status);
}

extern "C" MIDICOMPOSE_API const char* MIDIComposeStatusMessage(int status) {
    return midicompose::StatusMessage(midicompose::kStatuses, status);
}

extern "C" MIDICOMPOSE_API const char* MIDIComposeWarningName(int code) {
    return midicompose::StatusName(midicompose::kWarnings, code);
}

extern "C" MIDICOMPOSE_API const char* MIDIComposeArgumentName(int argument) {
    return midicompose::StatusName(midicompose::kArguments, argument);
}

extern "C" MIDICOMPOSE_API const char* MIDIComposeInstrument(size_t index, int* program) {
    if (index >= midicompose::kInstrumentCount) return nullptr;
    const midicompose::InstrumentRow& row = midicompose::InstrumentTable[index];
    if (program != nullptr) *program = row.program;
    return row.name;
}
