#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "midi_save.h"
#include "test_support.h"

using namespace midicompose;
using testing_support::Bytes;
using testing_support::CapturedOutput;
using testing_support::FileExists;
using testing_support::ReadBytes;
using testing_support::ReadToEnd;
using testing_support::TempDir;
using testing_support::WriteBytes;

namespace {

using WriterPtr = MIDIWriterPtr;

WriterPtr ThreeNotes() {
    WriterPtr writer(CreateMIDIWriter());
    static const char* const kNames[] = {"C", "D", "E"};
    for (std::uint32_t i = 0; i < 3; ++i) AddMIDINote(writer.get(), kNames[i], i * 480, 480, 100);
    return writer;
}

Bytes Expected(const MIDIWriter* writer) {
    Bytes file;
    EncodeMIDIFile(writer, file);
    return file;
}

// Saves as a composition does, printing the message as the command would.
int SaveAndPrint(const MIDIWriter* writer, const std::string& path) {
    ByteBuffer file;
    std::string errors;
    const int saved = SaveMIDIFile(writer, file, path.c_str(), path.c_str(), errors);
    std::fputs(errors.c_str(), stderr);
    return saved;
}

struct SaveResult {
    int result;
    std::string err;
};

SaveResult Save(const MIDIWriter* writer, const std::string& path) {
    CapturedOutput output;
    const int result = SaveAndPrint(writer, path);
    output.Stop();
    return {result, output.err()};
}

const Bytes kOldContents = {'o', 'l', 'd', '\n'};

TEST(SaveMIDIFile, CreatesANewFileWithTheUsualPermissions) {
    TempDir dir;
    const WriterPtr writer = ThreeNotes();
    const mode_t mask = umask(022);
    const SaveResult saved = Save(writer.get(), dir.File("new.mid"));
    umask(mask);
    EXPECT_EQ(saved.result, 1);
    EXPECT_EQ(saved.err, "");
    EXPECT_EQ(ReadBytes(dir.File("new.mid")), Expected(writer.get()));
    struct stat st {};
    ASSERT_EQ(stat(dir.File("new.mid").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"new.mid"});
}

TEST(SaveMIDIFile, ReplacesAnExistingFileKeepingItsPermissionBits) {
    TempDir dir;
    const std::string path = dir.File("old.mid");
    WriteBytes(path, Bytes(5000, 0xAA));  // longer than the new file: no tail may remain
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    const WriterPtr writer = ThreeNotes();
    EXPECT_EQ(Save(writer.get(), path).result, 1);
    EXPECT_EQ(ReadBytes(path), Expected(writer.get()));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"old.mid"});
}

TEST(SaveMIDIFile, SavesWhenTheUsualTemporaryNameIsTakenOrTooLong) {
    TempDir dir;
    const WriterPtr writer = ThreeNotes();
    // A stray from an interrupted save is neither used nor removed.
    const std::string stray = dir.File(".song.mid.midicompose.tmp");
    WriteBytes(stray, kOldContents);
    EXPECT_EQ(Save(writer.get(), dir.File("song.mid")).result, 1);
    EXPECT_EQ(ReadBytes(stray), kOldContents);
    // A name near the file system's limit leaves no room for the suffix.
    const std::string longName = std::string(240, 'n') + ".mid";
    EXPECT_EQ(Save(writer.get(), dir.File(longName)).result, 1);
    EXPECT_EQ(ReadBytes(dir.File("song.mid")), Expected(writer.get()));
    EXPECT_EQ(ReadBytes(dir.File(longName)), Expected(writer.get()));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{".song.mid.midicompose.tmp", longName, "song.mid"}));
}

// Written in place, a file longer than the new one must be cut to it, or
// its tail would stay behind the new bytes under both names.
TEST(SaveMIDIFile, CutsALongerHardLinkedFileToTheNewBytesUnderBothNames) {
    TempDir dir;
    WriteBytes(dir.File("song.mid"), Bytes(5000, 'x'));
    ASSERT_EQ(link(dir.File("song.mid").c_str(), dir.File("other.mid").c_str()), 0);
    const WriterPtr writer = ThreeNotes();
    EXPECT_EQ(Save(writer.get(), dir.File("song.mid")).result, 1);
    EXPECT_EQ(ReadBytes(dir.File("song.mid")), Expected(writer.get()));
    EXPECT_EQ(ReadBytes(dir.File("other.mid")), Expected(writer.get()));
}

TEST(SaveMIDIFile, UpdatesTheFileASymbolicLinkNamesAndKeepsTheLink) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.File("real").c_str(), 0755), 0);
    WriteBytes(dir.File("real/target.mid"), kOldContents);
    ASSERT_EQ(symlink("real/target.mid", dir.File("link.mid").c_str()), 0);
    ASSERT_EQ(symlink("nowhere.mid", dir.File("dangling.mid").c_str()), 0);
    const WriterPtr writer = ThreeNotes();

    EXPECT_EQ(Save(writer.get(), dir.File("link.mid")).result, 1);
    struct stat st {};
    ASSERT_EQ(lstat(dir.File("link.mid").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadBytes(dir.File("real/target.mid")), Expected(writer.get()));

    EXPECT_EQ(Save(writer.get(), dir.File("dangling.mid")).result, 1);
    EXPECT_EQ(ReadBytes(dir.File("nowhere.mid")), Expected(writer.get()));
    // A link by its full path; two links naming each other, which lead nowhere.
    ASSERT_EQ(symlink(dir.File("real/target.mid").c_str(), dir.File("absolute.mid").c_str()), 0);
    ASSERT_EQ(symlink("loop-b.mid", dir.File("loop-a.mid").c_str()), 0);
    ASSERT_EQ(symlink("loop-a.mid", dir.File("loop-b.mid").c_str()), 0);
    WriteBytes(dir.File("real/target.mid"), kOldContents);
    EXPECT_EQ(Save(writer.get(), dir.File("absolute.mid")).result, 1);
    EXPECT_EQ(ReadBytes(dir.File("real/target.mid")), Expected(writer.get()));
    EXPECT_NE(Save(writer.get(), dir.File("loop-a.mid")).result, 1);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"absolute.mid", "dangling.mid", "link.mid", "loop-a.mid", "loop-b.mid",
                                                       "nowhere.mid", "real"}));
}

TEST(SaveMIDIFile, WritesDevicesInPlaceWithoutReplacingThem) {
    const WriterPtr writer = ThreeNotes();
    EXPECT_EQ(Save(writer.get(), "/dev/null").result, 1);
    struct stat st {};
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    const SaveResult full = Save(writer.get(), "/dev/full");
    EXPECT_EQ(full.result, 0);
    EXPECT_EQ(full.err, "Error: Failed to write track data\n");
    ASSERT_EQ(stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

struct UnwritablePathCase {
    const char* what;
    const char* relative;
};

std::string Describe(const UnwritablePathCase& c) { return c.what; }

class UnwritablePathTest : public ::testing::TestWithParam<UnwritablePathCase> {};

TEST_P(UnwritablePathTest, SaysTheFileCannotBeCreatedAndCreatesNothing) {
    TempDir dir;
    ASSERT_EQ(mkdir(dir.File("folder").c_str(), 0755), 0);
    const std::string path = std::string(GetParam().relative).empty() ? "" : dir.File(GetParam().relative);
    const WriterPtr writer = ThreeNotes();
    const SaveResult saved = Save(writer.get(), path);
    EXPECT_EQ(saved.result, 0) << GetParam().what;
    EXPECT_EQ(saved.err, "Error: Could not create file " + path + "\n") << GetParam().what;
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"folder"}) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(Paths, UnwritablePathTest,
                         ::testing::Values(UnwritablePathCase{"a missing directory", "missing/x.mid"},
                                           UnwritablePathCase{"a directory", "folder"},
                                           UnwritablePathCase{"the empty path", ""}),
                         testing_support::NamedAfterDescription());

TEST(SaveMIDIFile, LeavesTheTargetUntouchedWhenTheWriterHoldsNoNotes) {
    TempDir dir;
    WriteBytes(dir.File("old.mid"), kOldContents);
    const WriterPtr empty(CreateMIDIWriter());
    for (const char* name : {"old.mid", "new.mid"}) {
        const SaveResult saved = Save(empty.get(), dir.File(name));
        EXPECT_EQ(saved.result, 0);
        EXPECT_EQ(saved.err, "Error: Failed to write track data\n");
    }
    EXPECT_EQ(ReadBytes(dir.File("old.mid")), kOldContents);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"old.mid"});
    EXPECT_EQ(SaveAndPrint(nullptr, dir.File("x.mid")), 0);
}

// Saves in a child process whose files may grow to `limit` bytes at most.
int SaveUnderSizeLimit(const MIDIWriter* writer, const std::string& path, rlim_t limit) {
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{limit, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &rl);
        std::fclose(stderr);  // the message is checked elsewhere
        testing_support::ExitChild(SaveAndPrint(writer, path) == 1 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(SaveMIDIFile, LosesNothingWhenTheDiskFillsAtAnyByte) {
    TempDir dir;
    const std::string path = dir.File("song.mid");
    const WriterPtr writer = ThreeNotes();
    const std::size_t size = Expected(writer.get()).size();
    WriteBytes(path, kOldContents);
    for (rlim_t limit = 0; limit < size; ++limit) {
        EXPECT_EQ(SaveUnderSizeLimit(writer.get(), path, limit), 1) << limit;
        EXPECT_EQ(ReadBytes(path), kOldContents) << limit;
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"song.mid"}) << limit;
    }
    EXPECT_EQ(SaveUnderSizeLimit(writer.get(), path, size), 0);
    EXPECT_EQ(ReadBytes(path), Expected(writer.get()));
}

// What a save does to an existing file as an ordinary user: the cases a
// rename would get wrong. Each case runs in a child process that has dropped
// to the unused uid 65534 (group 65534), which the folder lets add files.
constexpr uid_t kUser = 65534, kOtherUser = 65533;
constexpr gid_t kGroup = 65534, kOtherGroup = 65533;

struct ProtectionCase {
    const char* what;
    mode_t mode;             // of song.mid, owned by `owner` and `group`
    uid_t owner;
    gid_t group;
    bool secondLink;         // song.mid also under the name other.mid
    rlim_t sizeLimit;        // for the child's writes
    int result;              // of SaveMIDIFile
    bool newBytes;           // song.mid (and other.mid) end with the new bytes
    const char* err;         // "{path}" stands for the path
    bool lockedFolder = false;  // the folder is root's alone: the caller cannot add to it
};

std::string Describe(const ProtectionCase& c) { return c.what; }
void PrintTo(const ProtectionCase& c, std::ostream* os) { *os << c.what; }

class ProtectionTest : public ::testing::TestWithParam<ProtectionCase> {};

TEST_P(ProtectionTest, SavingRespectsWhatOpeningTheFileWouldRespect) {
    const ProtectionCase& c = GetParam();
    if (geteuid() != 0) GTEST_SKIP() << "needs root to drop to an unprivileged user";
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), c.lockedFolder ? 0755 : 0777), 0);
    const std::string path = dir.File("song.mid"), other = dir.File("other.mid");
    WriteBytes(path, kOldContents);
    ASSERT_EQ(chown(path.c_str(), c.owner, c.group), 0);
    ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
    if (c.secondLink) {
        ASSERT_EQ(link(path.c_str(), other.c_str()), 0);
    }
    const WriterPtr writer = ThreeNotes();

    int errPipe[2];
    ASSERT_EQ(pipe(errPipe), 0);
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{c.sizeLimit, RLIM_INFINITY};
        if (!testing_support::BecomeUnprivileged() || setrlimit(RLIMIT_FSIZE, &rl) != 0) {
            _exit(99);
        }
        dup2(errPipe[1], STDERR_FILENO);
        umask(022);  // a new file is less open than a group-writable one
        testing_support::ExitChild(SaveAndPrint(writer.get(), path));
    }
    close(errPipe[1]);
    const std::string err = ReadToEnd(errPipe[0]);
    int status = 0;
    waitpid(child, &status, 0);

    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 99) << "could not drop privileges";
    EXPECT_EQ(WEXITSTATUS(status), c.result);
    std::string wantErr = c.err;
    if (wantErr.find("{path}") != std::string::npos) wantErr.replace(wantErr.find("{path}"), 6, path);
    EXPECT_EQ(err, wantErr);
    const Bytes want = c.newBytes ? Expected(writer.get()) : kOldContents;
    EXPECT_EQ(ReadBytes(path), want);
    if (c.secondLink) {
        EXPECT_EQ(ReadBytes(other), want);
    }
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, c.owner);
    EXPECT_EQ(st.st_gid, c.group);
    EXPECT_EQ(st.st_mode & 07777, c.mode);
    EXPECT_EQ(dir.Entries().size(), c.secondLink ? 2u : 1u) << "a temporary file is left";
}

INSTANTIATE_TEST_SUITE_P(
    Files, ProtectionTest,
    ::testing::Values(
        ProtectionCase{"a write-protected file is refused", 0444, kUser, kGroup, false, RLIM_INFINITY, 0, false,
                       "Error: Could not create file {path}\n"},
        ProtectionCase{"a file with two links gets the bytes under both names", 0644, kUser, kGroup, true, RLIM_INFINITY,
                       1, true, ""},
        ProtectionCase{"another user's group-writable file keeps its owner", 0664, kOtherUser, kGroup, false,
                       RLIM_INFINITY, 1, true, ""},
        ProtectionCase{"another user's read-only file is refused", 0644, kOtherUser, kGroup, false, RLIM_INFINITY, 0,
                       false, "Error: Could not create file {path}\n"},
        ProtectionCase{"the caller's own file of a group not the caller's is written through", 0664, kUser,
                       kOtherGroup, false, RLIM_INFINITY, 1, true, ""},
        ProtectionCase{"the caller's group-writable file keeps its mode", 0664, kUser, kGroup, false, RLIM_INFINITY, 1,
                       true, ""},
        ProtectionCase{"the caller's file in a folder it cannot add to is written through", 0644, kUser, kGroup,
                       false, RLIM_INFINITY, 1, true, "", true},
        ProtectionCase{"the caller's read-only file in a folder it cannot add to is refused", 0444, kUser, kGroup,
                       false, RLIM_INFINITY, 0, false, "Error: Could not create file {path}\n", true},
        ProtectionCase{"the caller's own file is replaced whole or not at all", 0640, kUser, kGroup, false, 10, 0, false,
                       "Error: Failed to write track data\n"}),
    testing_support::NamedAfterDescription());

}  // namespace
