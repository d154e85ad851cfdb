// Windows side of the file replacement: a temporary file beside the target,
// then MoveFileExW with MOVEFILE_REPLACE_EXISTING (rename refuses an
// existing target there).
#include <windows.h>

#include <string>

#include "file_replace.h"

namespace midicompose {
namespace {

constexpr int kMaxNameAttempts = 100;

std::wstring DirectoryOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

bool WriteAll(HANDLE file, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

// A device such as NUL or a console is written directly, never replaced.
ReplaceResult WriteInPlace(HANDLE file, const std::uint8_t* data, std::size_t size) {
    const bool written = WriteAll(file, data, size);
    const bool closed = CloseHandle(file) != 0;
    return written && closed ? ReplaceResult::Ok : ReplaceResult::WriteFailed;
}

// The file a path finally names, following symbolic links; the path itself
// when it does not exist yet.
std::wstring FinalPath(const wchar_t* path, HANDLE existing) {
    DWORD size = GetFinalPathNameByHandleW(existing, nullptr, 0, FILE_NAME_NORMALIZED);
    if (size == 0) return path;
    std::wstring final(size, L'\0');
    size = GetFinalPathNameByHandleW(existing, &final[0], size, FILE_NAME_NORMALIZED);
    if (size == 0 || size >= final.size()) return path;
    final.resize(size);
    return final;
}

}  // namespace

ReplaceResult ReplaceFileContents(const wchar_t* path, const std::uint8_t* data, std::size_t size) {
    if (path == nullptr || *path == L'\0') return ReplaceResult::CannotCreate;
    std::wstring target = path;
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return ReplaceResult::CannotCreate;
    }
    HANDLE existing = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing != INVALID_HANDLE_VALUE) {
        if (GetFileType(existing) != FILE_TYPE_DISK) return WriteInPlace(existing, data, size);
        target = FinalPath(path, existing);
        CloseHandle(existing);
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        if (attributes != INVALID_FILE_ATTRIBUTES) return ReplaceResult::CannotCreate;  // exists, not writable
    }

    const std::wstring directory = DirectoryOf(target);
    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; file == INVALID_HANDLE_VALUE && attempt < kMaxNameAttempts; ++attempt) {
        LARGE_INTEGER now{};
        QueryPerformanceCounter(&now);
        const unsigned long long seed = static_cast<unsigned long long>(now.QuadPart) ^
                                        (static_cast<unsigned long long>(GetCurrentThreadId()) << 32) ^
                                        static_cast<unsigned long long>(attempt);
        wchar_t name[64];
        swprintf(name, 64, L".midicompose-%016llx.tmp", seed * 0x9E3779B97F4A7C15ull);
        temporary = directory + name;
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return ReplaceResult::CannotCreate;
    }
    if (file == INVALID_HANDLE_VALUE) return ReplaceResult::CannotCreate;

    bool ok = WriteAll(file, data, size);
    ok = (CloseHandle(file) != 0) && ok;
    ok = ok && MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    if (!ok) DeleteFileW(temporary.c_str());
    return ok ? ReplaceResult::Ok : ReplaceResult::WriteFailed;
}


}  // namespace midicompose
