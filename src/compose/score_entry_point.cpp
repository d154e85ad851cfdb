// The exported score function: a thin C wrapper that lays out a
// composition's notes, writes its MusicXML, saves it safely and hands it
// over, and never lets an exception reach a C caller.
#include <cstdlib>
#include <new>
#include <string>

#include "c_result.h"
#include "compose.h"
#include "musicxml_writer.h"
#include "score_layout.h"
#include "text_convert.h"

namespace midicompose {
namespace {

#define HOLDS(score, field) MIDICOMPOSE_FITS(score, MIDIComposeScore, field)
#define COMPOSED(result, field) MIDICOMPOSE_FITS(result, MIDIComposeResult, field)

void ClearScore(MIDIComposeScore* score) {
    if (HOLDS(score, musicxml)) score->musicxml = nullptr;
    if (HOLDS(score, length)) score->length = 0;
    if (HOLDS(score, measures)) score->measures = 0;
    if (HOLDS(score, moved)) score->moved = 0;
    if (HOLDS(score, graceNotes)) score->graceNotes = 0;
    if (HOLDS(score, leftOut)) score->leftOut = 0;
    if (HOLDS(score, message)) score->message = nullptr;
}

// An error line without its line break, as the score's message.
std::string ErrorMessage(int status, const std::string& rest) {
    std::string line = ErrorLine(status, rest);
    line.pop_back();
    return line;
}

int Save(const char* outputPath, const ScoreText& xml, std::string& message) {
#if defined(_WIN32)
    const std::wstring wide = WidePath(outputPath);
    const NativePathChar* path = wide.c_str();
#else
    const NativePathChar* path = outputPath;
#endif
    const ReplaceResult replaced =
        ReplaceFileContents(path, reinterpret_cast<const std::uint8_t*>(xml.text.get()), xml.length);
    if (replaced == ReplaceResult::Ok) return COMPOSE_OK;
    message = std::string(replaced == ReplaceResult::CannotCreate ? "Error: Could not create file " : "Error: Failed to write ") +
              outputPath;
    return COMPOSE_SAVE_FAILED;
}

int HandOver(int status, const ScoreLayout& layout, ScoreText& xml, const std::string& message,
             MIDIComposeScore* score) {
    char* words = nullptr;
    if (HOLDS(score, message) && (words = CopyOut<char>(message.data(), message.size(), true)) == nullptr) {
        return COMPOSE_NO_MEMORY;
    }
    char* text = status == COMPOSE_OK && HOLDS(score, musicxml) ? xml.text.release() : nullptr;
    if (HOLDS(score, musicxml)) score->musicxml = text;
    if (HOLDS(score, length)) score->length = text != nullptr ? xml.length : 0;
    if (HOLDS(score, measures)) score->measures = layout.measures;
    if (HOLDS(score, moved)) score->moved = layout.moved;
    if (HOLDS(score, graceNotes)) score->graceNotes = layout.grace;
    if (HOLDS(score, leftOut)) score->leftOut = layout.leftOut;
    if (HOLDS(score, message)) score->message = words;
    return status;
}

int WriteScore(const MIDIComposeResult* composition, const char* outputPath, MIDIComposeScore* score) {
    if (score != nullptr) ClearScore(score);
    ScoreLayout layout;
    ScoreText xml{};
    std::string message;
    int status = COMPOSE_OK;
    // A failed composition hands back no notes (noteCount 0).
    if (composition == nullptr || !COMPOSED(composition, noteCount) || composition->noteCount == 0 ||
        composition->instrument == nullptr) {
        status = COMPOSE_NO_NOTES;
        message = ErrorMessage(status, "");
    } else if (!LayOutScore(composition->noteList, composition->noteCount, layout)) {
        status = COMPOSE_SCORE_TOO_LONG;
        message = ErrorMessage(status, ": " + std::to_string(layout.measures) + " measures, at most " +
                                           std::to_string(kMaxScoreMeasures));
    } else {
        xml = WriteMusicXML(layout, composition->noteList, composition->noteCount,
                            {composition->instrument, composition->program});
        message = ScoreChanges(layout);
        if (outputPath != nullptr) status = Save(outputPath, xml, message);
    }
    return score != nullptr ? HandOver(status, layout, xml, message, score) : status;
}

}  // namespace
}  // namespace midicompose

extern "C" MIDICOMPOSE_API int MIDIComposeMusicXML(const MIDIComposeResult* composition, const char* outputPath,
                                                   MIDIComposeScore* score) {
    try {
        return midicompose::WriteScore(composition, outputPath, score);
    } catch (...) {  // memory ran out: nothing is handed over
        MIDIComposeFreeScore(score);
        return COMPOSE_NO_MEMORY;
    }
}

extern "C" MIDICOMPOSE_API void MIDIComposeFreeScore(MIDIComposeScore* score) {
    if (score == nullptr) return;
    MIDICOMPOSE_FREE_FIELD(score, MIDIComposeScore, musicxml);
    MIDICOMPOSE_FREE_FIELD(score, MIDIComposeScore, message);
    midicompose::ClearScore(score);
}
