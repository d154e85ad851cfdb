// What the library says of itself: its version, the names of its statuses
// and its instrument table. The bindings and the command read these instead
// of keeping copies of their own.
#include "instruments.h"
#include "midicompose.h"

namespace midicompose {
namespace {

#define MIDICOMPOSE_TEXT(x) #x
#define MIDICOMPOSE_VERSION_TEXT(major, minor, patch) \
    MIDICOMPOSE_TEXT(major) "." MIDICOMPOSE_TEXT(minor) "." MIDICOMPOSE_TEXT(patch)
constexpr const char kVersion[] =
    MIDICOMPOSE_VERSION_TEXT(MIDICOMPOSE_VERSION_MAJOR, MIDICOMPOSE_VERSION_MINOR, MIDICOMPOSE_VERSION_PATCH);

struct StatusRow {
    int status;
    const char* name;
};

#define MIDICOMPOSE_STATUS(name) {name, #name}
constexpr StatusRow kStatuses[] = {
    MIDICOMPOSE_STATUS(COMPOSE_OK),
    MIDICOMPOSE_STATUS(COMPOSE_BAD_BEATS),
    MIDICOMPOSE_STATUS(COMPOSE_BAD_INSTRUMENT),
    MIDICOMPOSE_STATUS(COMPOSE_NO_MEMORY),
    MIDICOMPOSE_STATUS(COMPOSE_NO_NOTES),
    MIDICOMPOSE_STATUS(COMPOSE_NO_WRITER),
    MIDICOMPOSE_STATUS(COMPOSE_ADD_NOTE_FAILED),
    MIDICOMPOSE_STATUS(COMPOSE_SAVE_FAILED),
    MIDICOMPOSE_STATUS(COMPOSE_TOO_LONG),
};
#undef MIDICOMPOSE_STATUS

}  // namespace
}  // namespace midicompose

extern "C" MIDICOMPOSE_API const char* MIDIComposeVersion(void) { return midicompose::kVersion; }

extern "C" MIDICOMPOSE_API const char* MIDIComposeStatusName(int status) {
    for (const midicompose::StatusRow& row : midicompose::kStatuses) {
        if (row.status == status) return row.name;
    }
    return nullptr;
}

extern "C" MIDICOMPOSE_API const char* MIDIComposeInstrument(size_t index, int* program) {
    if (index >= midicompose::kInstrumentCount) return nullptr;
    const midicompose::InstrumentRow& row = midicompose::InstrumentTable[index];
    if (program != nullptr) *program = row.program;
    return row.name;
}
