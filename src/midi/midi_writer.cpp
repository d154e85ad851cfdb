// The writer object and the growth of its note array.
#include <new>

#include "midi_writer.h"

namespace midicompose {

MIDIWriter* CreateMIDIWriter() { return new (std::nothrow) MIDIWriter(); }

void FreeMIDIWriter(MIDIWriter* writer) { delete writer; }

void SetMIDIWriterProgram(MIDIWriter* writer, std::uint8_t program) {
    if (writer != nullptr) writer->program = program;
}

void ReserveMIDINotes(MIDIWriter* writer, std::size_t count) {
    if (writer != nullptr) writer->notes.Reserve(count);
}

bool GrowMIDINotes(NoteArray& notes) {
    if (notes.capacity() > SIZE_MAX / 2) return false;
    return notes.Reserve(notes.capacity() == 0 ? 10 : notes.capacity() * 2);
}

}  // namespace midicompose
