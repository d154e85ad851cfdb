#include "output_capture.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace testing_support {

CapturedOutput::CapturedOutput() {
    std::fflush(stdout);
    std::fflush(stderr);
    const int streams[2] = {STDOUT_FILENO, STDERR_FILENO};
    for (int i = 0; i < 2; ++i) {
        files_[i] = memfd_create(i == 0 ? "stdout" : "stderr", 0);
        if (files_[i] < 0) throw std::runtime_error("memfd_create");
        saved_[i] = dup(streams[i]);
        dup2(files_[i], streams[i]);
    }
}

void CapturedOutput::Stop() {
    if (saved_[0] < 0) return;
    std::fflush(stdout);
    std::fflush(stderr);
    const int streams[2] = {STDOUT_FILENO, STDERR_FILENO};
    std::string* texts[2] = {&out_, &err_};
    for (int i = 0; i < 2; ++i) {
        dup2(saved_[i], streams[i]);
        close(saved_[i]);
        lseek(files_[i], 0, SEEK_SET);
        *texts[i] = ReadToEnd(files_[i]);
        saved_[i] = files_[i] = -1;
    }
}

CapturedOutput::~CapturedOutput() { Stop(); }

std::string ReadToEnd(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
    close(fd);
    return text;
}

}  // namespace testing_support
