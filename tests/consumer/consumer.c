/* Composes one note through an installed midicompose; argv[1] is the path. */
#include <midicompose.h>

int main(int argc, char** argv) {
    static const MIDIComposeChar notes[] = {'C', 0}, instrument[] = {'p', 'i', 'a', 'n', 'o', 0},
                                 beats[] = {'1', 0};
    MIDIComposeChar path[256];
    int i;
    if (argc != 2) return 2;
    for (i = 0; argv[1][i] != '\0' && i < 255; ++i) path[i] = (MIDIComposeChar)(unsigned char)argv[1][i];
    path[i] = 0;
    return MIDICompose(notes, path, instrument, beats) == COMPOSE_OK ? 0 : 1;
}
