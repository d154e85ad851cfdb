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

std::uint64_t Mix(std::uint64_t x) {  // splitmix64 finaliser
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// The temporary file's name beside the target. The first try is named after
// the target (".song.mid.midicompose.tmp"): saving the same file again reuses
// a name the file system has just seen, which is cheaper than a new one. When
// that name is taken (another save of the same file is under way, or one was
// interrupted) or too long, the later tries are random; O_EXCL settles any
// clash, so no name is ever written that this call did not create.
std::string TemporaryName(const std::string& target, int attempt) {
    const std::size_t base = target.rfind('/') + 1;  // 0 when there is no slash
    std::string name;
    name.reserve(target.size() + 32);
    if (attempt == 0) {
        name.append(target, 0, base).append(1, '.').append(target, base, std::string::npos).append(".midicompose.tmp");
        return name;
    }
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    // The clock, this thread's stack address (randomised per process) and
    // the attempt: no system call needed.
    const std::uint64_t seed = (std::uint64_t(now.tv_sec) * 1000000000u + std::uint64_t(now.tv_nsec)) ^
                               (std::uint64_t(reinterpret_cast<std::uintptr_t>(&now)) << 16) ^
                               std::uint64_t(attempt);
    static const char kHex[] = "0123456789abcdef";
    std::uint64_t bits = Mix(seed);
    name.append(target, 0, base).append(".midicompose-");
    for (int i = 0; i < 16; ++i, bits >>= 4) name += kHex[bits & 0xF];
    return name.append(".tmp");
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

// Opening the file for writing and truncating it, the way a plain "wb" save
// does: for devices and FIFOs, and for files that a rename would take away
// from their other names or their owner. The open refuses what the kernel
// refuses (permission bits, ACLs, a read-only mount).
ReplaceResult WriteInPlace(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return ReplaceResult::CannotCreate;
    const bool written = WriteAll(fd, data, size);
    const bool closed = close(fd) == 0;
    return written && closed ? ReplaceResult::Ok : ReplaceResult::WriteFailed;
}

enum class Route { Replace, InPlace, Refuse };

// How an existing regular file is to be saved, decided from its status and
// that of the new temporary file, whose owner is the caller. A rename swaps
// the directory entry, not the file: it would get past write protection,
// leave the file's other hard links with the old bytes, and hand another
// user's file to the caller. Those files are written through instead, or
// refused; only these unusual cases pay for a temporary file they drop.
Route RouteFor(const struct stat& old, const struct stat& temporary) {
    const bool root = temporary.st_uid == 0;
    if (!root && old.st_uid != temporary.st_uid) return Route::InPlace;  // only root may keep another's ownership
    // An owner's access is decided by the owner bits alone (an ACL cannot
    // widen them); root writes whatever the kernel lets it.
    if (!root && (old.st_mode & S_IWUSR) == 0) return Route::Refuse;
    return Route::Replace;
}

// Opens a new temporary file beside the target; -1 with errno on failure
// (EEXIST when every name tried was taken).
int CreateTemporary(const std::string& target, mode_t mode, std::string& temporary) {
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < kMaxNameAttempts; ++attempt) {
        temporary = TemporaryName(target, attempt);
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST && !(attempt == 0 && errno == ENAMETOOLONG)) break;
    }
    return fd;
}

// Gives the temporary file the replaced file's owner, group and mode before
// any byte is in it. It was created with no bits beyond the old file's, so it
// is never more open than that file; only what differs is changed.
// False with errno on failure (EPERM: the owner or group cannot be kept).
bool MatchOwnerAndMode(int fd, const struct stat& old, const struct stat& now) {
    const bool chown = now.st_uid != old.st_uid || now.st_gid != old.st_gid;
    // The group may be one the caller belongs to; another owner only for root.
    if (chown && fchown(fd, old.st_uid, old.st_gid) != 0) return false;
    // A change of owner may have cleared set-id bits, so the mode comes after.
    const bool modeDiffers = (now.st_mode & 07777) != (old.st_mode & 07777);
    return !(chown || modeDiffers) || fchmod(fd, old.st_mode & 07777) == 0;
}

// Drops a temporary file that will not be used; errno is kept.
void Discard(int fd, const std::string& temporary) {
    const int error = errno;
    close(fd);
    unlink(temporary.c_str());
    errno = error;
}

}  // namespace

ReplaceResult ReplaceFileContents(const char* path, const std::uint8_t* data, std::size_t size) {
    std::string target = path;
    struct stat old {};
    bool exists = false;
    if (target.empty() || !ResolveLinks(target, old, exists)) return ReplaceResult::CannotCreate;
    if (exists && S_ISDIR(old.st_mode)) return ReplaceResult::CannotCreate;
    if (exists && !S_ISREG(old.st_mode)) return WriteInPlace(target, data, size);
    if (exists && old.st_nlink > 1) return WriteInPlace(target, data, size);

    // A new file gets 0666 less the umask, as the target itself would.
    const mode_t mode = exists ? (old.st_mode & 0777) : 0666;
    std::string temporary;
    const int fd = CreateTemporary(target, mode, temporary);
    if (fd < 0) {
        // A folder the caller may not add to can still hold a file the caller
        // may write: save that one in place rather than not at all.
        if (exists && (errno == EACCES || errno == EPERM)) return WriteInPlace(target, data, size);
        return ReplaceResult::CannotCreate;
    }

    if (exists) {
        struct stat now {};
        if (fstat(fd, &now) != 0) {  // GCOVR_EXCL_START: a descriptor just opened has a status
            Discard(fd, temporary);
            return ReplaceResult::WriteFailed;
        }  // GCOVR_EXCL_STOP
        switch (RouteFor(old, now)) {
            case Route::Refuse:
                Discard(fd, temporary);
                return ReplaceResult::CannotCreate;
            case Route::InPlace:
                Discard(fd, temporary);
                return WriteInPlace(target, data, size);
            case Route::Replace:
                break;
        }
        if (!MatchOwnerAndMode(fd, old, now)) {
            Discard(fd, temporary);
            // A file whose group the caller cannot give is written through,
            // as another user's file is.
            return errno == EPERM ? WriteInPlace(target, data, size) : ReplaceResult::WriteFailed;
        }
    }
    bool ok = WriteAll(fd, data, size);
    ok = (close(fd) == 0) && ok;
    ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) unlink(temporary.c_str());
    return ok ? ReplaceResult::Ok : ReplaceResult::WriteFailed;
}

}  // namespace midicompose
