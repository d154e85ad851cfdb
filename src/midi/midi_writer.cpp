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
    if (writer == nullptr || count <= writer->notes.capacity() || count > writer->notes.max_size()) return;
    try {
        writer->notes.reserve(count);
    } catch (const std::bad_alloc&) {
    }
}

bool GrowMIDINotes(std::vector<MIDINote>& notes) {
    const std::size_t grown = notes.capacity() == 0 ? 10 : notes.capacity() * 2;
    if (grown > notes.max_size()) return false;
    try {
        notes.reserve(grown);  // on failure the old array is untouched
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace midicompose
