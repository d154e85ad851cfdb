// The MIDI writer: the notes of one composition as keys with tick times.
// midi_encode.h turns a writer into a file's bytes, midi_save.h puts them
// at a path.
#ifndef MIDICOMPOSE_MIDI_WRITER_H
#define MIDICOMPOSE_MIDI_WRITER_H

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace midicompose {

// Ticks per quarter note; one beat is one quarter note.
constexpr std::uint16_t kTicksPerQuarter = 480;

// The program that selects percussion: no program change, notes on channel 10.
constexpr std::uint8_t kPercussionProgram = 128;

// The latest tick a file may hold: a delta time is at most four bytes long.
constexpr std::uint32_t kMaxTick = 0x0FFFFFFF;

// A value as a file's data byte holds it: data bytes stay below 0x80, or a
// reader would take them for a status, so keys A9 and B9 (129, 131) are
// written as 127.
inline std::uint8_t DataByte(std::uint8_t value) { return std::min<std::uint8_t>(value, 0x7F); }

// The channel (counted from 0) the program's notes play on: 9 for drums.
inline std::uint8_t NoteChannel(std::uint8_t program) { return program == kPercussionProgram ? 9 : 0; }

struct MIDINote {
    std::uint8_t key;  // may exceed 127 (A9, B9); written as 127
    std::uint32_t start;
    std::uint32_t duration;
    std::uint8_t velocity;
};

// The writer's notes, in the order added: a malloc'd array resized with
// realloc, which can move a large array by remapping its pages where a new
// array would have to be filled by copying (MIDINote is plain data).
class NoteArray {
public:
    NoteArray() = default;
    ~NoteArray() { std::free(data_); }
    NoteArray(const NoteArray&) = delete;
    NoteArray& operator=(const NoteArray&) = delete;

    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    bool empty() const { return size_ == 0; }
    const MIDINote* begin() const { return data_; }
    const MIDINote* end() const { return data_ + size_; }
    const MIDINote& operator[](std::size_t i) const { return data_[i]; }
    // Room for `count` records in all; false, with the array untouched, when
    // memory runs out or the size cannot be expressed.
    bool Reserve(std::size_t count) {
        if (count <= capacity_) return true;
        if (count > SIZE_MAX / sizeof(MIDINote)) return false;
        void* grown = std::realloc(data_, count * sizeof(MIDINote));
        if (grown == nullptr) return false;
        data_ = static_cast<MIDINote*>(grown);
        capacity_ = count;
        return true;
    }
    // The next record, to be filled in place; only when size() < capacity().
    MIDINote& Append() { return data_[size_++]; }

private:
    MIDINote* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

struct MIDIWriter {
    NoteArray notes;  // capacity grows 10, 20, 40, ...
    std::uint16_t division = kTicksPerQuarter;
    // 0 writes no program change; 1-127 a program change on channel 1;
    // 128 is percussion: no program change, every note on channel 10.
    std::uint8_t program = 0;
};

// Null when out of memory.
MIDIWriter* CreateMIDIWriter();
void FreeMIDIWriter(MIDIWriter* writer);
void SetMIDIWriterProgram(MIDIWriter* writer, std::uint8_t program);

struct MIDIWriterDeleter {
    void operator()(MIDIWriter* writer) const { FreeMIDIWriter(writer); }
};
// Owns a writer from CreateMIDIWriter.
using MIDIWriterPtr = std::unique_ptr<MIDIWriter, MIDIWriterDeleter>;

// Whether the letter names a note: A to G, either case. Setting the 0x20 bit
// folds the capitals onto the small letters, and only A-G and a-g land on
// 'a' to 'g'.
inline bool IsNoteLetter(char letter) {
    return static_cast<unsigned>((static_cast<unsigned char>(letter) | 0x20u) - 'a') < 7;
}

// (octave + 1) * 12 + semitone of the letter; 60 for a letter that is no note.
inline int NoteNameToKey(char letter, std::uint8_t octave) {
    static constexpr std::uint8_t kSemitones[7] = {9, 11, 0, 2, 4, 5, 7};  // above C, of A to G
    if (!IsNoteLetter(letter)) return 60;
    return (octave + 1) * 12 + kSemitones[(static_cast<unsigned char>(letter) | 0x20u) - 'a'];
}

// The octave a non-empty name is read in: one digit at most, right after
// the letter ("C10" is C in octave 1); anything else there reads as 4
// ("C#5" is C in octave 4).
inline std::uint8_t NameOctave(const char* name) {
    const unsigned digit = static_cast<unsigned char>(name[1]) - '0';
    return digit <= 9 ? static_cast<std::uint8_t>(digit) : 4;
}

// Grows a full note array: to 10 records when empty, else to twice its
// capacity. False, with the array untouched, when memory runs out.
bool GrowMIDINotes(NoteArray& notes);

// Makes room for `count` notes at once, for a caller that knows how many will
// come, sparing the array its regrowths. Only a hint: when the room cannot
// be had, the array grows note by note as usual.
void ReserveMIDINotes(MIDIWriter* writer, std::size_t count);

// Stores one note; on failure (0) the writer is left exactly as it was.
// Inline, with the growth out of line: composing calls this once per note.
inline int AppendMIDINote(MIDIWriter* writer, std::uint8_t key, std::uint32_t start,
                          std::uint32_t duration, std::uint8_t velocity) {
    if (writer == nullptr) return 0;
    NoteArray& notes = writer->notes;
    if (notes.size() == notes.capacity() && !GrowMIDINotes(notes)) return 0;
    MIDINote& note = notes.Append();  // filled in place: no record copied
    note.key = key;
    note.start = start;
    note.duration = duration;
    note.velocity = velocity;
    return 1;
}

// Adds the note named by its letter and an optional octave digit ("C", "c5",
// "A9"). 0 for a null writer, a null or empty name, or no memory.
inline int AddMIDINote(MIDIWriter* writer, const char* name, std::uint32_t start,
                       std::uint32_t duration, std::uint8_t velocity) {
    if (writer == nullptr || name == nullptr || name[0] == '\0') return 0;
    return AppendMIDINote(writer, static_cast<std::uint8_t>(NoteNameToKey(name[0], NameOctave(name))), start,
                          duration, velocity);
}

}  // namespace midicompose

#endif
