/* midicompose: compose a MIDI file from note text on the command line.
 * A thin host around the library, in three forms: a composition (its four
 * texts passed to MIDICompose, whose status becomes the exit code), the same
 * with --wav (composed with MIDIComposeUTF8, then rendered by
 * midicompose-audio, loaded only then), and --batch (batch.cpp). */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "batch.h"
#include "messages.h"
#include "midicompose.h"
#include "render_wav.h"

#if defined(_WIN32)
#include <windows.h>
#endif

static const char kUsage[] =
    "Usage: midicompose [--wav FILE [--soundfont PATH]] NOTES OUTPUT [INSTRUMENT [BEATS]]\n"
    "       midicompose --batch FILE [--jobs N] [--wav [--soundfont PATH]] [--verbose]\n"
    "       midicompose --list-instruments | --help | --version\n"
    "\n"
    "Composes NOTES into a Standard MIDI File at OUTPUT (format 0, one track,\n"
    "480 ticks per quarter note). NOTES given as - is read from standard input.\n"
    "\n"
    "Notes, in one of two notations:\n"
    "  compact  one note per letter, each BEATS long: FACE\n"
    "  beats    notes separated by spaces, each NAME[:BEATS]: \"C:2 E G:0.5 C5:2\"\n"
    "A name is a letter A to G and an optional octave digit (C4 is middle C, the\n"
    "default octave). Any text with a space uses the beats notation; at most\n"
    "100 notes are read.\n"
    "\n"
    "INSTRUMENT  a General MIDI program 0 to 127 or a name (default: piano);\n"
    "            \"drums\" plays on the percussion channel\n"
    "BEATS       the default note length in quarter notes (default: 1.0)\n"
    "\n"
    "Options:\n"
    "  --wav FILE          also render the composition to sound, a WAV file (- for\n"
    "                      standard output; the report then goes to standard error)\n"
    "  --soundfont PATH    the General MIDI soundfont to render with (default:\n"
    "                      $MIDICOMPOSE_SOUNDFONT, else the system's default-GM font)\n"
    "  --batch FILE        compose every line of FILE (- for standard input):\n"
    "                      NOTES<TAB>OUTPUT[<TAB>INSTRUMENT[<TAB>BEATS]]; empty lines\n"
    "                      and lines starting with # are skipped. A failed line is\n"
    "                      one line on standard error (its number, the status, the\n"
    "                      message); a summary ends the run; a terminal shows a\n"
    "                      progress bar. Two lines naming one OUTPUT are refused\n"
    "                      before anything is written. Exit status 0 when every\n"
    "                      line was written, 1 when any failed, 2 for a usage\n"
    "                      error or a clash, 130 when interrupted (Ctrl-C stops\n"
    "                      between compositions: every file written is whole)\n"
    "  --jobs N            compose on N threads (default: one a core)\n"
    "  --wav               with --batch: render each OUTPUT to sound beside it (.wav)\n"
    "  --verbose           with --batch: print each composition's report\n"
    "  --list-instruments  print every instrument name with its program\n"
    "  -h, --help          print this text\n"
    "  --version           print the version\n"
    "\n"
    "Exit status:\n"
    "  0 when the file was written; 2 for a usage error (notes on standard input\n"
    "  that cannot be read or hold a NUL byte among them); 3 when --wav cannot\n"
    "  load midicompose-audio; 30 to 37 when the sound cannot be rendered (the\n"
    "  RENDER_ statuses of midicompose_audio.h); otherwise the library's status:\n\n";

/* After the statuses: the environment, the files written, examples. */
static const char kUsageEnd[] =
    "\n"
    "Environment:\n"
    "  MIDICOMPOSE_SOUNDFONT      the soundfont --wav renders with, unless --soundfont\n"
    "  MIDICOMPOSE_AUDIO_LIBRARY  another midicompose-audio library for --wav to load\n"
    "\n"
    "Files:\n"
    "  OUTPUT is written whole or not at all: the bytes go to a temporary file\n"
    "  beside it (.OUTPUT.midicompose.tmp, or a random name when that is taken),\n"
    "  renamed over OUTPUT once every write succeeded, with no wider permissions\n"
    "  than the file it replaces. A symbolic link keeps its target; a file with\n"
    "  other hard links or another user's file is written in place; a device is\n"
    "  written directly. The WAV file of --wav is saved the same way.\n"
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
    "  midicompose --list-instruments | grep -i guitar\n"
;

/* UTF-8 to NUL-terminated UTF-16; malformed bytes become U+FFFD. */
static MIDIComposeChar* ToUtf16(const char* text) {
    size_t length = strlen(text), n = 0, i = 0;
    MIDIComposeChar* out = (MIDIComposeChar*)malloc((length + 1) * sizeof *out);
    if (out == NULL) return NULL;
    while (i < length) {
        const unsigned char c = (unsigned char)text[i];
        unsigned long code = 0xFFFD, min = 0;
        size_t extra = 0, k;
        if (c < 0x80) { code = c; }
        else if (c >= 0xC2 && c < 0xE0) { code = c & 0x1Fu; extra = 1; min = 0x80; }
        else if (c >= 0xE0 && c < 0xF0) { code = c & 0x0Fu; extra = 2; min = 0x800; }
        else if (c >= 0xF0 && c < 0xF5) { code = c & 0x07u; extra = 3; min = 0x10000; }
        for (k = 1; k <= extra; ++k) {
            if (i + k >= length || ((unsigned char)text[i + k] & 0xC0) != 0x80) break;
            code = (code << 6) | ((unsigned char)text[i + k] & 0x3Fu);
        }
        if (k <= extra || code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            code = 0xFFFD;
            if (k <= extra) extra = k - 1;  /* resume at the byte that broke the sequence */
        }
        i += extra + 1;
        if (code >= 0x10000) {
            out[n++] = (MIDIComposeChar)(0xD800 + ((code - 0x10000) >> 10));
            out[n++] = (MIDIComposeChar)(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            out[n++] = (MIDIComposeChar)code;
        }
    }
    out[n] = 0;
    return out;
}

/* All of standard input, less one trailing line break; its length in *length. */
static char* ReadAll(FILE* in, size_t* length) {
    size_t size = 0, capacity = 4096;
    char* text = (char*)malloc(capacity);
    size_t got;
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
    if (ferror(in)) { free(text); return NULL; }
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

/* The usage text, then the library's failure statuses by value and name. */
static void PrintUsage(FILE* out) {
    int status;
    fputs(kUsage, out);
    for (status = 0; status < COMPOSE_OK; ++status) {
        const char* name = MIDIComposeStatusName(status);
        if (name != NULL) fprintf(out, "  %d  %s\n", status, name);
    }
    fputs(kUsageEnd, out);
}

static int Usage(void) {
    PrintUsage(stderr);
    return EXIT_USAGE;
}

static int Compose(const char* notes, const char* path, const char* instrument, const char* beats) {
    MIDIComposeChar* args[4];
    const char* texts[4];
    int i, status = COMPOSE_NO_MEMORY, ok = 1;
    texts[0] = notes; texts[1] = path; texts[2] = instrument; texts[3] = beats;
    for (i = 0; i < 4; ++i) ok = (args[i] = ToUtf16(texts[i])) != NULL && ok;
    if (ok) status = MIDICompose(args[0], args[1], args[2], args[3]);
    else fputs(MIDICOMPOSE_CLI_NO_MEMORY "\n", stderr);
    for (i = 0; i < 4; ++i) free(args[i]);
    return status == COMPOSE_OK ? 0 : status;
}

/* Composes as MIDICompose does, with its texts and its file, and renders
 * the file's bytes to sound. */
static int ComposeAndRender(const char* notes, const char* path, const char* instrument, const char* beats,
                            const char* wavPath, const char* soundfont) {
    MIDIComposeResult result;
    int status;
    memset(&result, 0, sizeof result);
    result.size = sizeof result;
    status = MIDIComposeUTF8(notes, path, instrument, beats, &result);
    if (result.output != NULL) fputs(result.output, strcmp(wavPath, "-") == 0 ? stderr : stdout);
    fputs(result.errors != NULL ? result.errors : MIDICOMPOSE_CLI_NO_MEMORY "\n", stderr);
    if (status == COMPOSE_OK) status = RenderWav(result.data, result.length, wavPath, soundfont);
    MIDIComposeFreeResult(&result);
    return status == COMPOSE_OK ? 0 : status;
}

/* The value of an option that takes one, or NULL (after a message) when it is missing. */
static const char* OptionValue(int argc, char** argv, int* i) {
    if (*i + 1 >= argc) {
        fprintf(stderr, "midicompose: %s needs a value\n", argv[*i]);
        return NULL;
    }
    return argv[++*i];
}

static int Main(int argc, char** argv) {
    const char* positional[4] = {NULL, NULL, "piano", "1.0"};
    const char *wavPath = NULL, *soundfont = NULL;
    char* input = NULL;
    size_t inputLength = 0;
    int count = 0, i, status;
    if (IsBatch(argc, argv)) return RunBatch(argc, argv);
    for (i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (strcmp(arg, "--") == 0) {
            for (++i; i < argc; ++i) {
                if (count == 4) return Usage();
                positional[count++] = argv[i];
            }
            break;
        }
        if (strcmp(arg, "-h") == 0 || strcmp(arg, "--help") == 0) {
            PrintUsage(stdout);
            return 0;
        }
        if (strcmp(arg, "--version") == 0) {
            printf("midicompose %s\n", MIDIComposeVersion());
            return 0;
        }
        if (strcmp(arg, "--list-instruments") == 0) {
            ListInstruments();
            return 0;
        }
        if (strcmp(arg, "--wav") == 0 || strcmp(arg, "--soundfont") == 0) {
            const char* value = OptionValue(argc, argv, &i);
            if (value == NULL) return Usage();
            *(arg[2] == 'w' ? &wavPath : &soundfont) = value;
            continue;
        }
        if (arg[0] == '-' && arg[1] != '\0' && !(arg[1] >= '0' && arg[1] <= '9') && arg[1] != '.') {
            fprintf(stderr, "midicompose: unknown option '%s'\n", arg);
            return Usage();
        }
        if (count == 4) return Usage();
        positional[count++] = arg;
    }
    if (count < 2) return Usage();
    if (strcmp(positional[0], "-") == 0) {
        input = ReadAll(stdin, &inputLength);
        if (input == NULL) {
            /* The notes never reached the library: a usage-class failure,
             * not the library's "no notes". */
            fputs("midicompose: cannot read the notes from standard input\n", stderr);
            return EXIT_USAGE;
        }
        /* The library reads a text up to its first NUL; the rest would be
         * dropped without a word. */
        if (strlen(input) != inputLength) {
            fputs("midicompose: the notes on standard input hold a NUL byte\n", stderr);
            free(input);
            return EXIT_USAGE;
        }
        positional[0] = input;
    }
    if (soundfont != NULL && wavPath == NULL) {
        fputs("midicompose: --soundfont goes with --wav\n", stderr);
        free(input);
        return Usage();
    }
    status = wavPath != NULL
                 ? ComposeAndRender(positional[0], positional[1], positional[2], positional[3], wavPath, soundfont)
                 : Compose(positional[0], positional[1], positional[2], positional[3]);
    free(input);
    return status;
}

#if defined(_WIN32)
/* Windows hands the arguments over as UTF-16; take them so, losing nothing. */
int wmain(int argc, wchar_t** wideArgv) {
    char** argv = (char**)calloc((size_t)argc + 1, sizeof *argv);
    int i, status = COMPOSE_NO_MEMORY;
    if (argv == NULL) return status;
    for (i = 0; i < argc; ++i) {
        const int bytes = WideCharToMultiByte(CP_UTF8, 0, wideArgv[i], -1, NULL, 0, NULL, NULL);
        argv[i] = (char*)malloc(bytes > 0 ? (size_t)bytes : 1);
        if (argv[i] == NULL) break;
        argv[i][0] = '\0';
        if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, wideArgv[i], -1, argv[i], bytes, NULL, NULL);
    }
    if (i == argc) status = Main(argc, argv);
    for (i = 0; i < argc; ++i) free(argv[i]);
    free(argv);
    return status;
}
#else
int main(int argc, char** argv) { return Main(argc, argv); }
#endif
