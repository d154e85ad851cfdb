// The midicompose command as a script runs it.
#include <gtest/gtest.h>

#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "midicompose.h"
#include "small_sf2.h"
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
    // A command may end before it reads its input (a failed allocation, say),
    // closing the pipe: the write then fails with EPIPE, and that run's outcome
    // is still compared, so the signal must not end the test instead.
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    const bool written = input.empty() || write(in[1], input.data(), input.size()) ==
                                              static_cast<ssize_t>(input.size()) || errno == EPIPE;
    sigaction(SIGPIPE, &previous, nullptr);
    close(in[1]);
    if (!written) return {-1, "", "write"};
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
    const Outcome face = Command({"-", dir.File("face.mid")}, "FACE\r\n");
    EXPECT_EQ(face.exit, 0) << face.err;
    EXPECT_EQ(FileText(dir.File("face.mid")), Golden("face.mid"));
    const Outcome drums = Command({"-", dir.File("drums.mid"), "drums"}, "C2\nD2\n");  // no space: compact
    EXPECT_NE(drums.out.find("notes: C D\n"), std::string::npos) << drums.out;
    const Outcome spaced = Command({"-", dir.File("drums.mid"), "drums", "1"}, "C2 D2\n");
    EXPECT_EQ(spaced.exit, 0);
    EXPECT_EQ(FileText(dir.File("drums.mid")), Golden("drums.mid"));
    // A NUL would end the text the library reads: refused, not cut.
    for (const char* nothing : {"", "\n", "\r\n"}) {
        EXPECT_EQ(Command({"-", dir.File("none.mid")}, nothing).exit, COMPOSE_NO_NOTES) << nothing;
    }
    const Outcome nul = Command({"-", dir.File("nul.mid")}, std::string("C D\0E F G", 9));
    EXPECT_EQ(nul.exit, 2);
    EXPECT_EQ(nul.err, "midicompose: the notes on standard input hold a NUL byte\n");
    EXPECT_FALSE(FileExists(dir.File("nul.mid")));
    // Text of any length: 25,000 notes, of which the first 100 are composed.
    std::string many;
    for (int i = 0; i < 25000; ++i) many += "C ";
    const Outcome longer = Command({"-", dir.File("many.mid")}, many);
    EXPECT_EQ(longer.exit, 0);
    EXPECT_NE(longer.out.find("Notes: 100\n"), std::string::npos) << longer.out;
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

const std::string k500Beats = [] {
    std::string notes;
    for (int i = 0; i < 100; ++i) notes += "C:500 ";
    return notes;
}();

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
                      ExitCase{"a batch file that is not there", {"--batch", "none.tsv"}, 2,
                               "cannot read the batch file none.tsv"},
                      ExitCase{"notes beside --batch", {"--batch", "none.tsv", "C"}, 2, "'C' does not go with --batch"},
                      ExitCase{"no jobs", {"--batch", "-", "--jobs", "0"}, 2, "--jobs takes 1 to 1024"},
                      ExitCase{"too many jobs", {"--batch", "-", "--jobs", "1025"}, 2, "--jobs takes 1 to 1024"},
                      ExitCase{"jobs that are no number", {"--batch", "-", "--jobs", "2x"}, 2, "--jobs takes 1 to 1024"},
                      ExitCase{"jobs left empty", {"--batch", "-", "--jobs", ""}, 2, "--jobs takes 1 to 1024"},
                      ExitCase{"jobs without a batch", {"--jobs", "2", "C", "x.mid"}, 2, "--jobs goes with --batch"},
                      ExitCase{"a soundfont not named", {"C", "x.mid", "--soundfont"}, 2, "--soundfont needs a value"},
                      ExitCase{"a soundfont without a sound", {"C", "x.mid", "--soundfont", "f.sf2"}, 2,
                               "--soundfont goes with --wav"},
                      ExitCase{"notes after --", {"--", "-C", "x.mid"}, 0, ""},
                      ExitCase{"strict notes without a warning, and their score", {"--strict", "--musicxml", "x.musicxml", "C", "x.mid"}, 0, ""},
                      ExitCase{"strict notes for an unknown instrument", {"--strict", "C", "x.mid", "kazoo"}, 13,
                               "Error: Invalid instrument 'kazoo'\nUse --list-instruments"},
                      ExitCase{"a warning at its column in characters", {"\xC3\xA9 H", "x.mid"}, 0,
                               "notes:1: warning: \xC3\xA9 is no note name (A to G): played as C4 (key 60) "
                               "[UNKNOWN_LETTER]\nnotes:3: warning: H is no note name"},
                      ExitCase{"warnings of beats and instrument", {"C D", "x.mid", "12x", "1.0 beat"}, 0,
                               "beats:4: warning: \" beat\" after the beats value ignored: the default length is 1 "
                               "beat [TRAILING_TEXT]\ninstrument:3: warning: \"x\" after"},
                      ExitCase{"a warning under --strict", {"--strict", "C#5 E", "x.mid"}, 4,
                               "notes:2: error: C#5 has no sharps or flats here"},
                      ExitCase{"two warnings under --strict", {"--strict", "C#5 Eb", "x.mid"}, 4,
                               "--strict: 2 warnings, nothing written"},
                      ExitCase{"a score to standard output", {"--musicxml", "-", "C:0.333 D", "x.mid"}, 0,
                               "score: 2 notes moved to the nearest 64th or triplet\n"},
                      ExitCase{"a score too long (its MIDI file written)", {"--musicxml", "y.musicxml", k500Beats, "y.mid"},
                               20, "Error: Score too long: 12500 measures, at most 10000\n"},
                      ExitCase{"a score in a missing folder", {"--musicxml", "none/y.musicxml", "C", "y.mid"}, 18,
                               "Error: Could not create file none/y.musicxml\n"},
                      ExitCase{"a score on a full disk", {"--musicxml", "/dev/full", "C", "y.mid"}, 18, "Error: Failed to write /dev/full\n"},
                      ExitCase{"play in a batch", {"--batch", "-", "--play"}, 2, "--play does not go with --batch"},
                      ExitCase{"a sound and a score both on standard output", {"--wav", "-", "--musicxml", "-", "C", "x.mid"},
                               2, "cannot both go to standard output"}),
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

// A batch of generated compositions with bad lines among them, one to a line
// or with comments and blank lines between.
struct GeneratedBatch {
    std::string text;
    std::vector<std::pair<std::string, Bytes>> written;  // output, the bytes a single call gives
    std::vector<std::string> failures;                   // "batch.tsv:LINE: STATUS"
};

GeneratedBatch Generate(int lines) {
    std::mt19937 random(25);
    const char* const instruments[] = {"piano", "violin", "drums", "40", "kazoo"};
    const char* const beats[] = {"1", "0.5", "2", "-1"};
    GeneratedBatch batch;
    for (int line = 1; line <= lines; ++line) {
        if (line % 17 == 0) { batch.text += line % 2 ? "# a comment\n" : "\n"; continue; }
        if (line % 23 == 0) {
            batch.text += "C D E\n";  // no output
            batch.failures.push_back("batch.tsv:" + std::to_string(line) + ": BAD_LINE");
            continue;
        }
        std::string notes;
        for (int n = 1 + static_cast<int>(random() % 20); n > 0; --n) notes += std::string(1, "CDEFGAB"[random() % 7]) + (n > 1 ? " " : "");
        const std::string output = "out" + std::to_string(line) + ".mid";
        const char* instrument = instruments[random() % 5];
        const char* beat = beats[random() % 4];
        batch.text += notes + "\t" + output + "\t" + instrument + "\t" + beat + "\n";
        MIDIComposeResult result{};
        result.size = sizeof result;
        const int status = MIDIComposeUTF8(notes.c_str(), nullptr, instrument, beat, &result);
        if (status == COMPOSE_OK) {
            batch.written.emplace_back(output, Bytes(result.data, result.data + result.length));
        } else {
            batch.failures.push_back("batch.tsv:" + std::to_string(line) + ": " + MIDIComposeStatusName(status));
        }
        MIDIComposeFreeResult(&result);
    }
    return batch;
}

#ifdef MIDICOMPOSE_FAIL_ALLOCATION_LIBRARY
struct AllocationSweep {
    const char* what;
    std::vector<std::string> args;  // run in a folder holding list.txt and small.sf2
    std::string input;
};

std::string Describe(const AllocationSweep& s) { return s.what; }

class CommandAllocationTest : public ::testing::TestWithParam<AllocationSweep> {};

// Standard error less the batch summary's time and rate.
std::string Unclocked(const std::string& err) {
    return std::regex_replace(err, std::regex(", [0-9.]+ s, [0-9]+ a second"), "");
}

// Fails each allocation the command and its libraries make, one per run: no
// run crashes, and each either ends as it does with memory or says what
// failed.
TEST_P(CommandAllocationTest, NeverCrashesAndSaysWhatFailed) {
    const AllocationSweep& sweep = GetParam();
    TempDir dir;
    WriteBytes(dir.File("small.sf2"), SmallSoundfont());
    const std::string list = "C:2 E G\ta.mid\tviolin\t1\nC# H\tb.mid\n\nbad line\t\t\n";
    WriteBytes(dir.File("list.txt"), Bytes(list.begin(), list.end()));
    const auto run = [&](long n) {
        setenv("LD_PRELOAD", MIDICOMPOSE_FAIL_ALLOCATION_LIBRARY, 1);
        setenv("MIDICOMPOSE_FAIL_ALLOCATION", std::to_string(n).c_str(), 1);
        const Outcome outcome = Command(sweep.args, sweep.input, dir.path());
        unsetenv("LD_PRELOAD");
        unsetenv("MIDICOMPOSE_FAIL_ALLOCATION");
        return outcome;
    };
    const Outcome reference = run(0);
    const std::size_t counted = reference.err.rfind("allocations: ");
    ASSERT_NE(counted, std::string::npos) << reference.err;
    const long total = std::stol(reference.err.substr(counted + 13));
    ASSERT_GT(total, 10) << "the shim saw too few allocations to be in the way";
    long changed = 0;
    for (long n = 1; n <= total; ++n) {
        const Outcome outcome = run(n);
        ASSERT_NE(outcome.exit, -1) << "killed at allocation " << n << ": " << outcome.err;
        if (outcome.exit == reference.exit && outcome.out == reference.out &&
            Unclocked(outcome.err) == Unclocked(reference.err.substr(0, counted))) {
            continue;
        }
        ++changed;
        EXPECT_NE(outcome.err.find("Error: "), std::string::npos) << "allocation " << n << ": " << outcome.err;
    }
    EXPECT_GT(changed, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, CommandAllocationTest,
    ::testing::Values(
        AllocationSweep{"a composition with warnings", {"C# H:2 E", "out.mid", "violin", "1"}, ""},
        AllocationSweep{"notes on standard input", {"-", "out.mid"}, "C D\r\n"},
        AllocationSweep{"a strict composition", {"--strict", "C#", "out.mid"}, ""},
        AllocationSweep{"a composition and its score", {"--musicxml", "out.musicxml", "C:0.333 D", "out.mid"}, ""},
        AllocationSweep{"a composition rendered", {"C E", "out.mid", "piano", "1", "--wav", "out.wav", "--soundfont",
                                                   "small.sf2"}, ""},
        AllocationSweep{"a batch file", {"--batch", "list.txt", "--jobs", "1"}, ""},
        AllocationSweep{"a strict batch file", {"--batch", "list.txt", "--jobs", "1", "--strict"}, ""},
        AllocationSweep{"a batch on standard input rendered", {"--batch", "-", "--jobs", "1", "--wav", "--soundfont",
                                                               "small.sf2"}, "C\ta.mid\nC# H\tb.mid\n"}),
    NamedAfterDescription());
#endif

TEST(Batch, ComposesEachLineAsASingleCallWouldAndReportsEachFailure) {
    TempDir dir;
    const GeneratedBatch batch = Generate(400);
    WriteBytes(dir.File("batch.tsv"), Bytes(batch.text.begin(), batch.text.end()));
    const Outcome run = Command({"--batch", "batch.tsv", "--jobs", "3"}, "", dir.path());
    EXPECT_EQ(run.exit, 1) << run.err;
    for (const auto& [output, bytes] : batch.written) EXPECT_EQ(ReadBytes(dir.File(output)), bytes) << output;
    std::vector<std::string> failures;
    for (std::size_t at = 0, end; (end = run.err.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = run.err.substr(at, end - at);
        if (line.rfind("batch.tsv:", 0) == 0) failures.push_back(line.substr(0, line.find(':', line.find(':', 10) + 1)));
    }
    std::sort(failures.begin(), failures.end());
    std::vector<std::string> expected = batch.failures;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(failures, expected);
    EXPECT_NE(run.err.find("batch: " + std::to_string(batch.written.size()) + " written, " +
                           std::to_string(batch.failures.size()) + " failed"), std::string::npos) << run.err;
    EXPECT_EQ(dir.Entries().size(), batch.written.size() + 1);  // and no temporary file
    // From standard input, with every line good (one ending in CR LF): exit status 0.
    const Outcome piped =
        Command({"--batch", "-", "--jobs", "1", "--verbose"}, "C E G\tone.mid\tviolin\nFACE\ttwo.mid\r\n", dir.path());
    EXPECT_EQ(piped.exit, 0) << piped.err;
    EXPECT_NE(piped.out.find("Instrument: violin (program 40)\n"), std::string::npos) << piped.out;
    EXPECT_EQ(ReadBytes(dir.File("two.mid")), ReadBytes(std::string(MIDICOMPOSE_TEST_DATA) + "/golden/face.mid"));
    // A named file that cannot be read twice (a pipe) has its clashes found as it is read.
    const Outcome named = Command({"--batch", "/dev/stdin"}, "C\tthree.mid\nD\tthree.mid\n", dir.path());
    EXPECT_EQ(named.exit, 2) << named.err;
    EXPECT_NE(named.err.find("/dev/stdin:2: SAME_OUTPUT: line 1 writes three.mid too"), std::string::npos) << named.err;
}

// A line's warnings at FILE:LINE:COLUMN, counted by the summary; --strict
// fails the line, --no-warnings prints none.
TEST(Batch, PlacesEachWarningInItsLineAndFailsItUnderStrict) {
    TempDir dir;
    const std::string lines = "C D\ta.mid\n\xC3\xA9 D\tb.mid\tpiano\t0.5x\nC\td\xC3\xBCr.mid\t12x\n";
    const Outcome plain = Command({"--batch", "-"}, lines, dir.path());
    EXPECT_EQ(plain.exit, 0);
    EXPECT_NE(plain.err.find("<stdin>:2:1: warning: \xC3\xA9 is no note name"), std::string::npos) << plain.err;
    EXPECT_NE(plain.err.find("<stdin>:2:20: warning: \"x\" after the beats value"), std::string::npos) << plain.err;
    EXPECT_NE(plain.err.find("<stdin>:3:13: warning: \"x\" after"), std::string::npos) << plain.err;
    EXPECT_NE(plain.err.find("batch: 3 written, 0 failed, 3 warnings"), std::string::npos) << plain.err;
    const Outcome quiet = Command({"--batch", "-", "--no-warnings"}, lines, dir.path());
    EXPECT_EQ(quiet.err.find("warning:"), std::string::npos) << quiet.err;
    std::remove(dir.File("b.mid").c_str());
    const Outcome strict = Command({"--batch", "-", "--strict"}, lines, dir.path());
    EXPECT_EQ(strict.exit, 1);
    EXPECT_NE(strict.err.find("<stdin>:2: STRICT: 2 warnings; not written"), std::string::npos) << strict.err;
    EXPECT_NE(strict.err.find("<stdin>:3: STRICT: 1 warning; not written"), std::string::npos) << strict.err;
    EXPECT_NE(strict.err.find("batch: 1 written, 2 failed, 3 warnings"), std::string::npos) << strict.err;
    EXPECT_FALSE(FileExists(dir.File("b.mid")));
    const Outcome single = Command({"--no-warnings", "C#5 E", "x.mid"}, "", dir.path());
    EXPECT_EQ(single.err, "");
}

// --musicxml in a batch: each score beside its OUTPUT, what moved said at
// its line, and a score too long fails its line.
TEST(Batch, WritesEachScoreBesideItsOutput) {
    TempDir dir;
    const Outcome run = Command({"--batch", "-", "--musicxml"}, "C:0.333 D\ta.mid\n" + k500Beats + "\tb.MIDI\nE\tc.MIDI\n", dir.path());
    EXPECT_EQ(run.exit, 1);
    EXPECT_NE(run.err.find("<stdin>:1: score: 2 notes moved to the nearest 64th or triplet\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("<stdin>:2: COMPOSE_SCORE_TOO_LONG: Error: Score too long"), std::string::npos) << run.err;
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"a.mid", "a.musicxml", "b.MIDI", "c.MIDI", "c.musicxml"}));
}

TEST(Batch, RefusesTwoLinesNamingOneOutputBeforeWritingAnything) {
    TempDir dir;
    WriteBytes(dir.File("batch.tsv"), HexBytes("43 09 61 2E 6D 69 64 0A 44 09 62 2E 6D 69 64 0A 45 09 2E 2F 61 2E 6D 69 64 0A"));
    const Outcome run = Command({"--batch", "batch.tsv"}, "", dir.path());  // C a.mid, D b.mid, E ./a.mid
    EXPECT_EQ(run.exit, 2);
    EXPECT_NE(run.err.find("lines 1 and 3 both write ./a.mid"), std::string::npos) << run.err;
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"batch.tsv"});
}

// A line that cannot be written fails alone, and the summary counts it as
// failed: an output named again (by another spelling) as the lines come, a
// line past 1 MiB, a sound that cannot be rendered.
TEST(Batch, FailsEachLineItCannotWriteAndCountsItAsFailed) {
    struct Case {
        const char* what;
        std::string lines;
        std::vector<std::string> options;
        int exit;
        const char* error;
        std::vector<std::string> written;  // besides font.sf2
        Bytes font = {'n', 'o'};
    } cases[] = {
        {"an output named twice on standard input", "C\ta.mid\nD\tb.mid\nE\t./a.mid\n", {}, 2,
         "<stdin>:3: SAME_OUTPUT: line 1 writes ./a.mid too; not written", {"a.mid", "b.mid"}},
        {"a line longer than 1 MiB", "C\tlong.mid\tpiano\t1" + std::string(1 << 20, ' ') + "\nD\tshort.mid\n", {}, 1,
         "<stdin>:1: BAD_LINE: the line is longer than 1 MiB", {"short.mid"}},
        {"a sound that cannot be rendered", "C\ta.mid\nD\tb.mid\n", {"--wav", "--soundfont", "font.sf2"}, 1,
         "batch: 0 written, 2 failed", {"a.mid", "b.mid"}},
        {"a sound rendered beside each file", "C\ta.mid\nD\tb.song\nE\tc.MIDI\nF\tplain\n",
         {"--wav", "--soundfont", "font.sf2"}, 0, "batch: 4 written, 0 failed",
         {"a.mid", "a.wav", "b.song", "b.song.wav", "c.MIDI", "c.wav", "plain", "plain.wav"}, SmallSoundfont()},
        {"a NUL byte", std::string("C\0\ta.mid\nD\tb.mid\n", 17), {}, 1, "<stdin>:1: BAD_LINE: the line holds a NUL byte",
         {"b.mid"}},
        {"a fifth field", "C\ta.mid\tpiano\t1\tloud\n", {}, 1, "more than four fields", {}},
    };
    for (const Case& c : cases) {
        TempDir dir;
        WriteBytes(dir.File("font.sf2"), c.font);
        std::vector<std::string> args{"--batch", "-"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const Outcome run = Command(args, c.lines, dir.path());
        EXPECT_EQ(run.exit, c.exit) << c.what << ": " << run.err;
        EXPECT_NE(run.err.find(c.error), std::string::npos) << c.what << ": " << run.err;
        std::vector<std::string> written = c.written;
        written.push_back("font.sf2");
        std::sort(written.begin(), written.end());
        EXPECT_EQ(dir.Entries(), written) << c.what;
    }
    // Sound asked for where the audio library cannot be loaded: nothing is written.
    TempDir dir;
    setenv("MIDICOMPOSE_AUDIO_LIBRARY", dir.File("none.so").c_str(), 1);
    const Outcome run = Command({"--batch", "-", "--wav"}, "C\ta.mid\n", dir.path());
    unsetenv("MIDICOMPOSE_AUDIO_LIBRARY");
    EXPECT_EQ(run.exit, 3) << run.err;
    EXPECT_TRUE(dir.Entries().empty());
}

// A batch whose threads cannot be started (a user held to one process)
// says why and writes nothing, rather than aborting.
TEST(Batch, SaysSoWhenItsThreadsCannotBeStarted) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to drop to an unprivileged user";
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    WriteBytes(dir.File("batch.tsv"), {'C', '\t', 'a', '.', 'm', 'i', 'd', '\n'});
    // The checkout may lie in a folder only its owner can enter: the user
    // runs a copy of the command (it carries the engine in itself).
    const std::string command = dir.File("midicompose");
    std::filesystem::copy_file(MIDICOMPOSE_CLI, command);
    int err[2];
    ASSERT_EQ(pipe(err), 0);
    const pid_t child = fork();
    if (child == 0) {
        const rlimit one{1, 1};
        // A sanitizer's leak check at exit needs a thread, which the limit forbids.
        const char* asan = std::getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS", (std::string(asan != nullptr ? asan : "") + ":detect_leaks=0").c_str(), 1);
        dup2(err[1], STDERR_FILENO);
        close(err[0]);
        if (chdir(dir.path().c_str()) != 0 || !BecomeUnprivileged() || setrlimit(RLIMIT_NPROC, &one) != 0) {
            _exit(99);
        }
        execl(command.c_str(), command.c_str(), "--batch", "batch.tsv", "--jobs", "2", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(err[1]);
    const std::string messages = ReadToEnd(err[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1) << messages;
    EXPECT_EQ(messages, "Error: Resource temporarily unavailable\n");
    EXPECT_FALSE(FileExists(dir.File("a.mid")));
}

// Ctrl-C in the middle: the run stops between compositions, every output is
// whole or absent, no temporary file is left, and the summary says so.
TEST(Batch, StopsCleanlyWhenInterrupted) {
    TempDir dir;
    std::string text;
    for (int i = 0; i < 200000; ++i) text += "C D E F G A B C5\tout" + std::to_string(i) + ".mid\tviolin\n";
    WriteBytes(dir.File("batch.tsv"), Bytes(text.begin(), text.end()));
    int err[2];
    ASSERT_EQ(pipe(err), 0);
    const pid_t child = fork();
    if (child == 0) {
        dup2(err[1], STDERR_FILENO);
        close(err[0]);
        if (chdir(dir.path().c_str()) != 0) _exit(127);
        execl(MIDICOMPOSE_CLI, MIDICOMPOSE_CLI, "--batch", "batch.tsv", "--jobs", "2", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(err[1]);
    while (!FileExists(dir.File("out1000.mid"))) usleep(1000);
    kill(child, SIGINT);
    const std::string messages = ReadToEnd(err[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status << messages;
    EXPECT_NE(messages.find("; interrupted: stopped after line "), std::string::npos) << messages;
    const std::vector<std::string> entries = dir.Entries();
    EXPECT_LT(entries.size(), 200001u) << "the run went on to the end";
    const Bytes whole = ReadBytes(dir.File("out0.mid"));
    for (const std::string& name : entries) {
        if (name != "batch.tsv") {
            EXPECT_EQ(ReadBytes(dir.File(name)), whole) << name;  // whole, and no temporary file
        }
    }
}

// On a terminal, a progress bar; into a pipe, none. The lines come through
// a pipe held open for a while, so the bar has time to be drawn.
TEST(Batch, DrawsAProgressBarOnATerminalAlone) {
    TempDir dir;
    std::string text;
    for (int i = 0; i < 1000; ++i) text += "C D E\tout" + std::to_string(i) + ".mid\n";
    int lines[2];
    ASSERT_EQ(pipe(lines), 0);
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        dup2(lines[0], STDIN_FILENO);
        close(lines[0]);
        close(lines[1]);
        if (chdir(dir.path().c_str()) != 0) _exit(127);
        execl(MIDICOMPOSE_CLI, MIDICOMPOSE_CLI, "--batch", "-", "--jobs", "1", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(lines[0]);
    ASSERT_EQ(write(lines[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
    usleep(400000);
    close(lines[1]);
    std::string screen;
    char buffer[4096];
    for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) screen.append(buffer, static_cast<std::size_t>(n));
    close(terminal);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_NE(screen.find("\r1000 done"), std::string::npos) << screen;
    // From a file, the bar knows the total; a failure or a warning clears it first.
    // (A bad line is counted in the total too: a bar past its end once threw.)
    std::string file = "C#5\twarned.mid\nC D\n";
    for (int i = 0; i < 40000; ++i) file += "C D E F G\tout" + std::to_string(i % 100) + "-" + std::to_string(i) + ".mid\n";
    WriteBytes(dir.File("batch.tsv"), Bytes(file.begin(), file.end()));
    const pid_t fromFile = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (fromFile == 0) {
        if (chdir(dir.path().c_str()) != 0) _exit(127);
        execl(MIDICOMPOSE_CLI, MIDICOMPOSE_CLI, "--batch", "batch.tsv", "--jobs", "1", static_cast<char*>(nullptr));
        _exit(127);
    }
    screen.clear();
    for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) screen.append(buffer, static_cast<std::size_t>(n));
    close(terminal);
    waitpid(fromFile, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    EXPECT_NE(screen.find("\r\033[Kbatch.tsv:1:2: warning:"), std::string::npos) << screen.substr(0, 400);
    EXPECT_NE(screen.find("\r\033[Kbatch.tsv:2: BAD_LINE"), std::string::npos) << screen.substr(0, 400);
    EXPECT_NE(screen.find("/40002 "), std::string::npos) << screen.substr(0, 400);
    EXPECT_NE(screen.find(" left"), std::string::npos);
    const Outcome piped = Command({"--batch", "-"}, text, dir.path());
    EXPECT_EQ(piped.err.find('\r'), std::string::npos);
    EXPECT_NE(piped.err.find("batch: 1000 written, 0 failed"), std::string::npos) << piped.err;
}

}  // namespace
