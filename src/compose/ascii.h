// The character classes the note text and the numbers are read by: ASCII
// alone, whatever the locale, so that every platform reads a text alike.
#ifndef MIDICOMPOSE_COMPOSE_ASCII_H
#define MIDICOMPOSE_COMPOSE_ASCII_H

namespace midicompose {

inline bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// A space, tab, line feed, vertical tab, form feed or carriage return.
inline bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace midicompose

#endif
