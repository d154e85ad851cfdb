/* The command's UTF-8 output (console_text.h). A Windows console is given
 * UTF-16 through WriteConsoleW: bytes written to it are read in its code
 * page, which not every console and C runtime take as UTF-8 even when told
 * to (wine's console shows "dür" as "dÃ¼r"). */
#include "console_text.h"

#if defined(_WIN32)
#include <stdlib.h>
#include <windows.h>

/* True when the text went to a console as characters. */
static int PutToConsole(const char* text, FILE* stream) {
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode, written;
    wchar_t* wide;
    int units;
    if ((stream != stdout && stream != stderr) || !GetConsoleMode(handle, &mode)) return 0;
    units = MultiByteToWideChar(CP_UTF8, 0, text, -1, NULL, 0);
    wide = units > 0 ? (wchar_t*)malloc((size_t)units * sizeof *wide) : NULL;
    if (wide == NULL) return 0; /* the bytes, then, rather than nothing */
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide, units);
    fflush(stream); /* what was printed before comes first */
    WriteConsoleW(handle, wide, (DWORD)(units - 1), &written, NULL);
    free(wide);
    return 1;
}
#endif

void PutText(const char* text, FILE* stream) {
#if defined(_WIN32)
    if (PutToConsole(text, stream)) return;
#endif
    fputs(text, stream);
}
