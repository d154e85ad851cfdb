// The writer object and the note-name-to-key mapping.
#include <new>

#include "midi_writer.h"

namespace midicompose {

MIDIWriter* CreateMIDIWriter() { return new (std::nothrow) MIDIWriter(); }

void FreeMIDIWriter(MIDIWriter* writer) { delete writer; }

void SetMIDIWriterProgram(MIDIWriter* writer, std::uint8_t program) {
    if (writer != nullptr) writer->program = program;
}

int NoteNameToKey(char letter, std::uint8_t octave) {
    // Semitones above C of A to G; setting the 0x20 bit folds the capitals
    // onto the small letters, and only A-G and a-g land on 'a' to 'g'.
    static constexpr std::uint8_t kSemitones[7] = {9, 11, 0, 2, 4, 5, 7};
    const unsigned index = (static_cast<unsigned char>(letter) | 0x20u) - 'a';
    if (index >= 7) return 60;
    return (octave + 1) * 12 + kSemitones[index];
}

int AppendMIDINote(MIDIWriter* writer, std::uint8_t key, std::uint32_t start,
                   std::uint32_t duration, std::uint8_t velocity) {
    if (writer == nullptr) return 0;
    std::vector<MIDINote>& notes = writer->notes;
    if (notes.size() == notes.capacity()) {
        const std::size_t grown = notes.capacity() == 0 ? 10 : notes.capacity() * 2;
        if (grown > notes.max_size()) return 0;
        try {
            notes.reserve(grown);  // on failure the old array is untouched
        } catch (const std::bad_alloc&) {
            return 0;
        }
    }
    MIDINote& note = notes.emplace_back();  // filled in place: no record copied
    note.key = key;
    note.start = start;
    note.duration = duration;
    note.velocity = velocity;
    return 1;
}

int AddMIDINote(MIDIWriter* writer, const char* name, std::uint32_t start,
                std::uint32_t duration, std::uint8_t velocity) {
    if (writer == nullptr || name == nullptr || name[0] == '\0') return 0;
    // One octave digit at most: "C10" is C in octave 1, "C#5" is C in octave 4.
    const unsigned digit = static_cast<unsigned char>(name[1]) - '0';
    const std::uint8_t octave = digit <= 9 ? static_cast<std::uint8_t>(digit) : 4;
    const int key = NoteNameToKey(name[0], octave);
    return AppendMIDINote(writer, static_cast<std::uint8_t>(key), start, duration, velocity);
}

}  // namespace midicompose
