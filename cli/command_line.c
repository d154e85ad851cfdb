/* The command's one option table and its parser, for a single composition
 * and for --batch alike. */
#include "command_line.h"

#include <stdlib.h>
#include <string.h>

#include "messages.h"

typedef enum Takes { TAKES_NOTHING, TAKES_VALUE, TAKES_VALUE_UNLESS_BATCH } Takes;

typedef struct Option {
    const char* name;
    const char* alias;
    Takes takes;
    int batchOnly;
    CommandMode selects; /* what --help, --version and --list-instruments ask for; MODE_COMPOSE for the rest */
    const char* help; /* as --help prints it, after the two-space indent */
} Option;

/* --wav means one thing in both forms, "render the sound too"; only where it
 * goes differs: a composition names its file, a batch has one per line. */
static const Option kOptions[] = {
    {"--wav", NULL, TAKES_VALUE_UNLESS_BATCH, 0, MODE_COMPOSE,
     "--wav FILE          also render the composition to sound, a WAV file (- for\n"
     "                      standard output; the report then goes to standard error);\n"
     "                      with --batch it takes no FILE: each OUTPUT's sound goes\n"
     "                      beside it (.wav for .mid)\n"},
    {"--play", NULL, TAKES_NOTHING, 0, MODE_COMPOSE,
     "--play              also play the sound, as --wav renders it, through the default\n"
     "                      audio output (PulseAudio or PipeWire, else ALSA) and return\n"
     "                      when it has been heard; Ctrl-C stops it (not with --batch)\n"},
    {"--soundfont", NULL, TAKES_VALUE, 0, MODE_COMPOSE,
     "--soundfont PATH    the General MIDI soundfont to render or play with (default:\n"
     "                      $MIDICOMPOSE_SOUNDFONT, else the system's default-GM font)\n"},
    {"--musicxml", NULL, TAKES_VALUE_UNLESS_BATCH, 0, MODE_COMPOSE,
     "--musicxml FILE     also write the composition as a score, MusicXML 4.0 (- for\n"
     "                      standard output; the report then goes to standard error);\n"
     "                      lengths inside a beat move to the nearest 64th or triplet,\n"
     "                      and a line on standard error says how many did; with\n"
     "                      --batch it takes no FILE: each score goes beside its\n"
     "                      OUTPUT (.musicxml for .mid)\n"},
    {"--batch", NULL, TAKES_VALUE, 0, MODE_COMPOSE,
     "--batch FILE        compose every line of FILE (- for standard input):\n"
     "                      NOTES<TAB>OUTPUT[<TAB>INSTRUMENT[<TAB>BEATS]]; empty lines\n"
     "                      and lines starting with # are skipped. A failed line is\n"
     "                      one line on standard error (its number, the status, the\n"
     "                      message); a summary ends the run; a terminal shows a\n"
     "                      progress bar. Two lines naming one OUTPUT are refused\n"
     "                      before anything is written; Ctrl-C stops between\n"
     "                      compositions, so every file written is whole\n"},
    {"--no-warnings", NULL, TAKES_NOTHING, 0, MODE_COMPOSE,
     "--no-warnings       print no warnings (what the notation did with characters\n"
     "                      that may not mean what they seem: \"C#5\" plays C4)\n"},
    {"--strict", NULL, TAKES_NOTHING, 0, MODE_COMPOSE,
     "--strict            make every warning an error: exit 4, nothing written (with\n"
     "                      --batch, such a line fails)\n"},
    {"--jobs", NULL, TAKES_VALUE, 1, MODE_COMPOSE, "--jobs N            with --batch: compose on N threads (default: one a core)\n"},
    {"--verbose", NULL, TAKES_NOTHING, 1, MODE_COMPOSE, "--verbose           with --batch: print each composition's report\n"},
    {"--list-instruments", NULL, TAKES_NOTHING, 0, MODE_LIST, "--list-instruments  print every instrument name with its program\n"},
    {"--help", "-h", TAKES_NOTHING, 0, MODE_HELP, "-h, --help          print this text\n"},
    {"--version", NULL, TAKES_NOTHING, 0, MODE_VERSION, "--version           print the version\n"},
};
#define OPTION_COUNT (sizeof kOptions / sizeof kOptions[0])

static const char kUsageLines[] =
    "Usage: midicompose [--wav FILE] [--play] [--soundfont PATH] [--musicxml FILE]\n"
    "                   [--no-warnings | --strict] NOTES OUTPUT [INSTRUMENT [BEATS]]\n"
    "       midicompose --batch FILE [--jobs N] [--wav [--soundfont PATH]] [--musicxml]\n"
    "                   [--verbose] [--no-warnings | --strict]\n"
    "       midicompose --list-instruments | --help | --version\n";

void PrintUsageLines(FILE* out) { fputs(kUsageLines, out); }

void PrintOptions(FILE* out) {
    size_t i;
    for (i = 0; i < OPTION_COUNT; ++i) fprintf(out, "  %s", kOptions[i].help);
}

/* Says why, as "midicompose: " BEFORE WHAT AFTER, and how the command is used. */
static int Refuse(const char* before, const char* what, const char* after) {
    fprintf(stderr, "midicompose: %s%s%s\n", before, what, after);
    fputs(kUsageLines, stderr);
    fputs("Run midicompose --help for the notations, the options and the exit statuses.\n", stderr);
    return EXIT_USAGE;
}

static const Option* FindOption(const char* arg) {
    size_t i;
    for (i = 0; i < OPTION_COUNT; ++i) {
        if (strcmp(arg, kOptions[i].name) == 0 || (kOptions[i].alias != NULL && strcmp(arg, kOptions[i].alias) == 0)) {
            return &kOptions[i];
        }
    }
    return NULL;
}

/* A word that starts with "-" but is a note text, a number or standard input. */
static int LooksPositional(const char* arg) {
    return arg[0] != '-' || arg[1] == '\0' || (arg[1] >= '0' && arg[1] <= '9') || arg[1] == '.';
}

/* Whether --batch stands among the options (before any "--"). */
static int AsksForBatch(int argc, char** argv) {
    int i;
    for (i = 1; i < argc && strcmp(argv[i], "--") != 0; ++i) {
        if (strcmp(argv[i], "--batch") == 0) return 1;
    }
    return 0;
}

/* Stores an option with its value; 0, or the usage status. */
static int Take(const Option* option, const char* value, CommandLine* line) {
    const char* name = option->name;
    if (strcmp(name, "--wav") == 0) {
        line->wav = value != NULL ? value : "";
    } else if (strcmp(name, "--musicxml") == 0) {
        line->musicxml = value != NULL ? value : "";
    } else if (strcmp(name, "--play") == 0) {
        line->play = 1;
    } else if (strcmp(name, "--soundfont") == 0) {
        line->soundfont = value;
    } else if (strcmp(name, "--batch") == 0) {
        line->batch = value;
    } else if (strcmp(name, "--jobs") == 0) {
        char* end = NULL;
        const unsigned long jobs = strtoul(value, &end, 10);
        if (*value == '\0' || *end != '\0' || jobs < 1 || jobs > 1024) return Refuse("", name, " takes 1 to 1024");
        line->jobs = (unsigned)jobs;
    } else if (strcmp(name, "--verbose") == 0) {
        line->verbose = 1;
    } else if (strcmp(name, "--no-warnings") == 0) {
        line->noWarnings = 1;
    } else {  /* --strict, the last of the options Take is given */
        line->strict = 1;
    }
    return 0;
}

/* Stores an option met at argv[*i], with its value; 0, or the usage status. */
static int TakeOption(const Option* option, int batch, int argc, char** argv, int* i, CommandLine* line) {
    const int needsValue = option->takes == TAKES_VALUE || (option->takes == TAKES_VALUE_UNLESS_BATCH && !batch);
    if (option->batchOnly && !batch) return Refuse("", option->name, " goes with --batch");
    if (needsValue && *i + 1 >= argc) return Refuse("", option->name, " needs a value");
    return Take(option, needsValue ? argv[++*i] : NULL, line);
}

int ParseCommandLine(int argc, char** argv, CommandLine* line) {
    const int batch = AsksForBatch(argc, argv);
    int count = 0, options = 1, i, status;
    memset(line, 0, sizeof *line);
    line->mode = batch ? MODE_BATCH : MODE_COMPOSE;
    line->positional[2] = "piano";
    line->positional[3] = "1.0";
    for (i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const Option* option = options && !LooksPositional(arg) ? FindOption(arg) : NULL;
        if (options && strcmp(arg, "--") == 0) {
            options = 0;  /* what follows is positional, even when it starts with - */
        } else if (option != NULL && option->selects != MODE_COMPOSE) {
            line->mode = option->selects;
            return 0;  /* --help, --version, --list-instruments: nothing else matters */
        } else if (option != NULL) {
            if ((status = TakeOption(option, batch, argc, argv, &i, line)) != 0) return status;
        } else if (options && !LooksPositional(arg)) {
            return Refuse("unknown option '", arg, "'");
        } else if (batch) {
            return Refuse("'", arg, "' does not go with --batch");
        } else if (count == 4) {
            return Refuse("", "too many arguments", "");
        } else {
            line->positional[count++] = arg;
        }
    }
    if (line->soundfont != NULL && line->wav == NULL && !line->play) return Refuse("", "--soundfont goes with --wav or --play", "");
    if (batch && line->play) return Refuse("", "--play does not go with --batch: it plays one composition", "");
    if (line->wav != NULL && line->musicxml != NULL && strcmp(line->wav, "-") == 0 && strcmp(line->musicxml, "-") == 0) {
        return Refuse("", "--wav - and --musicxml - cannot both go to standard output", "");
    }
    if (!batch && count < 2) return Refuse("", count == 0 ? "no NOTES and OUTPUT" : "no OUTPUT", "");
    return 0;
}
