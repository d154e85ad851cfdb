// The composition itself, shared by both entry points: arguments in, the
// file's bytes and the console texts out. Nothing here prints.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "compose.h"
#include "instruments.h"

namespace midicompose {
namespace {

// What a call owns; released on every path out of the call.
struct Resources {
    std::unique_ptr<NoteList> list;
    int count = 0;
    MIDIWriterPtr writer;
    ~Resources() {
        if (list != nullptr) FreeNoteNames(*list, count);
    }
};

// The texts of lengths already printed in this call: a composition has at
// most a hundred notes and usually a handful of distinct lengths, so each is
// formatted once.
class LengthTexts {
public:
    const char* For(float beats) {
        for (int i = 0; i < used_; ++i) {
            if (values_[i] == beats) return texts_[i].text;
        }
        if (used_ == kSlots) {
            scratch_ = FormatShortNumber(beats);
            return scratch_.text;
        }
        values_[used_] = beats;
        texts_[used_] = FormatShortNumber(beats);
        return texts_[used_++].text;
    }

private:
    static constexpr int kSlots = 8;
    float values_[kSlots];
    ShortNumber texts_[kSlots];
    ShortNumber scratch_;
    int used_ = 0;
};

int Fail(Composed& out, int status, const char* message) {
    out.errors += message;
    return status;
}

int Compose(const ComposeTexts& texts, const NativePathChar* nativePath, Composed& out) {
    const float defaultBeats = NarrowToFloat(ParseDecimal(texts.beats, texts.beats + std::strlen(texts.beats)));
    if (!(defaultBeats > 0.0f)) {
        out.errors.append("Error: Invalid beats value '").append(texts.beats).append("'\n");
        return COMPOSE_BAD_BEATS;
    }

    const int program = ResolveInstrument(texts.instrument);
    if (program < 0) {
        out.errors.append("Error: Invalid instrument '").append(texts.instrument).append("'\n");
        return Fail(out, COMPOSE_BAD_INSTRUMENT, "Use --list-instruments to see available instruments\n");
    }
    out.program = program;

    Resources r;
    r.list.reset(new (std::nothrow) NoteList);
    if (r.list == nullptr) return Fail(out, COMPOSE_NO_MEMORY, "Error: Memory allocation failed\n");

    r.count = ParseNotes(texts.notes, *r.list, kMaxNotes, defaultBeats);
    if (r.count == 0) return Fail(out, COMPOSE_NO_NOTES, "Error: No valid notes found in input\n");

    r.writer.reset(CreateMIDIWriter());
    if (r.writer == nullptr) return Fail(out, COMPOSE_NO_WRITER, "Error: Failed to create MIDI writer\n");
    SetMIDIWriterProgram(r.writer.get(), static_cast<std::uint8_t>(program & 0xFF));

    out.output += "Generating MIDI file with notes: ";
    std::uint32_t startTick = 0;
    float beatSum = 0.0f;
    LengthTexts lengths;
    for (int i = 0; i < r.count; ++i) {
        const NoteEntry& note = r.list->entries[i];
        out.output += note.name;
        if (note.beats != defaultBeats) {
            out.output += ':';
            out.output += lengths.For(note.beats);
        }
        if (i < r.count - 1) out.output += ' ';

        // Every tick must fit a four-byte delta time; a longer composition
        // cannot be written at all.
        const float product = note.beats * static_cast<float>(kTicksPerQuarter);
        const std::uint32_t room = kMaxTick - startTick;
        if (!(static_cast<double>(product) < static_cast<double>(room) + 1.0)) {
            out.errors.append("\nError: Composition too long at note ").append(note.name).append("\n");
            return COMPOSE_TOO_LONG;
        }
        const std::uint32_t ticks = static_cast<std::uint32_t>(product);  // the fraction is dropped

        if (!AddMIDINote(r.writer.get(), note.name, startTick, ticks, kNoteVelocity)) {
            out.errors.append("\nError: Failed to add note ").append(note.name).append("\n");
            return COMPOSE_ADD_NOTE_FAILED;
        }
        startTick += ticks;
        beatSum = note.beats + beatSum;
    }
    out.output += '\n';

    // The report is written, and the file exists in memory in full, before
    // the path is touched: once the file is saved, nothing is left that
    // could fail and report a failure for a file that was written.
    const ShortNumber duration = FormatShortNumber(beatSum);
    char counts[64];
    std::snprintf(counts, sizeof counts, " (program %d)\nDuration: ", program);
    std::string report;
    report.append("MIDI file created successfully: ").append(texts.path).append("\n");
    report.append("Instrument: ").append(InstrumentNameForProgram(program & 0xFF)).append(counts);
    report.append(duration.text).append(" beats (").append(duration.text).append(" quarter notes)\n");
    report.append("Notes: ").append(std::to_string(r.count)).append("\n");
    out.output.reserve(out.output.size() + report.size());

    if (!EncodeMIDIFile(r.writer.get(), out.file)) {
        out.file.clear();
        out.errors += "Error: Failed to write track data\n";
        return Fail(out, COMPOSE_SAVE_FAILED, "Error: Failed to create MIDI file\n");
    }
    if (nativePath != nullptr && !SaveEncodedMIDIFile(out.file, texts.path, nativePath, out.errors)) {
        out.file.clear();
        return Fail(out, COMPOSE_SAVE_FAILED, "Error: Failed to create MIDI file\n");
    }
    out.output += report;  // within the capacity reserved above: no allocation
    out.notes = r.count;
    out.beats = beatSum;
    return COMPOSE_OK;
}

}  // namespace

void ComposeNotes(const ComposeTexts& texts, const NativePathChar* nativePath, Composed& out) {
    out.status = Compose(texts, nativePath, out);
}

}  // namespace midicompose
