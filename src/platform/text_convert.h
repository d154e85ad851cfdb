// Texts at the platform's edge, converted in one place: UTF-16 to UTF-8 (the
// arguments of MIDICompose, the command's on Windows), and on Windows UTF-8
// paths to the UTF-16 ones that files are opened by.
#ifndef MIDICOMPOSE_TEXT_CONVERT_H
#define MIDICOMPOSE_TEXT_CONVERT_H

#include <string>

#include "midicompose.h"

namespace midicompose {

// Converts a NUL-terminated UTF-16 argument to the library's 8-bit text
// (UTF-8; the ANSI code page on Windows). A null pointer or a text that does
// not convert gives the empty text. False only when memory runs out.
bool ConvertArgument(const MIDIComposeChar* text, std::string& out);

// UTF-16 to UTF-8, pairing surrogates. A lone surrogate is written as its
// own three bytes (as WidePath reads it back) when keepLoneSurrogates, and
// otherwise makes the text no text: false, out empty. May throw
// std::bad_alloc.
bool Utf16ToUtf8(const MIDIComposeChar* text, std::string& out, bool keepLoneSurrogates);

#if defined(_WIN32)
// UTF-8 to the UTF-16 path Windows opens files by; empty when it does not
// convert. A surrogate written as three bytes (as Python's os.fsencode and
// Rust's OsStr write a name holding a lone one) comes back as that same
// surrogate, so every name Windows can hold gets through unchanged. May
// throw std::bad_alloc.
std::wstring WidePath(const char* path);
#endif

}  // namespace midicompose

#endif
