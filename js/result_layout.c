/* Where the fields of MIDIComposeResult, MIDIComposeNote, MIDIComposeWarning, MIDIComposePlace and MIDIComposeScore lie in this build
 * (wasm32), for the JavaScript binding: read from the structures
 * themselves, so no offset is written by hand anywhere. */
#include <stddef.h>

#include "midicompose.h"

#define MIDICOMPOSE_LAYOUT(X)                                                                     \
    X(result, bytes, sizeof(MIDIComposeResult)) X(result, size, offsetof(MIDIComposeResult, size)) \
    X(result, data, offsetof(MIDIComposeResult, data))                                             \
    X(result, length, offsetof(MIDIComposeResult, length))                                         \
    X(result, output, offsetof(MIDIComposeResult, output))                                         \
    X(result, errors, offsetof(MIDIComposeResult, errors))                                         \
    X(result, program, offsetof(MIDIComposeResult, program))                                       \
    X(result, notes, offsetof(MIDIComposeResult, notes))                                           \
    X(result, beats, offsetof(MIDIComposeResult, beats))                                           \
    X(result, instrument, offsetof(MIDIComposeResult, instrument))                                 \
    X(result, noteList, offsetof(MIDIComposeResult, noteList))                                     \
    X(result, noteCount, offsetof(MIDIComposeResult, noteCount))                                   \
    X(result, warnings, offsetof(MIDIComposeResult, warnings))                                     \
    X(result, warningCount, offsetof(MIDIComposeResult, warningCount))                             \
    X(result, places, offsetof(MIDIComposeResult, places))                                         \
    X(place, bytes, sizeof(MIDIComposePlace)) X(place, start, offsetof(MIDIComposePlace, start))   \
    X(place, end, offsetof(MIDIComposePlace, end))                                                 \
    X(warning, bytes, sizeof(MIDIComposeWarning)) X(warning, code, offsetof(MIDIComposeWarning, code)) \
    X(warning, argument, offsetof(MIDIComposeWarning, argument))                                   \
    X(warning, note, offsetof(MIDIComposeWarning, note))                                           \
    X(warning, start, offsetof(MIDIComposeWarning, start))                                         \
    X(warning, end, offsetof(MIDIComposeWarning, end))                                             \
    X(warning, message, offsetof(MIDIComposeWarning, message))                                     \
    X(note, bytes, sizeof(MIDIComposeNote)) X(note, start, offsetof(MIDIComposeNote, start))       \
    X(note, length, offsetof(MIDIComposeNote, length)) X(note, key, offsetof(MIDIComposeNote, key)) \
    X(note, channel, offsetof(MIDIComposeNote, channel))                                           \
    X(score, bytes, sizeof(MIDIComposeScore)) X(score, size, offsetof(MIDIComposeScore, size))     \
    X(score, musicxml, offsetof(MIDIComposeScore, musicxml))                                       \
    X(score, length, offsetof(MIDIComposeScore, length))                                           \
    X(score, measures, offsetof(MIDIComposeScore, measures))                                       \
    X(score, moved, offsetof(MIDIComposeScore, moved))                                             \
    X(score, graceNotes, offsetof(MIDIComposeScore, graceNotes))                                   \
    X(score, leftOut, offsetof(MIDIComposeScore, leftOut))                                         \
    X(score, message, offsetof(MIDIComposeScore, message))

#define MIDICOMPOSE_NAME(group, field, value) #group "." #field " "
#define MIDICOMPOSE_VALUE(group, field, value) (unsigned)(value),

/* "result.bytes result.size ... note.channel ": the names of the values. */
const char* MIDIComposeLayoutNames(void) { return MIDICOMPOSE_LAYOUT(MIDICOMPOSE_NAME); }

/* The values, in the order of the names. */
const unsigned* MIDIComposeLayout(void) {
    static const unsigned values[] = {MIDICOMPOSE_LAYOUT(MIDICOMPOSE_VALUE)};
    return values;
}
