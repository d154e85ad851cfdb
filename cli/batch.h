/* midicompose --batch: many compositions in one run, one a line of a
 * tab-separated file, on several threads. */
#ifndef MIDICOMPOSE_CLI_BATCH_H
#define MIDICOMPOSE_CLI_BATCH_H

#ifdef __cplusplus
extern "C" {
#endif

/* Whether the arguments ask for a batch (--batch anywhere among them). */
int IsBatch(int argc, char** argv);

/* Runs the batch the arguments describe and returns the exit status: 0 when
 * every line was composed, 1 when any failed, 2 for a usage error, an
 * unreadable batch file or two lines naming one output, 130 when
 * interrupted. */
int RunBatch(int argc, char** argv);

#ifdef __cplusplus
}
#endif

#endif
