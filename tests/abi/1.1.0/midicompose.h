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
#  include <stdint.h>
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
    COMPOSE_TOO_LONG = 19          /* the notes run past the longest time a MIDI file can hold */
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

#ifdef __cplusplus
}
#endif

#endif /* MIDICOMPOSE_H */
