// MIDICompose: the library's one exported function.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "compose.h"
#include "instruments.h"
#include "midi_writer.h"

namespace midicompose {
namespace {

#if defined(_WIN32)
using NativePath = const wchar_t*;
#else
using NativePath = const char*;
#endif

// What a call owns; released on every path out of the call.
struct Composition {
    std::unique_ptr<NoteList> list;
    int count = 0;
    MIDIWriterPtr writer;
    ~Composition() {
        if (list != nullptr) FreeNoteNames(*list, count);
    }
};

// The progress line, gathered so that a hundred notes cost one write to
// standard output instead of two hundred. Nothing is allocated.
class ProgressLine {
public:
    ~ProgressLine() { Flush(); }
    void Append(const char* text) {
        const std::size_t length = std::strlen(text);
        if (length > sizeof buffer_ - used_) {
            Flush();
            if (length > sizeof buffer_) {
                std::fwrite(text, 1, length, stdout);
                return;
            }
        }
        std::memcpy(buffer_ + used_, text, length);
        used_ += length;
    }
    // Before an error message, so the unfinished line is out first.
    void Flush() {
        if (used_ > 0) std::fwrite(buffer_, 1, used_, stdout);
        used_ = 0;
    }

private:
    char buffer_[2048];
    std::size_t used_ = 0;
};

int Fail(int status, const char* message) {
    std::fputs(message, stderr);
    return status;
}

// The 8-bit forms of the four arguments.
struct Arguments {
    std::string notes, path, instrument, beats;
};

int Compose(const Arguments& args, NativePath nativePath) {
    const float defaultBeats = NarrowToFloat(ParseDecimal(args.beats.data(), args.beats.data() + args.beats.size()));
    if (!(defaultBeats > 0.0f)) {
        std::fprintf(stderr, "Error: Invalid beats value '%s'\n", args.beats.c_str());
        return COMPOSE_BAD_BEATS;
    }

    const int program = ResolveInstrument(args.instrument.c_str());
    if (program < 0) {
        std::fprintf(stderr, "Error: Invalid instrument '%s'\n", args.instrument.c_str());
        return Fail(COMPOSE_BAD_INSTRUMENT, "Use --list-instruments to see available instruments\n");
    }

    Composition c;
    c.list.reset(new (std::nothrow) NoteList);
    if (c.list == nullptr) return Fail(COMPOSE_NO_MEMORY, "Error: Memory allocation failed\n");

    c.count = ParseNotes(args.notes.c_str(), *c.list, kMaxNotes, defaultBeats);
    if (c.count == 0) return Fail(COMPOSE_NO_NOTES, "Error: No valid notes found in input\n");

    c.writer.reset(CreateMIDIWriter());
    if (c.writer == nullptr) return Fail(COMPOSE_NO_WRITER, "Error: Failed to create MIDI writer\n");
    SetMIDIWriterProgram(c.writer.get(), static_cast<std::uint8_t>(program & 0xFF));

    ProgressLine progress;
    progress.Append("Generating MIDI file with notes: ");
    std::uint32_t startTick = 0;
    float beatSum = 0.0f;
    for (int i = 0; i < c.count; ++i) {
        const NoteEntry& note = c.list->entries[i];
        progress.Append(note.name);
        if (note.beats != defaultBeats) {
            progress.Append(":");
            progress.Append(FormatShortNumber(note.beats).text);
        }
        if (i < c.count - 1) progress.Append(" ");

        // Every tick must fit a four-byte delta time; a longer composition
        // cannot be written at all.
        const float product = note.beats * static_cast<float>(kTicksPerQuarter);
        const std::uint32_t room = kMaxTick - startTick;
        if (!(static_cast<double>(product) < static_cast<double>(room) + 1.0)) {
            progress.Flush();
            std::fprintf(stderr, "\nError: Composition too long at note %s\n", note.name);
            return COMPOSE_TOO_LONG;
        }
        const std::uint32_t ticks = static_cast<std::uint32_t>(product);  // the fraction is dropped

        if (!AddMIDINote(c.writer.get(), note.name, startTick, ticks, kNoteVelocity)) {
            progress.Flush();
            std::fprintf(stderr, "\nError: Failed to add note %s\n", note.name);
            return COMPOSE_ADD_NOTE_FAILED;
        }
        startTick += ticks;
        beatSum = note.beats + beatSum;
    }
    progress.Append("\n");
    progress.Flush();

#if defined(_WIN32)
    const int saved = SaveMIDIFileWide(c.writer.get(), args.path.c_str(), nativePath);
#else
    const int saved = SaveMIDIFile(c.writer.get(), nativePath);
#endif
    if (!saved) return Fail(COMPOSE_SAVE_FAILED, "Error: Failed to create MIDI file\n");

    const ShortNumber duration = FormatShortNumber(beatSum);
    std::printf("MIDI file created successfully: %s\n", args.path.c_str());
    std::printf("Instrument: %s (program %d)\n", InstrumentNameForProgram(program & 0xFF), program);
    std::printf("Duration: %s beats (%s quarter notes)\n", duration.text, duration.text);
    std::printf("Notes: %d\n", c.count);
    return COMPOSE_OK;
}

int ComposeFromWide(const MIDIComposeChar* notes, const MIDIComposeChar* outputPath,
                    const MIDIComposeChar* instrument, const MIDIComposeChar* beats) {
    Arguments args;
    if (!ConvertArgument(notes, args.notes) || !ConvertArgument(outputPath, args.path) ||
        !ConvertArgument(instrument, args.instrument) || !ConvertArgument(beats, args.beats)) {
        return Fail(COMPOSE_NO_MEMORY, "Error: Memory allocation failed\n");
    }
#if defined(_WIN32)
    // The file is opened through the caller's own UTF-16 path, so every
    // Windows path works whatever the ANSI code page can show.
    return Compose(args, outputPath != nullptr ? outputPath : L"");
#else
    return Compose(args, args.path.c_str());
#endif
}

}  // namespace
}  // namespace midicompose

extern "C" MIDICOMPOSE_API int MIDICompose(const MIDIComposeChar* notes, const MIDIComposeChar* outputPath,
                                           const MIDIComposeChar* instrument, const MIDIComposeChar* beats) {
    // Every allocation failure is handled where it happens; this is only the
    // guarantee that no exception ever reaches a C caller.
    try {
        return midicompose::ComposeFromWide(notes, outputPath, instrument, beats);
    } catch (...) {
        return midicompose::Fail(COMPOSE_NO_MEMORY, "Error: Memory allocation failed\n");
    }
}
