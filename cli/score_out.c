/* --musicxml for a composition and for each line of a batch. */
#include "score_out.h"

#include <stdio.h>
#include <string.h>

#include "console_text.h"
#include "messages.h"

/* "PLACE: LABEL: TEXT", each of the first two only when given. */
static void PrintPlaced(const char* place, const char* label, const char* text) {
    if (place != NULL) fprintf(stderr, "%s: ", place);
    if (label != NULL) fprintf(stderr, "%s: ", label);
    PutText(text, stderr);
    fputc('\n', stderr);
}

int WriteScore(const MIDIComposeResult* composition, const char* path, const char* place, int quiet) {
    const int toOutput = strcmp(path, "-") == 0;
    MIDIComposeScore score;
    int status;
    memset(&score, 0, sizeof score);
    score.size = sizeof score;
    status = MIDIComposeMusicXML(composition, toOutput ? NULL : path, &score);
    if (status == COMPOSE_OK && toOutput) fwrite(score.musicxml, 1, score.length, stdout);
    if (score.message == NULL) {
        MIDICOMPOSE_CLI_PRINT_NO_MEMORY();
    } else if (status != COMPOSE_OK) {
        PrintPlaced(place, place != NULL ? MIDIComposeStatusName(status) : NULL, score.message);
    } else if (!quiet && score.message[0] != '\0') {
        PrintPlaced(place, "score", score.message);
    }
    MIDIComposeFreeScore(&score);
    return status;
}
