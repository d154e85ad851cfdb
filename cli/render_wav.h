/* --wav: the composed file rendered to sound by midicompose-audio, which is
 * loaded only when asked for, so a plain composition never loads FluidSynth
 * or the libraries it needs. */
#ifndef MIDICOMPOSE_CLI_RENDER_WAV_H
#define MIDICOMPOSE_CLI_RENDER_WAV_H

#include <stddef.h>

#include "midicompose_audio.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The exit status when midicompose-audio cannot be loaded, and when Ctrl-C stopped --play. */
#define EXIT_NO_AUDIO 3
#define EXIT_INTERRUPTED 130

/* The functions of midicompose-audio, once loaded. */
typedef struct AudioLibrary {
    int (*render)(const unsigned char*, size_t, const char*, int, const char*, MIDIComposeAudio*);
    void (*release)(MIDIComposeAudio*);
    const char* (*statusName)(int);
    int (*play)(const unsigned char*, size_t, const char*, int, const char*, volatile const int*, MIDIComposeAudio*);
} AudioLibrary;

/* Loads midicompose-audio for the option that wants it ("--wav",
 * "--play"): 0, or EXIT_NO_AUDIO after saying why on standard error, with
 * the option named. The library stays loaded for the life of the process. */
int LoadAudioLibrary(AudioLibrary* audio, const char* option);

/* Renders the MIDI bytes to wavPath ("-" for standard output) with the
 * soundfont (NULL for the library's search). Returns 0, EXIT_NO_AUDIO or
 * the library's render status, after printing why to standard error. */
int RenderWav(const unsigned char* midi, size_t length, const char* wavPath, const char* soundfont);

/* --play: renders as RenderWav does (to wavPath too, unless NULL) and plays
 * the sound through the default audio output until it ends or Ctrl-C stops
 * it. Returns 0, EXIT_NO_AUDIO, the library's status (RENDER_NO_OUTPUT
 * without an output) or EXIT_INTERRUPTED, after printing why. */
int PlayComposition(const unsigned char* midi, size_t length, const char* wavPath, const char* soundfont);

#ifdef __cplusplus
}
#endif

#endif
