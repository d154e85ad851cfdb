// POSIX side of the file replacement: temporary file, then rename(2).
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>

#include "file_replace.h"

namespace midicompose {
namespace {

constexpr int kMaxLinkHops = 40;
constexpr int kMaxNameAttempts = 100;

// Follows symbolic links to the file they finally name, which need not exist
// yet (a dangling link creates its target, as opening the link would), and
// tells what is there: `exists` with its status in `st`, or nothing.
bool ResolveLinks(std::string& path, struct stat& st, bool& exists) {
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        exists = lstat(path.c_str(), &st) == 0;
        if (!exists || !S_ISLNK(st.st_mode)) return true;
        std::string link(st.st_size > 0 ? static_cast<std::size_t>(st.st_size) + 1 : PATH_MAX, '\0');
        const ssize_t n = readlink(path.c_str(), &link[0], link.size());
        if (n < 0 || static_cast<std::size_t>(n) >= link.size()) return false;
        link.resize(static_cast<std::size_t>(n));
        if (link.empty() || link[0] == '/') {
            path = link;
        } else {
            const std::size_t slash = path.rfind('/');
            path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + link;
        }
    }
    return false;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::uint64_t Mix(std::uint64_t x) {  // splitmix64 finaliser
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A name no other call is likely to pick; O_EXCL settles the rare clash.
std::string TemporaryName(const std::string& directory, int attempt) {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // The clock, this thread's stack address (randomised per process) and
    // the attempt: no system call needed.
    const std::uint64_t seed = (std::uint64_t(now.tv_sec) * 1000000000u + std::uint64_t(now.tv_nsec)) ^
                               (std::uint64_t(reinterpret_cast<std::uintptr_t>(&now)) << 16) ^
                               std::uint64_t(attempt);
    static const char kHex[] = "0123456789abcdef";
    std::uint64_t bits = Mix(seed);
    std::string name = directory + ".midicompose-";
    for (int i = 0; i < 16; ++i, bits >>= 4) name += kHex[bits & 0xF];
    return name + ".tmp";
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Devices and FIFOs cannot be replaced; they take the bytes as they come.
ReplaceResult WriteInPlace(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return ReplaceResult::CannotCreate;
    const bool written = WriteAll(fd, data, size);
    const bool closed = close(fd) == 0;
    return written && closed ? ReplaceResult::Ok : ReplaceResult::WriteFailed;
}

}  // namespace

ReplaceResult ReplaceFileContents(const char* path, const std::uint8_t* data, std::size_t size) {
    std::string target = path;
    struct stat old {};
    bool exists = false;
    if (target.empty() || !ResolveLinks(target, old, exists)) return ReplaceResult::CannotCreate;
    if (exists && S_ISDIR(old.st_mode)) return ReplaceResult::CannotCreate;
    if (exists && !S_ISREG(old.st_mode)) return WriteInPlace(target, data, size);

    const std::string directory = DirectoryOf(target);
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < kMaxNameAttempts; ++attempt) {
        temporary = TemporaryName(directory, attempt);
        // Mode 0666 lets the umask decide a new file's permissions, as it would
        // for the target itself.
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return ReplaceResult::CannotCreate;
    }
    if (fd < 0) return ReplaceResult::CannotCreate;

    bool ok = true;
    if (exists) {
        // Keep the replaced file's owner where allowed (only root can give a
        // file away; for anyone else this fails harmlessly), then its
        // permission bits, which a change of owner may have cleared.
        if (fchown(fd, old.st_uid, old.st_gid) != 0) { /* not ours to change: keep what we have */ }
        ok = fchmod(fd, old.st_mode & 07777) == 0;
    }
    ok = ok && WriteAll(fd, data, size);
    ok = (close(fd) == 0) && ok;
    ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) unlink(temporary.c_str());
    return ok ? ReplaceResult::Ok : ReplaceResult::WriteFailed;
}


}  // namespace midicompose
