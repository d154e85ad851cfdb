/* A program built against the 1.1.0 header (tests/abi/1.1.0), run against
 * this library: its smaller MIDIComposeResult is filled up to its own size
 * and not a byte past it, and every call it knows works as it did. */
#include <stdio.h>
#include <string.h>

#include "midicompose.h"

int main(void) {
    struct {
        MIDIComposeResult result;
        unsigned char guard[64];
    } call;
    size_t i;
    int status;
    memset(&call, 0xAB, sizeof call);
    call.result.size = sizeof call.result;
    status = MIDIComposeUTF8("C:2 E:1 G:1 C5:2", NULL, "violin", "1.0", &call.result);
    if (status != COMPOSE_OK || call.result.length != 65 || call.result.program != 40 || call.result.notes != 4 ||
        call.result.beats != 6.0 || strstr(call.result.output, "Instrument: violin (program 40)") == NULL) {
        fprintf(stderr, "status %d, %lu bytes\n", status, (unsigned long)call.result.length);
        return 1;
    }
    for (i = 0; i < sizeof call.guard; ++i) {
        if (call.guard[i] != 0xAB) {
            fprintf(stderr, "byte %lu past the 1.1.0 structure was written\n", (unsigned long)i);
            return 1;
        }
    }
    MIDIComposeFreeResult(&call.result);
    MIDIComposeFreeResult(&call.result);
    return call.result.data == NULL && call.result.output == NULL ? 0 : 1;
}
