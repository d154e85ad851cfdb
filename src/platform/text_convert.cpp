// UTF-16 arguments to the library's 8-bit text, and UTF-8 paths to UTF-16 on Windows.
#include <new>
#include <stdexcept>

#include "text_convert.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace midicompose {

#if defined(_WIN32)

// The console texts use the ANSI code page, as every other console program does.
bool ConvertArgument(const MIDIComposeChar* text, std::string& out) {
    out.clear();
    if (text == nullptr) return true;
    try {
        const int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
        if (bytes <= 1) return true;
        out.resize(static_cast<std::size_t>(bytes));
        if (WideCharToMultiByte(CP_ACP, 0, text, -1, &out[0], bytes, nullptr, nullptr) != bytes) {
            out.clear();
            return true;
        }
        out.resize(static_cast<std::size_t>(bytes) - 1);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::wstring WidePath(const char* path) {
    std::wstring wide;
    const auto* p = reinterpret_cast<const unsigned char*>(path);
    while (*p != 0) {
        unsigned long code = *p;
        int extra = code < 0x80 ? 0 : code >= 0xC2 && code < 0xE0 ? 1 : code >= 0xE0 && code < 0xF0 ? 2
                  : code >= 0xF0 && code < 0xF5 ? 3 : -1;
        if (extra < 0) return std::wstring();
        code &= extra == 0 ? 0x7F : 0x3F >> extra;
        for (int k = 1; k <= extra; ++k) {
            if ((p[k] & 0xC0) != 0x80) return std::wstring();
            code = (code << 6) | (p[k] & 0x3Fu);
        }
        const unsigned long least[4] = {0, 0x80, 0x800, 0x10000};
        if (code < least[extra] || code > 0x10FFFF) return std::wstring();  // overlong or out of range
        p += extra + 1;
        if (code >= 0x10000) {
            wide += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
            wide += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<wchar_t>(code);
        }
    }
    return wide;
}

#endif

namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

bool Utf16ToUtf8(const MIDIComposeChar* text, std::string& out, bool keepLoneSurrogates) {
    out.clear();
    std::size_t units = 0;
    unsigned all = 0;
    for (; text[units] != 0; ++units) all |= text[units];
    if (all < 0x80) {  // the usual case, ASCII: one byte a unit
        out.resize(units);
        char* bytes = &out[0];  // through a plain pointer the loop vectorises
        for (std::size_t i = 0; i < units; ++i) bytes[i] = static_cast<char>(text[i]);
        return true;
    }
    out.reserve(units * 3);  // a unit never takes more than three bytes
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t u = static_cast<char16_t>(text[i]);
        if (IsHighSurrogate(u) && i + 1 < units && IsLowSurrogate(static_cast<char16_t>(text[i + 1]))) {
            AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
            ++i;
        } else if ((IsHighSurrogate(u) || IsLowSurrogate(u)) && !keepLoneSurrogates) {
            out.clear();
            return false;
        } else {
            AppendUtf8(out, u);  // a lone surrogate kept: its own three bytes
        }
    }
    return true;
}

#if !defined(_WIN32)

// UTF-8, pairing surrogates; an unpaired surrogate is not text at all, and
// gives the empty text.
bool ConvertArgument(const MIDIComposeChar* text, std::string& out) {
    out.clear();
    if (text == nullptr) return true;
    try {
        if (!Utf16ToUtf8(text, out, false)) out.clear();
        return true;
    } catch (...) {  // memory ran out, or the text is longer than a string can be
        return false;
    }
}

#endif

}  // namespace midicompose
