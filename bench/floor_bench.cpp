// MIDICompose against the fewest system calls a protective save can make (a
// look at the target, create, write, a look at the new file, close, rename;
// as save_floor.c), side by side in one process: each round times one call
// and one floor save of the same bytes, so the machine's drift (a virtual
// machine's neighbours, the page cache) weighs on both alike, and the
// medians give the ratio. Files go to tmpfs; the library's report to
// /dev/null; results to standard error.
//
// Only the public header is used, and the library is the one the loader
// finds: scripts/bench-against.sh runs this one program over another tree's
// libmidicompose.so.1 (LD_LIBRARY_PATH), so both are timed the same way.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_cases.h"
#include "midicompose.h"

namespace {

using bench::FileBytes;
using bench::Utf16;
using Clock = std::chrono::steady_clock;

bool SaveFloor(const std::string& target, const std::string& temporary, const std::vector<unsigned char>& bytes) {
    struct stat st;
    const bool looked = lstat(target.c_str(), &st) == 0 || errno == ENOENT;
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return looked && fd >= 0 && write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
           fstat(fd, &st) == 0 && close(fd) == 0 && rename(temporary.c_str(), target.c_str()) == 0;
}

double Median(std::vector<double>& v) {
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 1.0;  // per case
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    close(null);
    std::string dir = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/midicompose-floor-XXXXXX";
    if (mkdtemp(&dir[0]) == nullptr) return 1;
    const std::string path = dir + "/side.mid", floorPath = dir + "/floor.mid", temporary = dir + "/.floor.tmp";
    const std::u16string widePath = Utf16(path);
    std::fprintf(stderr, "floor: libmidicompose %s\n", MIDIComposeVersion());
    int failed = 0;
    for (const bench::Case& c : bench::kCases) {
        const std::u16string notes = Utf16(c.notes);
        const auto compose = [&] { return MIDICompose(notes.c_str(), widePath.c_str(), u"violin", u"1.0") == COMPOSE_OK; };
        const std::vector<unsigned char> bytes = compose() ? FileBytes(path) : std::vector<unsigned char>();
        std::vector<double> composeUs, floorUs;
        bool ok = !bytes.empty();
        for (const auto end = Clock::now() + std::chrono::duration<double>(seconds); ok && Clock::now() < end;) {
            const auto t0 = Clock::now();
            ok = compose();
            const auto t1 = Clock::now();
            ok = SaveFloor(floorPath, temporary, bytes) && ok;
            const auto t2 = Clock::now();
            composeUs.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
            floorUs.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
        }
        if (!ok || composeUs.empty()) {
            std::fprintf(stderr, "floor: %s failed\n", c.name);
            failed = 1;
            continue;
        }
        const double a = Median(composeUs), b = Median(floorUs);
        std::fprintf(stderr, "ratio: MIDICompose, %s, takes %.2fx the atomic write floor (medians %.2f us / %.2f us, side by side, %zu calls)\n",
                     c.name, a / b, a, b, composeUs.size());
    }
    const std::string remove = "rm -rf '" + dir + "'";
    return std::system(remove.c_str()) == 0 ? failed : 1;
}
