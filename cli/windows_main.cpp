// The command's entry point on Windows, which hands the arguments over as
// UTF-16: converted to UTF-8 by the library's own converter, a lone surrogate
// kept as its three bytes, so that a name Windows can hold reaches the file
// unchanged.
#include <windows.h>

#include <new>
#include <string>
#include <vector>

#include "command_line.h"
#include "midicompose.h"
#include "text_convert.h"

int wmain(int argc, wchar_t** wideArgv) {
    try {
        std::vector<std::string> texts(static_cast<std::size_t>(argc));
        std::vector<char*> argv;
        for (int i = 0; i < argc; ++i) {
            midicompose::Utf16ToUtf8(wideArgv[i], texts[i], true);
            argv.push_back(&texts[i][0]);
        }
        argv.push_back(nullptr);
        // The report is UTF-8, as the texts it repeats: a pipe gets the bytes
        // themselves, and a console the characters (console_text.c); the
        // code page is for what else the command prints.
        SetConsoleOutputCP(CP_UTF8);
        return RunCommand(argc, argv.data());
    } catch (const std::bad_alloc&) {
        return COMPOSE_NO_MEMORY;
    }
}
