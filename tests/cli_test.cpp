// The midicompose command as a script runs it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "test_support.h"

using namespace testing_support;

namespace {

struct Outcome {
    int exit;
    std::string out, err;
};

// Runs the command with `args`, feeding `input` to its standard input.
Outcome Command(const std::vector<std::string>& args, const std::string& input = "", const std::string& cwd = ".") {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return {-1, "", "pipe"};
    const pid_t child = fork();
    if (child == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
        if (chdir(cwd.c_str()) != 0) _exit(127);
        std::vector<char*> argv{const_cast<char*>(MIDICOMPOSE_CLI)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(MIDICOMPOSE_CLI, argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (!input.empty() && write(in[1], input.data(), input.size()) != static_cast<ssize_t>(input.size())) {
        return {-1, "", "write"};
    }
    close(in[1]);
    const std::string o = ReadToEnd(out[0]), e = ReadToEnd(err[0]);  // small outputs: the pipes do not fill
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, o, e};
}

std::string Golden(const std::string& name) {
    const Bytes bytes = ReadBytes(std::string(MIDICOMPOSE_TEST_DATA) + "/golden/" + name);
    return std::string(bytes.begin(), bytes.end());
}

std::string FileText(const std::string& path) {
    const Bytes bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(Command, ComposesTheChordAndExitsZero) {
    TempDir dir;
    const Outcome run = Command({"C:2 E:1 G:1 C5:2", "chord.mid", "violin", "1.0"}, "", dir.path());
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.out,
              "Generating MIDI file with notes: C:2 E G C5:2\nMIDI file created successfully: chord.mid\n"
              "Instrument: violin (program 40)\nDuration: 6 beats (6 quarter notes)\nNotes: 4\n");
    EXPECT_EQ(FileText(dir.File("chord.mid")), Golden("chord.mid"));
}

TEST(Command, DefaultsToPianoAndOneBeat) {
    TempDir dir;
    EXPECT_EQ(Command({"FACE", dir.File("face.mid")}).exit, 0);
    EXPECT_EQ(FileText(dir.File("face.mid")), Golden("face.mid"));
}

TEST(Command, ReadsNotesFromStandardInputWithoutTheTrailingLineBreak) {
    TempDir dir;
    const Outcome face = Command({"-", dir.File("face.mid")}, "FACE\n");
    EXPECT_EQ(face.exit, 0) << face.err;
    EXPECT_EQ(FileText(dir.File("face.mid")), Golden("face.mid"));
    const Outcome drums = Command({"-", dir.File("drums.mid"), "drums"}, "C2\nD2\n");  // no space: compact
    EXPECT_NE(drums.out.find("notes: C D\n"), std::string::npos) << drums.out;
    const Outcome spaced = Command({"-", dir.File("drums.mid"), "drums", "1"}, "C2 D2\n");
    EXPECT_EQ(spaced.exit, 0);
    EXPECT_EQ(FileText(dir.File("drums.mid")), Golden("drums.mid"));
    // A NUL would end the text the library reads: refused, not cut.
    const Outcome nul = Command({"-", dir.File("nul.mid")}, std::string("C D\0E F G", 9));
    EXPECT_EQ(nul.exit, 2);
    EXPECT_EQ(nul.err, "midicompose: the notes on standard input hold a NUL byte\n");
    EXPECT_FALSE(FileExists(dir.File("nul.mid")));
}

TEST(Command, ListsEveryInstrumentInTableOrder) {
    const Outcome run = Command({"--list-instruments"});
    EXPECT_EQ(run.exit, 0);
    std::vector<std::string> lines;
    for (std::size_t at = 0, next; (next = run.out.find('\n', at)) != std::string::npos; at = next + 1) {
        lines.push_back(run.out.substr(at, next - at));
    }
    ASSERT_EQ(lines.size(), 132u);
    EXPECT_EQ(lines.front(), "piano             0");
    EXPECT_EQ(lines[1], "acoustic_piano    0");
    EXPECT_EQ(lines.back(), "drums             128");
    EXPECT_NE(run.out.find("\nharpsichord       6\n"), std::string::npos);
}

struct ExitCase {
    const char* what;
    std::vector<std::string> args;
    int exit;
    const char* errContains;
};

std::string Describe(const ExitCase& c) { return c.what; }

class CommandExitTest : public ::testing::TestWithParam<ExitCase> {};

TEST_P(CommandExitTest, ExitsWithTheExpectedCode) {
    TempDir dir;
    const Outcome run = Command(GetParam().args, "", dir.path());
    EXPECT_EQ(run.exit, GetParam().exit) << run.err;
    EXPECT_NE(run.err.find(GetParam().errContains), std::string::npos) << run.err;
    EXPECT_EQ(FileExists(dir.File("x.mid")), GetParam().exit == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandExitTest,
    ::testing::Values(ExitCase{"no arguments", {}, 2, "Usage: midicompose"},
                      ExitCase{"notes alone", {"C"}, 2, "Usage: midicompose"},
                      ExitCase{"five arguments", {"C", "x.mid", "piano", "1", "extra"}, 2, "Usage:"},
                      ExitCase{"an unknown option", {"--loud", "C", "x.mid"}, 2, "unknown option '--loud'"},
                      ExitCase{"negative beats", {"C", "x.mid", "piano", "-1"}, 12, "Invalid beats value '-1'"},
                      ExitCase{"an unknown instrument", {"C", "x.mid", "kazoo"}, 13, "--list-instruments"},
                      ExitCase{"no notes", {"123", "x.mid"}, 15, "No valid notes"},
                      ExitCase{"an empty note name", {"C :2", "x.mid"}, 17, "Failed to add note"},
                      ExitCase{"a missing directory", {"C", "missing/x.mid"}, 18, "Could not create file"},
                      ExitCase{"too long", {"C:600000 D", "x.mid"}, 19, "Composition too long"},
                      ExitCase{"notes after --", {"--", "-C", "x.mid"}, 0, ""}),
    NamedAfterDescription());

TEST(Command, PrintsHelpAndVersionOnStandardOutput) {
    for (const char* option : {"--help", "-h"}) {
        const Outcome run = Command({option});
        EXPECT_EQ(run.exit, 0);
        for (const char* part : {"Usage:", "compact", "FACE", "C:2", "piano", "1.0", "--list-instruments", "19"}) {
            EXPECT_NE(run.out.find(part), std::string::npos) << option << " lacks " << part;
        }
    }
    const Outcome version = Command({"--version"});
    EXPECT_EQ(version.exit, 0);
    EXPECT_EQ(version.out, "midicompose " MIDICOMPOSE_VERSION "\n");
}

TEST(Command, PassesNonAsciiTextThrough) {
    TempDir dir;
    const Outcome run = Command({"C D", dir.File("d\xC3\xBCr.mid")});
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_TRUE(FileExists(dir.File("d\xC3\xBCr.mid")));
    const Outcome bad = Command({"C", dir.File("x.mid"), "pi\xC3\xA0no"});
    EXPECT_EQ(bad.err, "Error: Invalid instrument 'pi\xC3\xA0no'\nUse --list-instruments to see available instruments\n");
}

}  // namespace
