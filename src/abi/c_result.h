// The C ABI's plumbing, shared by every library of the project: results whose
// callers say their size (a field is read or written only when the caller's
// structure holds it), malloc'd copies the caller frees, and status tables.
#ifndef MIDICOMPOSE_C_RESULT_H
#define MIDICOMPOSE_C_RESULT_H

#include <cstddef>
#include <cstdlib>
#include <cstring>

// Whether the caller's structure (of object->size bytes) holds the field.
#define MIDICOMPOSE_FITS(object, Type, field) \
    ((object)->size >= offsetof(Type, field) + sizeof((object)->field))

// Frees a pointer field the caller's structure holds, and sets it to null.
#define MIDICOMPOSE_FREE_FIELD(object, Type, field)                      \
    do {                                                                 \
        if (MIDICOMPOSE_FITS(object, Type, field)) {                     \
            std::free(const_cast<void*>(static_cast<const void*>((object)->field))); \
            (object)->field = nullptr;                                   \
        }                                                                \
    } while (0)

namespace midicompose {

// A malloc'd copy for buffers the caller releases, NUL-terminated when asked;
// never a null pointer for an empty copy; null when memory runs out.
template <class T>
T* CopyOut(const void* bytes, std::size_t size, bool terminate) {
    auto* copy = static_cast<unsigned char*>(std::malloc(size + (terminate || size == 0 ? 1 : 0)));
    if (copy == nullptr) return nullptr;
    if (size > 0) std::memcpy(copy, bytes, size);
    if (terminate) copy[size] = 0;
    return reinterpret_cast<T*>(copy);
}

// One row of a library's status table: its ABI value, its C name and, where
// the library says it in its messages, its words ("Invalid beats value").
struct StatusRow {
    int status;
    const char* name;
    const char* message;
};
#define MIDICOMPOSE_STATUS_ROW(name) {name, #name, nullptr}
#define MIDICOMPOSE_STATUS_SAYING(name, message) {name, #name, message}

// The status's name in the table, or null for a value that is none.
template <std::size_t N>
const char* StatusName(const StatusRow (&table)[N], int status) {
    for (const StatusRow& row : table) {
        if (row.status == status) return row.name;
    }
    return nullptr;
}

// The status's words in the table, or null.
template <std::size_t N>
const char* StatusMessage(const StatusRow (&table)[N], int status) {
    for (const StatusRow& row : table) {
        if (row.status == status) return row.message;
    }
    return nullptr;
}

}  // namespace midicompose

#endif
