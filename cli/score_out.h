/* --musicxml: a composition's score saved, or written to standard output,
 * and what the score moved said on standard error. */
#ifndef MIDICOMPOSE_CLI_SCORE_OUT_H
#define MIDICOMPOSE_CLI_SCORE_OUT_H

#include "midicompose.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Writes the score of a composition to path ("-": standard output). Prints
 * "score: WHAT MOVED" unless quiet or nothing moved, or the error line on
 * failure; with a place (a batch's FILE:LINE), "PLACE: " before either and
 * the status's name before the error line. Returns the library's status. */
int WriteScore(const MIDIComposeResult* composition, const char* path, const char* place, int quiet);

#ifdef __cplusplus
}
#endif

#endif
