// The score's rule (score_layout.h): moving the boundaries, then cutting
// each note into written pieces, then marking ties, tuplets and beams.
#include "score_layout.h"

#include <algorithm>
#include <cstdint>

namespace midicompose {
namespace {

constexpr std::uint32_t kBinaryGrid = kScoreBeat / 16;   // a 64th
constexpr std::uint32_t kTripletGrid = kScoreBeat / 12;  // a 32nd triplet

std::uint64_t NearestOnGrid(std::uint64_t offset, std::uint32_t grid) {  // halfway: the later point
    return (offset + grid / 2) / grid * grid;
}
std::uint64_t Distance(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : b - a; }

// Moves the boundaries inside each beat to the grid that moves them less,
// and returns the beats that took the triplet grid, in order.
std::vector<std::uint64_t> MoveBoundaries(std::vector<std::uint64_t>& boundaries) {
    std::vector<std::uint64_t> tripletBeats;
    for (std::size_t i = 0; i < boundaries.size();) {
        if (boundaries[i] % kScoreBeat == 0) {
            ++i;
            continue;
        }
        // Boundaries never go back, so those inside one beat are together.
        const std::uint64_t beat = boundaries[i] / kScoreBeat, line = beat * kScoreBeat;
        std::size_t end = i;
        std::uint64_t binary = 0, triplet = 0;
        for (; end < boundaries.size() && boundaries[end] / kScoreBeat == beat; ++end) {
            const std::uint64_t offset = boundaries[end] - line;
            binary += Distance(NearestOnGrid(offset, kBinaryGrid), offset);
            triplet += Distance(NearestOnGrid(offset, kTripletGrid), offset);
        }
        const std::uint32_t grid = triplet < binary ? kTripletGrid : kBinaryGrid;
        if (grid == kTripletGrid) tripletBeats.push_back(beat);
        for (; i < end; ++i) boundaries[i] = line + NearestOnGrid(boundaries[i] - line, grid);
    }
    return tripletBeats;
}

// The first multiple of `unit` strictly inside (start, end), or 0.
std::uint64_t LineInside(std::uint64_t start, std::uint64_t end, std::uint64_t unit) {
    const std::uint64_t line = (start / unit + 1) * unit;
    return line < end ? line : 0;
}

// A written length in ticks as a value and a dot; false when it is neither.
bool WrittenValue(std::uint64_t ticks, ScorePiece& piece) {
    for (std::uint8_t value = 0; value < 7; ++value) {
        const std::uint64_t plain = kScoreMeasure >> value;
        if (ticks == plain || ticks == plain + plain / 2) {
            piece.value = value;
            piece.dot = ticks != plain;
            return true;
        }
    }
    return false;
}

class Cutter {
public:
    Cutter(const std::vector<std::uint64_t>& tripletBeats, std::vector<ScorePiece>& out)
        : tripletBeats_(tripletBeats), out_(out) {}

    // A note (key >= 0, its pieces tied) or a rest (key -1) from start to end.
    void Cut(std::uint64_t start, std::uint64_t end, int key) {
        const std::size_t first = out_.size();
        while (start < end) {  // measure by measure: a barline always cuts
            const std::uint64_t bar = std::min(end, (start / kScoreMeasure + 1) * kScoreMeasure);
            CutInMeasure(start, bar, key);
            start = bar;
        }
        for (std::size_t i = first; key >= 0 && i < out_.size(); ++i) {
            out_[i].tieStop = i > first;
            out_[i].tieStart = i + 1 < out_.size();
        }
    }

    bool Triplet(std::uint64_t beat) const { return std::binary_search(tripletBeats_.begin(), tripletBeats_.end(), beat); }

private:
    void CutInMeasure(std::uint64_t start, std::uint64_t end, int key) {
        const std::uint64_t at = CutPoint(start, end);
        if (at != 0) {
            CutInMeasure(start, at, key);
            CutInMeasure(at, end, key);
            return;
        }
        ScorePiece piece;
        piece.start = start;
        piece.duration = static_cast<std::uint32_t>(end - start);
        piece.key = key;
        piece.triplet = InTripletBeat(start);
        WrittenValue(piece.triplet ? piece.duration * 3 / 2 : piece.duration, piece);
        out_.push_back(piece);
    }

    // No piece crosses the lines of a triplet beat (CutPoint cuts there first).
    bool InTripletBeat(std::uint64_t start) const { return Triplet(start / kScoreBeat); }

    // Where a piece within one measure is cut next, or 0 when it is written whole.
    std::uint64_t CutPoint(std::uint64_t start, std::uint64_t end) const {
        // A line stronger than the one the piece starts on: the half measure, then the beat.
        const bool onHalf = start % (kScoreMeasure / 2) == 0, onBeat = start % kScoreBeat == 0;
        if (!onHalf) {
            if (const std::uint64_t half = LineInside(start, end, kScoreMeasure / 2)) return half;
        }
        if (!onBeat) {
            if (const std::uint64_t beat = LineInside(start, end, kScoreBeat)) return beat;
        }
        // The lines of a triplet beat: no piece crosses them.
        for (std::uint64_t line = LineInside(start, end, kScoreBeat); line != 0; line = LineInside(line, end, kScoreBeat)) {
            if (Triplet(line / kScoreBeat - 1) || Triplet(line / kScoreBeat)) return line;
        }
        ScorePiece probe;
        const bool triplet = InTripletBeat(start);
        if (WrittenValue(triplet ? (end - start) * 3 / 2 : end - start, probe)) return 0;
        // Not one value: cut at the strongest point of the grid inside it
        // (a piece longer than the grid's step always has one).
        const std::uint64_t step = triplet ? kTripletGrid : kBinaryGrid;
        std::uint64_t unit = triplet ? kScoreBeat / 3 : kScoreMeasure / 2;
        while (unit > step && LineInside(start, end, unit) == 0) unit /= 2;
        return LineInside(start, end, unit);
    }

    const std::vector<std::uint64_t>& tripletBeats_;
    std::vector<ScorePiece>& out_;
};

// The first and last piece of each triplet beat open and close its tuplet.
void MarkTuplets(std::vector<ScorePiece>& pieces) {
    ScorePiece* previous = nullptr;
    for (ScorePiece& piece : pieces) {
        if (piece.duration == 0) continue;  // grace notes stand outside
        const bool sameBeat = previous != nullptr && previous->triplet && piece.triplet &&
                              previous->start / kScoreBeat == piece.start / kScoreBeat;
        piece.tupletStart = piece.triplet && !sameBeat;
        if (previous != nullptr) previous->tupletStop = previous->triplet && !sameBeat;
        previous = &piece;
    }
    if (previous != nullptr) previous->tupletStop = previous->triplet;
}

int BeamCount(const ScorePiece& piece) { return piece.value >= 3 ? piece.value - 2 : 0; }

// Beams one group of notes within a beat: a line at each level the
// neighbours share, a hook where a note alone has more beams.
void BeamGroup(const std::vector<ScorePiece*>& group) {
    if (group.size() < 2) return;
    for (int level = 1; level <= kBeamLevels; ++level) {
        for (std::size_t i = 0; i < group.size(); ++i) {
            if (BeamCount(*group[i]) < level) continue;
            const bool before = i > 0 && BeamCount(*group[i - 1]) >= level;
            const bool after = i + 1 < group.size() && BeamCount(*group[i + 1]) >= level;
            BeamKind& kind = group[i]->beams[level - 1];
            if (before && after) kind = kBeamContinue;
            else if (before) kind = kBeamEnd;
            else if (after) kind = kBeamBegin;
            else kind = i == 0 ? kForwardHook : kBackwardHook;
        }
    }
}

// Eighths and shorter that follow each other within one beat are beamed.
void MarkBeams(std::vector<ScorePiece>& pieces) {
    std::vector<ScorePiece*> group;
    for (ScorePiece& piece : pieces) {
        if (piece.duration == 0) continue;
        const std::uint64_t beat = piece.start / kScoreBeat;
        // Eighths and shorter never cross a beat line: the metric rule cuts them there.
        const bool beamable = piece.key >= 0 && BeamCount(piece) > 0;
        if (!group.empty() && (!beamable || group.back()->start / kScoreBeat != beat)) {
            BeamGroup(group);
            group.clear();
        }
        if (beamable) group.push_back(&piece);
    }
    BeamGroup(group);
}

}  // namespace

bool LayOutScore(const MIDIComposeNote* notes, std::size_t count, ScoreLayout& layout) {
    std::vector<std::uint64_t> written(count + 1, 0);
    for (std::size_t i = 0; i < count; ++i) written[i + 1] = written[i] + notes[i].length;
    std::vector<std::uint64_t> moved = written;
    const std::vector<std::uint64_t> tripletBeats = MoveBoundaries(moved);
    const std::uint64_t end = moved[count];
    layout.measures = std::max<std::uint64_t>(1, (end + kScoreMeasure - 1) / kScoreMeasure);
    if (layout.measures > kMaxScoreMeasures) return false;

    std::size_t sounding = count;  // the last note that sounds, or count when none does
    for (std::size_t i = count; i-- > 0;) {
        if (moved[i + 1] != moved[i]) {
            sounding = i;
            break;
        }
    }
    Cutter cutter(tripletBeats, layout.pieces);
    for (std::size_t i = 0; i < count; ++i) {
        if (moved[i + 1] == moved[i]) {
            if (sounding == count || i > sounding) {
                ++layout.leftOut;
                continue;
            }
            ScorePiece grace;
            grace.start = moved[i];
            grace.key = notes[i].key;
            grace.value = 3;  // written as a slashed eighth
            layout.pieces.push_back(grace);
            ++layout.grace;
            continue;
        }
        layout.moved += moved[i] != written[i] || moved[i + 1] != written[i + 1];
        cutter.Cut(moved[i], moved[i + 1], notes[i].key);
    }
    cutter.Cut(end, layout.measures * kScoreMeasure, -1);
    MarkTuplets(layout.pieces);
    MarkBeams(layout.pieces);
    return true;
}

}  // namespace midicompose
