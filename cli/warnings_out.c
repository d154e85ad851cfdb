/* The command's warning lines (warnings_out.h). */
#include "warnings_out.h"

#include "console_text.h"

size_t CharacterColumn(const char* text, size_t start) {
    size_t column = 1, i;
    /* Every byte but a UTF-8 continuation byte starts a character. */
    for (i = 0; i < start && text[i] != '\0'; ++i) column += ((unsigned char)text[i] & 0xC0) != 0x80;
    return column;
}

void PrintWarning(FILE* out, const char* place, size_t column, const char* kind, const MIDIComposeWarning* warning) {
    const char* code = MIDIComposeWarningName(warning->code);
    char number[32];
    snprintf(number, sizeof number, ":%lu: ", (unsigned long)column);
    PutText(place, out);
    PutText(number, out);
    PutText(kind, out);
    PutText(": ", out);
    PutText(warning->message, out);
    PutText(" [", out);
    PutText(code != NULL ? code : "?", out);
    PutText("]\n", out);
}
