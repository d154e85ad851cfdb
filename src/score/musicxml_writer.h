// A laid-out score as MusicXML 4.0 (score-partwise, one part, voice 1).
#ifndef MIDICOMPOSE_MUSICXML_WRITER_H
#define MIDICOMPOSE_MUSICXML_WRITER_H

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <string>

#include "midicompose.h"
#include "score_layout.h"

namespace midicompose {

// The part: its instrument as the report names it, and its program (128
// for drums, which are written unpitched on a percussion staff).
struct ScorePart {
    const char* name;
    int program;
};

struct FreeText {
    void operator()(char* text) const { std::free(text); }
};
// A NUL-terminated text in malloc'd memory, which a C caller can be handed.
struct ScoreText {
    std::unique_ptr<char, FreeText> text;
    std::size_t length;
};

// The score's text, the same bytes for the same notes. `notes` are the
// composition's (the clef comes from the mean of their keys). May throw
// std::bad_alloc.
ScoreText WriteMusicXML(const ScoreLayout& layout, const MIDIComposeNote* notes, std::size_t count,
                        const ScorePart& part);

// What the score moved, in words ("3 notes moved to the nearest 64th or
// triplet, 1 grace note"), or "" when it moved nothing.
std::string ScoreChanges(const ScoreLayout& layout);

}  // namespace midicompose

#endif
