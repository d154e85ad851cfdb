/* A C99 host: the public header must compile as C, and the shared library
 * must be callable from C. Composes the chord to argv[1]. */
#include <stdio.h>
#include <string.h>

#include "midicompose.h"

/* The library's own facts and the notes it hands back, from C. */
static int CheckFacts(void) {
    MIDIComposeResult result;
    int program = -1, ok;
    const char* drums = MIDIComposeInstrument(131, &program);
    char version[32];
    snprintf(version, sizeof version, "%d.%d.%d", MIDICOMPOSE_VERSION_MAJOR, MIDICOMPOSE_VERSION_MINOR,
             MIDICOMPOSE_VERSION_PATCH);
    if (strcmp(MIDIComposeVersion(), version) != 0 || MIDIComposeStatusName(COMPOSE_BAD_BEATS) == NULL ||
        strcmp(MIDIComposeStatusName(COMPOSE_BAD_BEATS), "COMPOSE_BAD_BEATS") != 0 ||
        MIDIComposeStatusName(0) != NULL || drums == NULL || strcmp(drums, "drums") != 0 || program != 128 ||
        MIDIComposeInstrument(132, NULL) != NULL) {
        fputs("the library's facts are wrong\n", stderr);
        return 1;
    }
    memset(&result, 0, sizeof result);
    result.size = sizeof result;
    ok = MIDIComposeUTF8("C:2 E G C5:2", NULL, "violin", "1", &result) == COMPOSE_OK && result.noteCount == 4 &&
         strcmp(result.instrument, "violin") == 0 && result.noteList[3].key == 72 &&
         result.noteList[3].start == 1920 && result.noteList[3].length == 960 && result.noteList[3].channel == 0 &&
         result.warnings == NULL && result.warningCount == 0;
    MIDIComposeFreeResult(&result);
    /* "C#5" plays C4: a warning on "#5", bytes 1 to 3 */
    ok = ok && MIDIComposeUTF8("C#5 E", NULL, "violin", "1", &result) == COMPOSE_OK && result.warningCount == 1 &&
         result.warnings[0].code == COMPOSE_WARN_SHARP_OR_FLAT && result.warnings[0].start == 1 &&
         result.warnings[0].end == 3 && result.warnings[0].note == 0 &&
         strcmp(MIDIComposeWarningName(result.warnings[0].code), "SHARP_OR_FLAT") == 0 &&
         strcmp(MIDIComposeArgumentName(result.warnings[0].argument), "notes") == 0 &&
         strcmp(result.warnings[0].message, "C#5 has no sharps or flats here: played as C4 (key 60)") == 0;
    MIDIComposeFreeResult(&result);
    if (!ok) fputs("the note list is wrong\n", stderr);
    return ok ? 0 : 1;
}

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
    if (MIDICompose(notes, path, instrument, NULL) != COMPOSE_BAD_BEATS) return 1;
    return CheckFacts();
}
