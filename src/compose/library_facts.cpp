// What the library says of itself: its version, the names of its statuses
// and its instrument table. The bindings and the command read these instead
// of keeping copies of their own.
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

constexpr StatusRow kStatuses[] = {
    MIDICOMPOSE_STATUS_ROW(COMPOSE_OK),
    MIDICOMPOSE_STATUS_ROW(COMPOSE_BAD_BEATS),
    MIDICOMPOSE_STATUS_ROW(COMPOSE_BAD_INSTRUMENT),
    MIDICOMPOSE_STATUS_ROW(COMPOSE_NO_MEMORY),
    MIDICOMPOSE_STATUS_ROW(COMPOSE_NO_NOTES),
    MIDICOMPOSE_STATUS_ROW(COMPOSE_NO_WRITER),
    MIDICOMPOSE_STATUS_ROW(COMPOSE_ADD_NOTE_FAILED),
    MIDICOMPOSE_STATUS_ROW(COMPOSE_SAVE_FAILED),
    MIDICOMPOSE_STATUS_ROW(COMPOSE_TOO_LONG),
};

}  // namespace
}  // namespace midicompose

extern "C" MIDICOMPOSE_API const char* MIDIComposeVersion(void) { return midicompose::kVersion; }

extern "C" MIDICOMPOSE_API const char* MIDIComposeStatusName(int status) {
    return midicompose::StatusName(midicompose::kStatuses, status);
}

extern "C" MIDICOMPOSE_API const char* MIDIComposeInstrument(size_t index, int* program) {
    if (index >= midicompose::kInstrumentCount) return nullptr;
    const midicompose::InstrumentRow& row = midicompose::InstrumentTable[index];
    if (program != nullptr) *program = row.program;
    return row.name;
}
