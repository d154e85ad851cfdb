#include "render_wav.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "messages.h"
#include "midicompose.h"
#include "midicompose_audio.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>
#endif

typedef void (*AnyFunction)(void);

#if defined(_WIN32)
static void* OpenLibrary(const char* path) { return (void*)LoadLibraryA(path); }
static AnyFunction Symbol(void* library, const char* name) {
    return (AnyFunction)GetProcAddress((HMODULE)library, name);
}
static const char* const kLibraryName = "midicompose-audio.dll";
#else
static void* OpenLibrary(const char* path) { return dlopen(path, RTLD_NOW | RTLD_LOCAL); }
static AnyFunction Symbol(void* library, const char* name) {
    /* dlsym answers an object pointer; ISO C has no cast from it to a function pointer. */
    void* found = dlsym(library, name);
    AnyFunction function;
    memcpy(&function, &found, sizeof function);
    return function;
}
static const char* const kLibraryName = "libmidicompose-audio.so.1";
#endif

/* MIDICOMPOSE_AUDIO_LIBRARY, else the library beside the command (a build
 * tree) or in ../lib beside it (an installation under a prefix), else the
 * system's search. */
static void* OpenAudioLibrary(void) {
    const char* named = getenv("MIDICOMPOSE_AUDIO_LIBRARY");
    void* library = NULL;
    if (named != NULL && *named != '\0') return OpenLibrary(named);
#if !defined(_WIN32)
    {
        char self[PATH_MAX], path[PATH_MAX + 64];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        char* slash;
        if (n > 0) {
            self[n] = '\0';
            slash = strrchr(self, '/');
            if (slash != NULL) {
                *slash = '\0';
                snprintf(path, sizeof path, "%s/%s", self, kLibraryName);
                library = OpenLibrary(path);
                if (library == NULL) {
                    snprintf(path, sizeof path, "%s/../lib/%s", self, kLibraryName);
                    library = OpenLibrary(path);
                }
            }
        }
    }
#endif
    return library != NULL ? library : OpenLibrary(kLibraryName);
}

int LoadAudioLibrary(AudioLibrary* audio, const char* option) {
    void* library = OpenAudioLibrary();
    AnyFunction render, release, statusName, play;
    if (library == NULL) {
        fprintf(stderr, "Error: %s needs %s (built where FluidSynth is installed; Debian: apt-get install "
                        "libfluidsynth3; from a source tree: make audio), which could not be loaded\n", option, kLibraryName);
        return EXIT_NO_AUDIO;
    }
    render = Symbol(library, "MIDIComposeRender");
    release = Symbol(library, "MIDIComposeFreeAudio");
    statusName = Symbol(library, "MIDIComposeRenderStatusName");
    play = Symbol(library, "MIDIComposePlay");  /* the command and the library ship together */
    if (render == NULL || release == NULL || statusName == NULL || play == NULL) {
        fprintf(stderr, "Error: %s does not render and play as %s needs\n", kLibraryName, option);
        return EXIT_NO_AUDIO;
    }
    /* Casts between function pointer types; each is called as what it is. */
    audio->render = (int (*)(const unsigned char*, size_t, const char*, int, const char*, MIDIComposeAudio*))render;
    audio->release = (void (*)(MIDIComposeAudio*))release;
    audio->statusName = (const char* (*)(int))statusName;
    audio->play = (int (*)(const unsigned char*, size_t, const char*, int, const char*, volatile const int*,
                           MIDIComposeAudio*))play;
    return 0;
}

/* Set by Ctrl-C while --play plays; read by the library between blocks. */
static volatile int stopPlaying;
static void OnInterrupt(int signal) {
    (void)signal;
    stopPlaying = 1;
}

/* Renders, or renders and plays, and writes or saves the WAV file as asked. */
static int Sound(const unsigned char* midi, size_t length, const char* wavPath, const char* soundfont, int play) {
    AudioLibrary library;
    MIDIComposeAudio audio;
    int status, toStdout = wavPath != NULL && strcmp(wavPath, "-") == 0;
    if ((status = LoadAudioLibrary(&library, play ? "--play" : "--wav")) != 0) return status;
    memset(&audio, 0, sizeof audio);
    audio.size = sizeof audio;
    if (play) {
        void (*previous)(int) = signal(SIGINT, OnInterrupt);
        status = library.play(midi, length, soundfont, 0, toStdout ? NULL : wavPath, &stopPlaying, &audio);
        signal(SIGINT, previous);
    } else {
        status = library.render(midi, length, soundfont, 0, toStdout ? NULL : wavPath, &audio);
    }
    if (status != RENDER_OK) {
        if (audio.message != NULL) {
            fprintf(stderr, "%s\n", audio.message);
        } else {
            MIDICOMPOSE_CLI_PRINT_NO_MEMORY();
        }
    } else if (toStdout && (fwrite(audio.wav, 1, audio.length, stdout) != audio.length || fflush(stdout) != 0)) {
        fputs("Error: Failed to write the sound to standard output\n", stderr);
        status = RENDER_SAVE_FAILED;
    }
    library.release(&audio);
    /* The library stays loaded: FluidSynth keeps threads and fonts of its own until the process ends. */
    return status != RENDER_OK ? status : stopPlaying ? EXIT_INTERRUPTED : 0;
}

int RenderWav(const unsigned char* midi, size_t length, const char* wavPath, const char* soundfont) {
    return Sound(midi, length, wavPath, soundfont, 0);
}

int PlayComposition(const unsigned char* midi, size_t length, const char* wavPath, const char* soundfont) {
    return Sound(midi, length, wavPath, soundfont, 1);
}
