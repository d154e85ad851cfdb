/* A C99 host: the public header must compile as C, and the shared library
 * must be callable from C. Composes the chord to argv[1]. */
#include <stdio.h>

#include "midicompose.h"

int main(int argc, char** argv) {
    /* UTF-16 texts spelled out unit by unit, as C99 has no u"" literals. */
    static const MIDIComposeChar notes[] = {'C', ':', '2', ' ', 'E', ':', '1', ' ', 'G', ':', '1',
                                            ' ', 'C', '5', ':', '2', 0};
    static const MIDIComposeChar instrument[] = {'v', 'i', 'o', 'l', 'i', 'n', 0};
    static const MIDIComposeChar beats[] = {'1', '.', '0', 0};
    MIDIComposeChar path[512];
    const char* p;
    size_t n = 0;
    long size;
    FILE* file;
    int status;
    if (argc != 2) return 2;
    for (p = argv[1]; *p != '\0' && n + 1 < sizeof path / sizeof path[0]; ++p) path[n++] = (MIDIComposeChar)(unsigned char)*p;
    path[n] = 0;
    status = MIDICompose(notes, path, instrument, beats);
    if (status != COMPOSE_OK) {
        fprintf(stderr, "status %d\n", status);
        return 1;
    }
    file = fopen(argv[1], "rb");
    if (file == NULL || fseek(file, 0, SEEK_END) != 0) return 1;
    size = ftell(file);
    fclose(file);
    if (size != 65) {
        fprintf(stderr, "size %ld\n", size);
        return 1;
    }
    return MIDICompose(notes, path, instrument, NULL) == COMPOSE_BAD_BEATS ? 0 : 1;
}
