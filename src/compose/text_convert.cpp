// UTF-16 arguments to the library's 8-bit text.
#include <new>
#include <stdexcept>

#include "compose.h"

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

#else

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

// UTF-8, pairing surrogates; an unpaired surrogate is not text at all.
bool ConvertArgument(const MIDIComposeChar* text, std::string& out) {
    out.clear();
    if (text == nullptr) return true;
    try {
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
            const char16_t u = text[i];
            if (IsHighSurrogate(u) && i + 1 < units && IsLowSurrogate(text[i + 1])) {
                AppendUtf8(out, 0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
                ++i;
            } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
                out.clear();
                return true;
            } else {
                AppendUtf8(out, u);
            }
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

#endif

}  // namespace midicompose
