/* The command's arguments: one option table and one parser for a single
 * composition and for --batch, so each option means the same in both. */
#ifndef MIDICOMPOSE_CLI_COMMAND_LINE_H
#define MIDICOMPOSE_CLI_COMMAND_LINE_H

#include <stdio.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef enum CommandMode { MODE_COMPOSE, MODE_BATCH, MODE_HELP, MODE_VERSION, MODE_LIST } CommandMode;

typedef struct CommandLine {
    CommandMode mode;
    const char* positional[4]; /* NOTES OUTPUT INSTRUMENT BEATS; the last two default to piano and 1.0 */
    const char* wav;           /* --wav: the WAV file of a composition ("-": standard output); with --batch
                                  "" (each beside its OUTPUT); NULL without --wav */
    const char* soundfont;     /* --soundfont, or NULL */
    const char* musicxml;      /* --musicxml: the score of a composition ("-": standard output); with
                                  --batch "" (each beside its OUTPUT); NULL without --musicxml */
    const char* batch;         /* --batch FILE ("-": standard input) */
    unsigned jobs;             /* --jobs, 1 to 1024; 0 for one a core */
    int verbose;               /* --verbose */
    int noWarnings;            /* --no-warnings */
    int strict;                /* --strict: a warning fails the composition */
    int play;                  /* --play: the sound through the default audio output (not with --batch) */
} CommandLine;

/* The command on UTF-8 arguments (midicompose.c); main and, on Windows,
 * wmain (windows_main.cpp) call it. Returns the exit status. */
int RunCommand(int argc, char** argv);

/* Reads the arguments into *line: 0, or the usage status after saying why
 * (and how the command is used) on standard error. */
int ParseCommandLine(int argc, char** argv, CommandLine* line);

/* The usage lines. */
void PrintUsageLines(FILE* out);

/* The options of the table with what each does, for the help text. */
void PrintOptions(FILE* out);

#ifdef __cplusplus
}
#endif

#endif
