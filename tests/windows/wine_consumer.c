/* Run under wine against midicompose.dll: composes the chord byte for byte,
 * replaces an existing file, and gets 18 for a missing directory. */
#include <stdio.h>
#include <string.h>

#include "midicompose.h"

static const unsigned char kChord[65] = {
    0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x01, 0xE0, 0x4D, 0x54, 0x72,
    0x6B, 0x00, 0x00, 0x00, 0x2B, 0x00, 0xC0, 0x28, 0x00, 0x90, 0x3C, 0x64, 0x87, 0x40, 0x80, 0x3C, 0x00,
    0x00, 0x90, 0x40, 0x64, 0x83, 0x60, 0x80, 0x40, 0x00, 0x00, 0x90, 0x43, 0x64, 0x83, 0x60, 0x80, 0x43,
    0x00, 0x00, 0x90, 0x48, 0x64, 0x87, 0x40, 0x80, 0x48, 0x00, 0x00, 0xFF, 0x2F, 0x00};

static int SameAsChord(const wchar_t* path) {
    unsigned char bytes[128];
    size_t n;
    FILE* file = _wfopen(path, L"rb");
    if (file == NULL) return 0;
    n = fread(bytes, 1, sizeof bytes, file);
    fclose(file);
    return n == sizeof kChord && memcmp(bytes, kChord, n) == 0;
}

static int Check(int ok, const char* what) {
    if (!ok) fprintf(stderr, "FAILED: %s\n", what);
    return ok ? 0 : 1;
}

int main(void) {
    const wchar_t* path = L"chord \x00FC.mid"; /* a name outside ASCII */
    int failures = 0;
    FILE* old;
    _wremove(path);
    failures += Check(MIDICompose(L"C:2 E:1 G:1 C5:2", path, L"violin", L"1.0") == COMPOSE_OK, "compose");
    failures += Check(SameAsChord(path), "chord bytes");

    old = _wfopen(path, L"wb");
    if (old != NULL) {
        fputs("an older and longer file that must be replaced whole", old);
        fclose(old);
    }
    failures += Check(MIDICompose(L"C:2 E:1 G:1 C5:2", path, L"violin", L"1.0") == COMPOSE_OK, "replace");
    failures += Check(SameAsChord(path), "replaced bytes");
    failures += Check(MIDICompose(L"C", L"missing\\x.mid", L"piano", L"1") == COMPOSE_SAVE_FAILED, "missing directory");
    _wremove(path);
    printf("wine consumer: %d of 5 checks passed\n", 5 - failures);
    return failures == 0 ? 0 : 1;
}
