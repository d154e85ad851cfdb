// Composition front end: argument texts, the note-text parser and the
// number grammar shared by the beats argument and ":beats" suffixes.
#ifndef MIDICOMPOSE_COMPOSE_H
#define MIDICOMPOSE_COMPOSE_H

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "midi_save.h"
#include "midi_writer.h"
#include "midicompose.h"

namespace midicompose {

// The four arguments as 8-bit text (UTF-8; the ANSI code page for the UTF-16
// entry point on Windows). Never null.
struct ComposeTexts {
    const char* notes = "";
    const char* path = "";
    const char* instrument = "";
    const char* beats = "";
};

// One thing the grammar did with the texts that the caller may not expect,
// with its place: bytes [start, end) of the argument's text.
struct NotationWarning {
    int code;      // MIDIComposeWarningCode
    int argument;  // MIDIComposeArgument
    int note;      // index of the composed note it is about, or -1
    std::size_t start;
    std::size_t end;
    std::string message;
};

struct NoteList;

// Everything a composition produces.
struct Composed {
    int status = 0;
    ByteBuffer file;     // the file's bytes on success, else empty
    std::string output;  // what MIDICompose prints on standard output
    std::string errors;  // and on standard error
    int program = -1;    // once resolved
    const char* instrument = nullptr;  // the program's name, once resolved (static)
    int notes = 0;       // on success
    double beats = 0.0;  // on success: the beat sum of the report
    MIDIWriterPtr writer;  // on success: the notes as the file holds them
    std::unique_ptr<NoteList> list;  // on success: the notes as parsed, in the writer's order (their places)
    std::vector<NotationWarning> warnings;  // what the grammar did with the texts
};

// Composes the notes, and saves the file at nativePath unless it is null.
// texts.path is the path as the messages show it. May throw std::bad_alloc
// for the texts; everything else ends in out.status.
void ComposeNotes(const ComposeTexts& texts, const NativePathChar* nativePath, Composed& out);

// A status's message line, "Error: WORDS" with the words of the library's
// status table, and what follows them. May throw std::bad_alloc.
std::string ErrorLine(int status, const std::string& rest = "");

constexpr int kMaxNotes = 100;        // notes beyond the hundredth are dropped
constexpr unsigned kNoteVelocity = 100;

// Plain data, left unset until the parser writes it: only the entries it
// counts are ever read, and a call then needs no 2.4 KB cleared first.
struct NoteEntry {
    const char* name;    // in the list's name store; never null for a counted entry
    std::size_t length;  // of the name, without its NUL
    float beats;         // length in quarter notes, above zero
    // Where the note stands in the note text, for its warnings: its first
    // byte, its ':' (its end when it has none), the end of its length's
    // number (its ':' + 1 when there is none), and its end.
    std::size_t start, colon, numberEnd, end;
    bool ownLength;  // its beats come from its own ":beats", not the default
};

struct NoteList {
    NoteEntry entries[kMaxNotes];
    // Every name, each NUL-terminated, in one allocation: a call's names
    // are all there or none is (no note is silently dropped for want of
    // memory), and a hundred notes cost one allocation, not a hundred.
    std::unique_ptr<char[]> names;
    // The first byte of a note past the last the parser could keep (npos
    // when there is none).
    std::size_t dropped = std::string::npos;
};

// Parses the note text into list entries 0 to count-1 and returns the count
// (at most max, itself at most kMaxNotes). A text containing a space is in
// beat notation ("C:2 E G:0.5"), anything else in compact notation ("FACE").
int ParseNotes(const char* text, NoteList& list, int max, float defaultBeats);
// One note per ASCII letter; everything else is skipped.
int ParseCompactNotes(const char* text, NoteList& list, int max, float defaultBeats);
// Notes separated by runs of space, tab and line feed, each "name[:beats]".
int ParseBeatNotes(const char* text, NoteList& list, int max, float defaultBeats);
// Releases the names; the first n entries no longer name anything.
void FreeNoteNames(NoteList& list, int n);
// Whether the text is in beat notation (it holds a space).
bool IsBeatNotation(const char* text);

// How the beats and instrument texts were read: the default length, where
// its number ends, and how many digits were read as a program (0 for a name).
struct ArgumentsRead {
    float defaultBeats = 0.0f;
    std::size_t beatsNumberEnd = 0;
    std::size_t instrumentDigits = 0;
};

// Appends to out.warnings what the grammar did with each text of a
// composition whose notes were all added. Allocates only for a warning; may
// throw std::bad_alloc.
void FindWarnings(const ComposeTexts& texts, const ArgumentsRead& read, const NoteList& list, int count,
                  Composed& out);

// The decimal number at the start of [begin, end): optional white space, a
// sign, digits with an optional point and fraction, an optional exponent.
// Anything else (hexadecimal, "inf", "nan") reads as no number: 0. Correctly
// rounded and independent of the locale; overflow gives an infinity. May
// throw std::bad_alloc. *numberEnd, unless null, is where the number ends
// (begin when there is none).
double ParseDecimal(const char* begin, const char* end, const char** numberEnd = nullptr);

// Rounds to single precision; values past its range become infinities.
float NarrowToFloat(double value);

// printf's "%.2g" in the C locale, whatever locale the host has set. May
// throw std::bad_alloc.
struct ShortNumber {
    char text[32];
};
ShortNumber FormatShortNumber(double value);
// The same with `digits` significant digits ("%.*g"), 1 to 17.
ShortNumber FormatNumber(double value, int digits);

}  // namespace midicompose

#endif
