/*
 * midicompose-audio: a Standard MIDI File rendered to sound with a General
 * MIDI soundfont, through FluidSynth. A library of its own beside
 * libmidicompose, so that composing needs no synthesizer.
 *
 * The result is a WAV file (RIFF, 16-bit PCM, stereo) in memory and, when a
 * path is given, saved the way midicompose saves its files: whole or not at
 * all. The same bytes and font always give the same WAV bytes. Loaded fonts
 * are kept for the life of the process, so only the first render with a
 * font pays for loading it. Calls may overlap on different threads.
 */
#ifndef MIDICOMPOSE_AUDIO_H
#define MIDICOMPOSE_AUDIO_H

#include <stddef.h>

#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(MIDICOMPOSE_AUDIO_BUILDING)
#    define MIDICOMPOSE_AUDIO_API __declspec(dllexport)
#  else
#    define MIDICOMPOSE_AUDIO_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__) && __GNUC__ >= 4
#  define MIDICOMPOSE_AUDIO_API __attribute__((visibility("default")))
#else
#  define MIDICOMPOSE_AUDIO_API
#endif

/* The sample rate used when 0 is given. */
#define MIDICOMPOSE_AUDIO_DEFAULT_RATE 44100

/* Results of MIDIComposeRender. These values are part of the ABI and never change. */
enum MIDIComposeRenderStatus {
    RENDER_OK = 999,             /* the sound was rendered (and saved) */
    RENDER_NO_SOUNDFONT = 30,    /* no font was given, none is named by MIDICOMPOSE_SOUNDFONT, none is installed */
    RENDER_BAD_SOUNDFONT = 31,   /* the font cannot be read or is no SF2/SF3 soundfont */
    RENDER_NOT_MIDI = 32,        /* the bytes are not a Standard MIDI File of format 0 or 1 */
    RENDER_BAD_RATE = 33,        /* the sample rate is outside 8000 to 96000 */
    RENDER_SYNTH_FAILED = 34,    /* FluidSynth could not be set up or failed while playing */
    RENDER_NO_MEMORY = 35,       /* memory ran out */
    RENDER_SAVE_FAILED = 36,     /* the WAV file could not be created or written */
    RENDER_TOO_LONG = 37,        /* the sound would not fit a WAV file (over 4 GiB) */
    RENDER_NO_OUTPUT = 38        /* MIDIComposePlay: no audio output could be opened, or it failed (since 1.4.0) */
};

/* What MIDIComposeRender hands back. Set `size` to sizeof(MIDIComposeAudio)
 * before the call; the library fills only the fields that fit in it. Release
 * with MIDIComposeFreeAudio. */
typedef struct MIDIComposeAudio {
    size_t size;          /* set by the caller to sizeof(MIDIComposeAudio) */
    unsigned char* wav;   /* the WAV file's bytes on success, else NULL */
    size_t length;        /* bytes at wav */
    char* message;        /* NUL-terminated UTF-8: on failure, what went wrong and what to do; else "" */
    char* soundfont;      /* NUL-terminated: the font used or tried, else NULL */
    int sampleRate;       /* frames per second */
    double seconds;       /* the sound's length: the music and its release, until silent */
} MIDIComposeAudio;

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Renders the Standard MIDI File at midi (length bytes, format 0 or 1, at
 * its own tempo; 120 beats a minute without one) to a WAV file.
 *
 * soundfont:  an SF2 or SF3 file; NULL or "" looks for MIDICOMPOSE_SOUNDFONT,
 *             then /usr/share/sounds/sf2/default-GM.sf2, then
 *             /usr/share/sounds/sf3/default-GM.sf3.
 * sampleRate: frames per second, 8000 to 96000; 0 for 44100.
 * wavPath:    where to save the WAV file (UTF-8), or NULL to keep it in
 *             memory only; a failed call leaves an existing file as it was.
 * audio:      the result, or NULL when only the status matters.
 *
 * The sound lasts as long as the music plus the release of its last notes,
 * which ends when they fall silent or 2 seconds after the music, whichever
 * comes first. Nothing is printed: FluidSynth's own messages go to
 * audio->message. Returns RENDER_OK or a failure status.
 */
MIDICOMPOSE_AUDIO_API int MIDIComposeRender(const unsigned char* midi, size_t length, const char* soundfont,
                                            int sampleRate, const char* wavPath, MIDIComposeAudio* audio);

/*
 * Renders as MIDIComposeRender does (the same WAV, saved at wavPath unless
 * NULL, handed back in audio) and plays it through the default audio output:
 * PulseAudio (libpulse-simple, which PipeWire desktops also serve), else
 * ALSA's default device (libasound), each loaded only now. It plays while
 * it renders: each block of 512 frames is written as soon as it is rendered,
 * with 0.1 s queued, so the first sound waits for the font and one block.
 * The call returns when the sound has been heard to its end. Once *stop
 * (unless stop is NULL) becomes nonzero, which it looks at between blocks (a
 * SIGINT handler may set it), what is queued is dropped and nothing more is
 * heard; the rest is rendered without sound, so the WAV is whole as ever.
 * RENDER_NO_OUTPUT when neither output can be opened or one fails while
 * playing (the WAV is still rendered and saved): audio->message names what
 * was tried and what to install. Since 1.4.0.
 */
MIDICOMPOSE_AUDIO_API int MIDIComposePlay(const unsigned char* midi, size_t length, const char* soundfont, int sampleRate,
                                          const char* wavPath, volatile const int* stop, MIDIComposeAudio* audio);

/* Releases the result's buffers and sets their pointers to NULL. Safe on a
 * zeroed structure, on NULL and when called twice. */
MIDICOMPOSE_AUDIO_API void MIDIComposeFreeAudio(MIDIComposeAudio* audio);

/* The name of a render status, such as "RENDER_NO_SOUNDFONT"; NULL for a
 * value that is none. */
MIDICOMPOSE_AUDIO_API const char* MIDIComposeRenderStatusName(int status);

#ifdef __cplusplus
}
#endif

#endif /* MIDICOMPOSE_AUDIO_H */
