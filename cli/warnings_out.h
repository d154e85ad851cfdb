/* The warnings of a composition as the command prints them, one a line,
 * "PLACE:COLUMN: warning: MESSAGE [CODE]", as compilers write theirs so
 * that editors can jump to the place. */
#ifndef MIDICOMPOSE_CLI_WARNINGS_OUT_H
#define MIDICOMPOSE_CLI_WARNINGS_OUT_H

#include <stddef.h>
#include <stdio.h>

#include "midicompose.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The 1-based column, in characters, of byte `start` of a UTF-8 text. */
size_t CharacterColumn(const char* text, size_t start);

/* Prints one warning at PLACE:COLUMN; `kind` is "warning", or "error"
 * under --strict. */
void PrintWarning(FILE* out, const char* place, size_t column, const char* kind, const MIDIComposeWarning* warning);

#ifdef __cplusplus
}
#endif

#endif
