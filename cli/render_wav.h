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

/* The exit status when midicompose-audio cannot be loaded. */
#define EXIT_NO_AUDIO 3

/* The functions of midicompose-audio, once loaded. */
typedef struct AudioLibrary {
    int (*render)(const unsigned char*, size_t, const char*, int, const char*, MIDIComposeAudio*);
    void (*release)(MIDIComposeAudio*);
    const char* (*statusName)(int);
} AudioLibrary;

/* Loads midicompose-audio: 0, or EXIT_NO_AUDIO after saying why on
 * standard error. The library stays loaded for the life of the process. */
int LoadAudioLibrary(AudioLibrary* audio);

/* Renders the MIDI bytes to wavPath ("-" for standard output) with the
 * soundfont (NULL for the library's search). Returns 0, EXIT_NO_AUDIO or
 * the library's render status, after printing why to standard error. */
int RenderWav(const unsigned char* midi, size_t length, const char* wavPath, const char* soundfont);

#ifdef __cplusplus
}
#endif

#endif
