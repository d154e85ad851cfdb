// MIDICompose when the file system fails it: status 18, the right messages,
// the old file as it was and no temporary file left.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "midicompose.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const std::string kWriteFailed = "Error: Failed to write track data\nError: Failed to create MIDI file\n";

struct ChildResult {
    int status;
    std::string err;
};

// Composes the chord in a child process whose files may hold `limit` bytes.
// Its standard error comes back through a pipe, which the limit does not touch.
ChildResult ComposeUnderSizeLimit(const std::string& path, rlim_t limit) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return {-1, "pipe failed"};
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{limit, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &rl);
        dup2(pipeFds[1], STDERR_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        const std::u16string p = Utf16(path);
        ExitChild(MIDICompose(u"C:2 E:1 G:1 C5:2", p.c_str(), u"violin", u"1.0") == COMPOSE_OK ? 0 : 18);
    }
    close(pipeFds[1]);
    const std::string err = ReadToEnd(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, err};
}

TEST(FileSystemFaults, AFileSizeLimitAtEveryByteKeepsTheOldFile) {
    TempDir dir;
    const std::string path = dir.File("chord.mid");
    const Bytes old = {'o', 'l', 'd'};
    for (rlim_t limit = 0; limit < 65; ++limit) {
        WriteBytes(path, old);
        const ChildResult result = ComposeUnderSizeLimit(path, limit);
        EXPECT_EQ(result.status, 18) << limit;
        EXPECT_EQ(result.err, kWriteFailed) << limit;
        EXPECT_EQ(ReadBytes(path), old) << limit;
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"chord.mid"}) << limit;
    }
    EXPECT_EQ(ComposeUnderSizeLimit(path, 65).status, 0);
    EXPECT_EQ(ReadBytes(path).size(), 65u);
}

struct FaultCase {
    const char* what;
    std::string path;  // "{dir}" stands for a fresh directory
    std::string err;   // "{path}" stands for the path
};

std::string Describe(const FaultCase& c) { return c.what; }

class FaultyPathTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultyPathTest, GivesStatus18WithTheRightMessages) {
    TempDir dir;
    std::string path = GetParam().path;
    if (path.rfind("{dir}", 0) == 0) path = dir.path() + path.substr(5);
    std::string err = GetParam().err;
    const std::size_t at = err.find("{path}");
    if (at != std::string::npos) err.replace(at, 6, path);

    const std::u16string p = Utf16(path);
    CapturedOutput output;
    const int status = MIDICompose(u"C D E", p.c_str(), u"piano", u"1");
    output.Stop();
    EXPECT_EQ(status, COMPOSE_SAVE_FAILED);
    EXPECT_EQ(output.err(), err);
    EXPECT_TRUE(dir.Entries().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Paths, FaultyPathTest,
    ::testing::Values(FaultCase{"a full device", "/dev/full", kWriteFailed},
                      FaultCase{"a missing directory", "{dir}/missing/x.mid",
                                "Error: Could not create file {path}\nError: Failed to create MIDI file\n"},
                      FaultCase{"a directory", "{dir}",
                                "Error: Could not create file {path}\nError: Failed to create MIDI file\n"}),
    NamedAfterDescription());

}  // namespace
