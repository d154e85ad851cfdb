/* midicompose --batch: many compositions in one run, one a line of a
 * tab-separated file, on several threads. */
#ifndef MIDICOMPOSE_CLI_BATCH_H
#define MIDICOMPOSE_CLI_BATCH_H

#include "command_line.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Runs the batch the command line describes and returns the exit status:
 * 0 when every line was composed, 1 when any failed, 2 for an unreadable
 * batch file or two lines naming one output, 130 when interrupted. */
int RunBatch(const CommandLine* line);

#ifdef __cplusplus
}
#endif

#endif
