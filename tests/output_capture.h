// Capture of what a call prints, for the tests and the fuzzer alike (no
// GoogleTest here).
#ifndef MIDICOMPOSE_OUTPUT_CAPTURE_H
#define MIDICOMPOSE_OUTPUT_CAPTURE_H

#include <string>

namespace testing_support {

// Standard output and standard error go to memory files while it is alive
// (or until Stop), for every thread of the process.
class CapturedOutput {
public:
    CapturedOutput();
    ~CapturedOutput();
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;
    // Stops capturing (once) and keeps the texts.
    void Stop();
    const std::string& out() const { return out_; }
    const std::string& err() const { return err_; }

private:
    int saved_[2] = {-1, -1};
    int files_[2] = {-1, -1};
    std::string out_, err_;
};

// Everything a descriptor (a child's pipe) gives until its end; closes it.
std::string ReadToEnd(int fd);

}  // namespace testing_support

#endif
