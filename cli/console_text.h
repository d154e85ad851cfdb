/* Text the command prints that may hold any character (reports, messages,
 * warnings: they repeat the user's texts), as UTF-8 bytes to a pipe or file
 * and, on a Windows console, as the characters themselves. */
#ifndef MIDICOMPOSE_CLI_CONSOLE_TEXT_H
#define MIDICOMPOSE_CLI_CONSOLE_TEXT_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Writes the UTF-8 text to stdout or stderr. */
void PutText(const char* text, FILE* stream);

#ifdef __cplusplus
}
#endif

#endif
