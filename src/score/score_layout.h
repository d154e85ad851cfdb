// A composition laid out as a score: its notes moved to the values a score
// can write, cut into written pieces in measures of 4/4. What becomes of a
// note:
//   1. Boundaries (each note's start, the last note's end) inside a beat
//      move, all to the 64th grid or all to the 32nd-triplet grid, whichever
//      moves them less (on a tie the 64ths; halfway goes to the later point).
//   2. A note whose moved length is 0 is a grace note before the note that
//      follows it; after the last sounding note it is left out.
//   3. A sounding note is cut at barlines, where it crosses a line stronger
//      than the one it starts on (the half measure, then the beat), at the
//      lines of a triplet beat, and then until each piece is one value or a
//      dotted one; the pieces are tied.
//   4. The last measure is filled with rests, cut by the same rule.
#ifndef MIDICOMPOSE_SCORE_LAYOUT_H
#define MIDICOMPOSE_SCORE_LAYOUT_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "midicompose.h"

namespace midicompose {

constexpr std::uint32_t kScoreBeat = 480;             // ticks a beat, and the score's divisions
constexpr std::uint32_t kScoreMeasure = 4 * kScoreBeat;  // 4/4 throughout
constexpr std::uint64_t kMaxScoreMeasures = 10000;

// A written value: 0 whole, 1 half, 2 quarter, 3 eighth, 4 16th, 5 32nd, 6 64th.
enum BeamKind : std::uint8_t { kNoBeam, kBeamBegin, kBeamContinue, kBeamEnd, kForwardHook, kBackwardHook };
constexpr int kBeamLevels = 4;  // eighths to 64ths

// One note, rest or grace note as the score writes it.
struct ScorePiece {
    std::uint64_t start = 0;     // tick, after moving
    std::uint32_t duration = 0;  // ticks; 0 for a grace note
    int key = -1;                // MIDI key; -1 for a rest
    std::uint8_t value = 0;      // see above
    bool dot = false;
    bool triplet = false;        // a 3:2 tuplet value
    bool tieStop = false, tieStart = false;
    bool tupletStart = false, tupletStop = false;
    BeamKind beams[kBeamLevels] = {};
};

struct ScoreLayout {
    std::vector<ScorePiece> pieces;  // in the order written; grace notes before the note they lead to
    std::uint64_t measures = 0;
    int moved = 0;    // sounding notes whose start or length moved
    int grace = 0;    // notes of no length before a sounding one
    int leftOut = 0;  // notes of no length after the last sounding one
};

// Lays the notes out (their lengths, in order; their starts are not read).
// Returns false, with layout.measures set and no pieces, when the score
// would run past kMaxScoreMeasures. May throw std::bad_alloc.
bool LayOutScore(const MIDIComposeNote* notes, std::size_t count, ScoreLayout& layout);

}  // namespace midicompose

#endif
