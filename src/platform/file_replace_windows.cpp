// Windows side of the file replacement: a temporary file beside the target,
// then ReplaceFileW over an existing file (which keeps its ACL, attributes
// and creation time) or MoveFileExW for a new one.
#include <windows.h>
#include <aclapi.h>

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

// Written through the open handle from its start, then cut to the new
// length: a device such as NUL or a console, and a file with several hard
// links, which a replacement would take away from its other names.
ReplaceResult WriteInPlace(HANDLE file, const std::uint8_t* data, std::size_t size) {
    bool written = WriteAll(file, data, size);
    if (written && GetFileType(file) == FILE_TYPE_DISK) written = SetEndOfFile(file) != 0;
    const bool closed = CloseHandle(file) != 0;
    return written && closed ? ReplaceResult::Ok : ReplaceResult::WriteFailed;
}

// The existing file's own access rules, for the temporary file that will
// replace it, so it is never readable by more users than the old file.
// Null where the file has none to give; release with LocalFree.
PSECURITY_DESCRIPTOR SecurityOf(HANDLE file) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return nullptr;
    }
    return descriptor;
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

// A new file beside the target, under a name no other file has, created
// with the target's access rules and attributes; INVALID_HANDLE_VALUE when
// none can be.
HANDLE CreateTemporary(const std::wstring& directory, SECURITY_ATTRIBUTES* rules, DWORD attributes,
                       std::wstring& temporary) {
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
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, rules, CREATE_NEW, attributes, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
    }
    return file;
}

}  // namespace

ReplaceResult ReplaceFileContents(const wchar_t* path, const std::uint8_t* data, std::size_t size) {
    if (path == nullptr || *path == L'\0') return ReplaceResult::CannotCreate;
    std::wstring target = path;
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return ReplaceResult::CannotCreate;
    }
    // A read-only file is one its owner asked not to have changed.
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        return ReplaceResult::CannotCreate;
    }
    HANDLE existing = CreateFileW(path, GENERIC_WRITE | READ_CONTROL,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    const bool replacing = existing != INVALID_HANDLE_VALUE;
    PSECURITY_DESCRIPTOR security = nullptr;
    if (replacing) {
        if (GetFileType(existing) != FILE_TYPE_DISK) return WriteInPlace(existing, data, size);
        BY_HANDLE_FILE_INFORMATION info{};
        if (GetFileInformationByHandle(existing, &info) && info.nNumberOfLinks > 1) {
            return WriteInPlace(existing, data, size);
        }
        target = FinalPath(path, existing);
        security = SecurityOf(existing);
        CloseHandle(existing);
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        if (attributes != INVALID_FILE_ATTRIBUTES) return ReplaceResult::CannotCreate;  // exists, not writable
    }
    // The attributes a user sets (hidden, system, ...) from the start, should
    // the replacement not carry them over itself.
    DWORD kept = replacing ? attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED)
                           : 0;
    if (kept == 0) kept = FILE_ATTRIBUTE_NORMAL;
    SECURITY_ATTRIBUTES rules{sizeof(SECURITY_ATTRIBUTES), security, FALSE};

    std::wstring temporary;
    HANDLE file = CreateTemporary(DirectoryOf(target), security != nullptr ? &rules : nullptr, kept, temporary);
    if (security != nullptr) LocalFree(security);
    if (file == INVALID_HANDLE_VALUE) return ReplaceResult::CannotCreate;

    bool ok = WriteAll(file, data, size);
    ok = (CloseHandle(file) != 0) && ok;
    if (replacing) {
        ok = ok && ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                                nullptr) != 0;
    } else {
        ok = ok && MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
    if (!ok) DeleteFileW(temporary.c_str());
    return ok ? ReplaceResult::Ok : ReplaceResult::WriteFailed;
}


}  // namespace midicompose
