/*
 * midicompose: turn one line of note text into a Standard MIDI File.
 *
 * One call does the whole job: it parses the notes, resolves a General MIDI
 * instrument, builds a format 0 file with one track at 480 ticks per quarter
 * note, and returns a status. MIDICompose takes UTF-16 texts, writes the file
 * and prints a progress line and a short report; MIDIComposeUTF8 takes UTF-8
 * texts, prints nothing and hands back the file's bytes and the texts. The
 * library keeps no state between calls; calls on different threads may
 * overlap (give them different output paths).
 */
#ifndef MIDICOMPOSE_H
#define MIDICOMPOSE_H

#include <stddef.h>
#include <stdint.h>

/* The version this header describes; MIDIComposeVersion() gives the loaded
 * library's. The build reads its version from these three lines. */
#define MIDICOMPOSE_VERSION_MAJOR 1
#define MIDICOMPOSE_VERSION_MINOR 5
#define MIDICOMPOSE_VERSION_PATCH 0

#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(MIDICOMPOSE_BUILDING)
#    define MIDICOMPOSE_API __declspec(dllexport)
#  elif defined(MIDICOMPOSE_STATIC)
#    define MIDICOMPOSE_API
#  else
#    define MIDICOMPOSE_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__) && __GNUC__ >= 4
#  define MIDICOMPOSE_API __attribute__((visibility("default")))
#else
#  define MIDICOMPOSE_API
#endif

/* A 16-bit code unit of the UTF-16 argument texts. */
#if defined(_WIN32)
typedef wchar_t MIDIComposeChar;
#elif defined(__cplusplus)
typedef char16_t MIDIComposeChar;
#else
typedef uint16_t MIDIComposeChar;
#endif

/* Results of MIDICompose and MIDIComposeUTF8. These values are part of the ABI and never change. */
enum MIDIComposeStatus {
    COMPOSE_OK = 999,              /* the file was written */
    COMPOSE_BAD_BEATS = 12,        /* the default beats text is not a length above zero */
    COMPOSE_BAD_INSTRUMENT = 13,   /* the instrument text names no instrument */
    COMPOSE_NO_MEMORY = 14,        /* memory for the arguments or the note list ran out */
    COMPOSE_NO_NOTES = 15,         /* the note text yields no notes */
    COMPOSE_NO_WRITER = 16,        /* the MIDI writer could not be created */
    COMPOSE_ADD_NOTE_FAILED = 17,  /* a note could not be added (empty name, no memory) */
    COMPOSE_SAVE_FAILED = 18,      /* the file could not be created or written */
    COMPOSE_TOO_LONG = 19,         /* the notes run past the longest time a MIDI file can hold */
    COMPOSE_SCORE_TOO_LONG = 20    /* the score would run past 10,000 measures (since 1.4.0) */
};

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Composes the notes into a MIDI file at outputPath.
 *
 * notes:      "FACE" (one note per letter) or "C:2 E:1 G:1 C5:2" (notes
 *             separated by white space, each with an optional ":beats").
 * outputPath: the file to create or replace; a failed call leaves an
 *             existing file as it was.
 * instrument: a General MIDI program "0" to "127" or a name such as
 *             "violin", "piano" or "drums" (case does not matter).
 * beats:      the default note length in quarter notes, such as "1.0".
 *
 * Every argument is a NUL-terminated UTF-16 text that is only read; a null
 * pointer reads as the empty text. Returns COMPOSE_OK or a failure status.
 */
MIDICOMPOSE_API int MIDICompose(const MIDIComposeChar* notes,
                                const MIDIComposeChar* outputPath,
                                const MIDIComposeChar* instrument,
                                const MIDIComposeChar* beats);

/* What a warning is about: the note grammar never refuses a note, so these
 * say what it did with text that may not mean what its writer meant. These
 * values are part of the ABI and never change; MIDIComposeWarningName gives
 * each one's name without the COMPOSE_WARN_ prefix, such as
 * "SHARP_OR_FLAT". */
enum MIDIComposeWarningCode {
    COMPOSE_WARN_SKIPPED_CHARACTERS = 1, /* notes without spaces: a run of characters that are no letters, skipped */
    COMPOSE_WARN_NOTES_DROPPED = 2,      /* a note past the 100th, and the rest of the text, dropped */
    COMPOSE_WARN_UNKNOWN_LETTER = 3,     /* a name that starts with no letter A to G: played as C4 (key 60) */
    COMPOSE_WARN_SHARP_OR_FLAT = 4,      /* "C#5", "Bb": no sharps or flats, played in octave 4 */
    COMPOSE_WARN_IGNORED_CHARACTERS = 5, /* characters of a name that do not count ("C10", "Cx") */
    COMPOSE_WARN_KEY_CLAMPED = 6,        /* "A9", "B9": above the highest key, written as 127 */
    COMPOSE_WARN_LENGTH_IGNORED = 7,     /* ":0", ":abc": no length above zero, the default used */
    COMPOSE_WARN_LENGTH_TRAILING = 8,    /* ":1/3": text after the length's number, ignored */
    COMPOSE_WARN_ZERO_LENGTH = 9,        /* a length shorter than a tick: written as 0 ticks */
    COMPOSE_WARN_LENGTH_ROUNDED = 10,    /* a length that is no whole number of ticks: the fraction dropped */
    COMPOSE_WARN_TRAILING_TEXT = 11      /* "1.0x" as beats, "12abc" as instrument: the rest ignored */
};
/* The argument a warning's place is in; MIDIComposeArgumentName gives
 * "notes", "beats" and "instrument". ABI values. */
enum MIDIComposeArgument {
    COMPOSE_ARGUMENT_NOTES = 0,
    COMPOSE_ARGUMENT_BEATS = 1,
    COMPOSE_ARGUMENT_INSTRUMENT = 2
};
/* One warning. Its place is bytes [start, end) of the argument's UTF-8 text. */
typedef struct MIDIComposeWarning {
    int code;             /* a MIDIComposeWarningCode */
    int argument;         /* a MIDIComposeArgument */
    int note;             /* the index of the composed note it is about, or -1 */
    size_t start;         /* first byte of the place */
    size_t end;           /* the byte after it */
    const char* message;  /* NUL-terminated UTF-8: what was done instead */
} MIDIComposeWarning;
/* One composed note, as the file holds it. */
typedef struct MIDIComposeNote {
    uint32_t start;   /* first tick, 480 ticks a beat */
    uint32_t length;  /* in ticks */
    int key;          /* the MIDI key written, 0 to 127 (C4 is 60; A9 and B9 are written as 127) */
    int channel;      /* 0, or 9 (channel 10) for drums */
} MIDIComposeNote;

/* Where a composed note stands in the notes text: bytes [start, end) of its
 * UTF-8, the units of a warning's place. In beat notation that is the whole
 * token, name and ":beats" ("C5:2" is 4 bytes); in notes without spaces, its
 * letter. Since 1.5.0. */
typedef struct MIDIComposePlace {
    size_t start;  /* first byte of the note's text */
    size_t end;    /* the byte after it */
} MIDIComposePlace;

/*
 * What MIDIComposeUTF8 hands back. Set `size` to sizeof(MIDIComposeResult)
 * before the call: the library fills only the fields that fit in it, so a
 * program built against this header keeps working with later libraries
 * whose structure has grown. Release the buffers with MIDIComposeFreeResult.
 */
typedef struct MIDIComposeResult {
    size_t size;          /* set by the caller to sizeof(MIDIComposeResult) */
    unsigned char* data;  /* the file's bytes when the composition succeeds, else NULL */
    size_t length;        /* bytes at data */
    char* output;         /* NUL-terminated UTF-8: what MIDICompose prints on standard output */
    char* errors;         /* the same for standard error */
    int program;          /* the resolved program (0 to 128), -1 before or without one */
    int notes;            /* notes composed */
    double beats;         /* their total length in beats, as the report adds them */
    /* Since 1.2.0: */
    const char* instrument;           /* the program's name as the report shows it (static), else NULL */
    const MIDIComposeNote* noteList;  /* the notes in time order when the composition succeeds, else NULL */
    size_t noteCount;                 /* entries at noteList */
    /* Since 1.3.0: */
    const MIDIComposeWarning* warnings;  /* ordered by argument, then place; NULL when there are none */
    size_t warningCount;                 /* entries at warnings */
    /* Since 1.5.0: */
    const MIDIComposePlace* places;  /* each note's place, in noteList's order (noteCount entries); NULL when
                                        noteList is. Every byte of the notes text lies in one note's place, is
                                        white space between notes, or lies in a SKIPPED_CHARACTERS or
                                        NOTES_DROPPED warning's place. */
} MIDIComposeResult;

/*
 * Composes as MIDICompose does, from UTF-8 texts, and prints nothing.
 *
 * For the same texts the status, the file's bytes and the two console texts
 * are exactly those of MIDICompose. With outputPath NULL no file is written
 * (the report then names an empty path); otherwise the file is saved just
 * as MIDICompose saves it. A null text reads as the empty text, and result
 * may be NULL when only the status matters. When memory for the result's
 * own buffers runs out the status is COMPOSE_NO_MEMORY and every pointer in
 * it is NULL.
 */
MIDICOMPOSE_API int MIDIComposeUTF8(const char* notes, const char* outputPath, const char* instrument,
                                    const char* beats, MIDIComposeResult* result);

/* Releases the result's buffers and sets their pointers to NULL. Safe on a
 * zeroed structure, on NULL and when called twice. */
MIDICOMPOSE_API void MIDIComposeFreeResult(MIDIComposeResult* result);

/* The library's version, "1.5.0": the loaded library's, which may be newer
 * than the header a program was built with. */
MIDICOMPOSE_API const char* MIDIComposeVersion(void);

/* The name of a status, such as "COMPOSE_BAD_BEATS"; NULL for a value that
 * is no status. */
MIDICOMPOSE_API const char* MIDIComposeStatusName(int status);
/* The library's words for a status, as its messages give them after
 * "Error: ": "Invalid beats value" for COMPOSE_BAD_BEATS, "Memory allocation
 * failed" for COMPOSE_NO_MEMORY; NULL for a value that is no status. Since
 * 1.3.0. */
MIDICOMPOSE_API const char* MIDIComposeStatusMessage(int status);

/* Row `index` of the instrument table: its name, lower case, with its
 * program (0 to 127; "drums" is 128) stored at *program unless program is
 * NULL. Rows run in program order and several names may share a program,
 * the first being the one reports show. NULL past the last row. */
MIDICOMPOSE_API const char* MIDIComposeInstrument(size_t index, int* program);
/* The name of a warning code, such as "SHARP_OR_FLAT"; NULL for a value
 * that is none. Since 1.3.0. */
MIDICOMPOSE_API const char* MIDIComposeWarningName(int code);
/* The name of an argument: "notes", "beats" or "instrument"; NULL for a
 * value that is none. Since 1.3.0. */
MIDICOMPOSE_API const char* MIDIComposeArgumentName(int argument);

/*
 * The composition as a score (since 1.4.0): MusicXML 4.0, one part in 4/4 at
 * 480 divisions a quarter. A boundary between notes that falls inside a beat
 * moves to the nearest 64th or 32nd triplet (all of one beat's to the grid
 * that moves them less), a note of no length is a grace note before the next
 * one, and each note is written as tied values by the usual metric rule.
 * What MIDIComposeMusicXML hands back; set `size` to
 * sizeof(MIDIComposeScore) before the call and release it with
 * MIDIComposeFreeScore.
 */
typedef struct MIDIComposeScore {
    size_t size;         /* set by the caller to sizeof(MIDIComposeScore) */
    char* musicxml;      /* NUL-terminated UTF-8 MusicXML on success, else NULL */
    size_t length;       /* bytes at musicxml, without the NUL */
    uint64_t measures;   /* the score's measures, also when there are too many */
    int moved;           /* sounding notes whose start or length moved */
    int graceNotes;      /* notes of no length written as grace notes */
    int leftOut;         /* notes of no length after the last sounding note, left out */
    char* message;       /* NUL-terminated UTF-8: on success what moved, in words ("3 notes moved to the
                            nearest 64th or triplet, 1 grace note"; "" when nothing did); else the
                            error line ("Error: Score too long: ...") */
} MIDIComposeScore;

/*
 * The score of a composition MIDIComposeUTF8 made (its noteList, program and
 * instrument are read), saved at outputPath as MIDIComposeUTF8 saves the
 * file (a failure leaves an existing file as it was) unless outputPath is
 * NULL. Returns COMPOSE_OK; COMPOSE_SCORE_TOO_LONG past 10,000 measures;
 * COMPOSE_NO_NOTES for a result that holds no composition; COMPOSE_SAVE_FAILED;
 * or COMPOSE_NO_MEMORY, with every pointer in the score NULL. score may be
 * NULL when only the status (and the saved file) matter.
 */
MIDICOMPOSE_API int MIDIComposeMusicXML(const MIDIComposeResult* composition, const char* outputPath,
                                        MIDIComposeScore* score);
/* Releases the score's buffers and zeroes every field but size. Safe on a
 * zeroed structure, on NULL and when called twice. */
MIDICOMPOSE_API void MIDIComposeFreeScore(MIDIComposeScore* score);

#ifdef __cplusplus
}
#endif

#endif /* MIDICOMPOSE_H */
