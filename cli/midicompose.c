/* midicompose: compose a MIDI file from note text on the command line.
 * A thin host around the library: the arguments are read by the one option
 * table (command_line.c); a composition goes to MIDIComposeUTF8, whose status
 * becomes the exit code, with --musicxml is written as a score too, and with
 * --wav is rendered by midicompose-audio, loaded only then; --batch composes
 * many (batch.cpp). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "batch.h"
#include "command_line.h"
#include "console_text.h"
#include "messages.h"
#include "midicompose.h"
#include "render_wav.h"
#include "score_out.h"
#include "warnings_out.h"


/* Between the usage lines and the options. */
static const char kUsageIntro[] =
    "\n"
    "Composes NOTES into a Standard MIDI File at OUTPUT (format 0, one track,\n"
    "480 ticks per quarter note). NOTES given as - is read from standard input.\n"
    "\n"
    "Notes, in one of two notations:\n"
    "  compact  one note per letter, each BEATS long: FACE\n"
    "  beats    notes separated by spaces, each NAME[:BEATS]: \"C:2 E G:0.5 C5:2\"\n"
    "A name is a letter A to G and an optional octave digit (C4 is middle C, the\n"
    "default octave). Any text with a space uses the beats notation; at most\n"
    "100 notes are read. What the notation did with anything else (\"C#5\" plays\n"
    "C4, \"H\" plays C4, \":1/3\" lasts one beat) is said after the report, one\n"
    "warning a line on standard error: notes:COLUMN: warning: MESSAGE [CODE].\n"
    "\n"
    "INSTRUMENT  a General MIDI program 0 to 127 or a name (default: piano);\n"
    "            \"drums\" plays on the percussion channel\n"
    "BEATS       the default note length in quarter notes (default: 1.0)\n"
    "\n"
    "Options:\n";

/* After the options: the exit statuses, then the library's by value. */
static const char kUsage[] =
    "\n"
    "Exit status:\n"
    "  0 when the file was written; 2 for a usage error (notes on standard input\n"
    "  that cannot be read or hold a NUL byte among them); 4 when --strict finds\n"
    "  a warning (nothing is written); 3 when --wav or --play cannot\n"
    "  load midicompose-audio; 30 to 38 when the sound cannot be rendered or\n"
    "  played (the RENDER_ statuses of midicompose_audio.h; 38, RENDER_NO_OUTPUT,\n"
    "  when no audio output can be opened); 130 when Ctrl-C stopped --play;\n"
    "  with --batch, 0 when every line\n"
    "  was written, 1 when any failed, 2 for a usage error, an unreadable batch\n"
    "  file or two lines naming one OUTPUT, 130 when interrupted; otherwise the\n"
    "  library's status:\n\n";

/* After the statuses: the environment, the files written, examples. */
static const char kUsageEnd[] =
    "\n"
    "Environment:\n"
    "  MIDICOMPOSE_SOUNDFONT      the soundfont --wav and --play use, unless --soundfont\n"
    "  MIDICOMPOSE_AUDIO_LIBRARY  another midicompose-audio library for them to load\n"
    "\n"
    "Files:\n"
    "  OUTPUT is written whole or not at all: the bytes go to a temporary file\n"
    "  beside it (.OUTPUT.midicompose.tmp, or a random name when that is taken),\n"
    "  renamed over OUTPUT once every write succeeded, with no wider permissions\n"
    "  than the file it replaces. A symbolic link keeps its target; a file with\n"
    "  other hard links or another user's file is written in place; a device is\n"
    "  written directly. The WAV file of --wav and the score of --musicxml are\n"
    "  saved the same way.\n"
    "\n"
    "Examples:\n"
    "  midicompose \"C:2 E:1 G:1 C5:2\" chord.mid violin 1.0\n"
    "\n"
    "  echo \"C D E F G\" | midicompose - scale.mid flute 0.5\n"
    "\n"
    "  printf 'C E G\\tchord.mid\\tviolin\\nFACE\\tface.mid\\n' | midicompose --batch -\n"
    "\n"
    "  midicompose --wav - FACE face.mid piano | aplay\n"
    "\n"
    "  midicompose --play \"C:2 E:1 G:1 C5:2\" chord.mid violin\n"
    "\n"
    "  midicompose --musicxml chord.musicxml \"C:2 E:1 G:1 C5:2\" chord.mid violin 1\n"
    "\n"
    "  midicompose --list-instruments | grep -i guitar\n"
;

/* All of standard input, less one trailing line break; its length in *length.
 * NULL when memory runs out (*length 0) or it cannot be read (*length 1). */
static char* ReadAll(FILE* in, size_t* length) {
    size_t size = 0, capacity = 4096;
    char* text = (char*)malloc(capacity);
    size_t got;
    *length = 0;
    if (text == NULL) return NULL;
    while ((got = fread(text + size, 1, capacity - size - 1, in)) > 0) {
        size += got;
        if (capacity - size - 1 == 0) {
            char* grown = (char*)realloc(text, capacity * 2);
            if (grown == NULL) { free(text); return NULL; }
            text = grown;
            capacity *= 2;
        }
    }
    if (ferror(in)) { free(text); *length = 1; return NULL; }
    if (size > 0 && text[size - 1] == '\n') --size;
    if (size > 0 && text[size - 1] == '\r') --size;
    text[size] = '\0';
    *length = size;
    return text;
}

static void ListInstruments(void) {
    const char* name;
    int program;
    size_t i;
    for (i = 0; (name = MIDIComposeInstrument(i, &program)) != NULL; ++i) printf("%-17s %d\n", name, program);
}

/* The help: the usage lines, the notations, the options of the table, the
 * exit statuses with the library's by value and name, and the rest. */
static void PrintHelp(void) {
    int status;
    PrintUsageLines(stdout);
    fputs(kUsageIntro, stdout);
    PrintOptions(stdout);
    fputs(kUsage, stdout);
    for (status = 0; status < COMPOSE_OK; ++status) {
        const char* name = MIDIComposeStatusName(status);
        if (name != NULL) printf("  %d  %s: %s\n", status, name, MIDIComposeStatusMessage(status));
    }
    fputs(kUsageEnd, stdout);
}

/* texts: NOTES OUTPUT INSTRUMENT BEATS, as the command takes them. */
static const char* ArgumentText(const char* const* texts, int argument) {
    return argument == COMPOSE_ARGUMENT_NOTES ? texts[0] : argument == COMPOSE_ARGUMENT_BEATS ? texts[3] : texts[2];
}

static void PrintWarnings(const MIDIComposeResult* result, const char* const* texts, const char* kind) {
    size_t i;
    for (i = 0; i < result->warningCount; ++i) {
        const MIDIComposeWarning* w = &result->warnings[i];
        PrintWarning(stderr, MIDIComposeArgumentName(w->argument), CharacterColumn(ArgumentText(texts, w->argument), w->start),
                     kind, w);
    }
}

/* A composition's errors, or the words for memory running out when it could
 * hand over none. */
static void PrintErrors(const MIDIComposeResult* result) {
    if (result->errors != NULL) {
        PutText(result->errors, stderr);
    } else {
        MIDICOMPOSE_CLI_PRINT_NO_MEMORY();
    }
}

/* --strict: composes in memory first; with any warning, prints them as
 * errors and answers EXIT_STRICT before anything is written. A composition
 * that fails in memory is not checked (out of memory its warnings are not
 * known): its failure is the answer, and nothing is written either. 0 lets
 * the composition go ahead. */
static int RefusedAsStrict(const char* const* texts) {
    MIDIComposeResult result;
    size_t warnings;
    int status;
    memset(&result, 0, sizeof result);
    result.size = sizeof result;
    status = MIDIComposeUTF8(texts[0], NULL, texts[2], texts[3], &result);
    warnings = result.warningCount;
    PrintWarnings(&result, texts, "error");
    if (warnings > 0) {
        fprintf(stderr, "midicompose: --strict: %lu warning%s, nothing written\n", (unsigned long)warnings,
                warnings == 1 ? "" : "s");
        status = EXIT_STRICT;
    } else if (status != COMPOSE_OK) {
        PrintErrors(&result);
    } else {
        status = 0;
    }
    MIDIComposeFreeResult(&result);
    return status;
}

/* Composes with the library's call and its safe save, prints its report,
 * messages and warnings, and renders the file's bytes to sound when --wav
 * asks for it. */
static int Compose(const CommandLine* line) {
    const char* const* texts = line->positional;
    MIDIComposeResult result;
    int status;
    if (line->strict && (status = RefusedAsStrict(texts)) != 0) return status;
    memset(&result, 0, sizeof result);
    result.size = sizeof result;
    status = MIDIComposeUTF8(texts[0], texts[1], texts[2], texts[3], &result);
    if (result.output != NULL) {
        const int outputTaken = (line->wav != NULL && strcmp(line->wav, "-") == 0) ||
                                (line->musicxml != NULL && strcmp(line->musicxml, "-") == 0);
        PutText(result.output, outputTaken ? stderr : stdout);
    }
    PrintErrors(&result);
    if (!line->noWarnings) PrintWarnings(&result, texts, "warning");
    if (status == COMPOSE_OK && line->musicxml != NULL) {
        status = WriteScore(&result, line->musicxml, NULL, line->noWarnings);
    }
    if (status == COMPOSE_OK && line->play) {
        status = PlayComposition(result.data, result.length, line->wav, line->soundfont);
    } else if (status == COMPOSE_OK && line->wav != NULL) {
        status = RenderWav(result.data, result.length, line->wav, line->soundfont);
    }
    MIDIComposeFreeResult(&result);
    return status == COMPOSE_OK ? 0 : status;
}

/* NOTES given as -: standard input, refused when it cannot be read or holds
 * a NUL byte (the library reads a text up to its first NUL; the rest would
 * be dropped without a word). NULL after saying why, with the exit status in
 * *status. */
static char* ReadNotes(int* status) {
    size_t length = 0;
    char* input = ReadAll(stdin, &length);
    *status = EXIT_USAGE;
    if (input == NULL && length == 0) {
        MIDICOMPOSE_CLI_PRINT_NO_MEMORY();
        *status = COMPOSE_NO_MEMORY;
    } else if (input == NULL) {
        /* The notes never reached the library: a usage-class failure, not
         * the library's "no notes". */
        fputs("midicompose: cannot read the notes from standard input\n", stderr);
    } else if (strlen(input) != length) {
        fputs("midicompose: the notes on standard input hold a NUL byte\n", stderr);
        free(input);
        input = NULL;
    }
    return input;
}

int RunCommand(int argc, char** argv) {
    CommandLine line;
    char* input = NULL;
    int status = ParseCommandLine(argc, argv, &line);
    if (status != 0) return status;
    switch (line.mode) {
    case MODE_HELP: PrintHelp(); return 0;
    case MODE_VERSION: printf("midicompose %s\n", MIDIComposeVersion()); return 0;
    case MODE_LIST: ListInstruments(); return 0;
    case MODE_BATCH: return RunBatch(&line);
    case MODE_COMPOSE: break;
    }
    if (strcmp(line.positional[0], "-") == 0 && (line.positional[0] = input = ReadNotes(&status)) == NULL) return status;
    status = Compose(&line);
    free(input);
    return status;
}

#if !defined(_WIN32)
int main(int argc, char** argv) { return RunCommand(argc, argv); }
#endif
