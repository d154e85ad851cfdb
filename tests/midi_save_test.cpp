#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "midi_writer.h"
#include "test_support.h"

using namespace midicompose;
using testing_support::Bytes;
using testing_support::CapturedOutput;
using testing_support::FileExists;
using testing_support::ReadBytes;
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

struct SaveResult {
    int result;
    std::string err;
};

SaveResult Save(const MIDIWriter* writer, const std::string& path) {
    CapturedOutput output;
    const int result = SaveMIDIFile(writer, path.c_str());
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
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"dangling.mid", "link.mid", "nowhere.mid", "real"}));
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
    EXPECT_EQ(SaveMIDIFile(nullptr, dir.File("x.mid").c_str()), 0);
    EXPECT_EQ(SaveMIDIFile(empty.get(), nullptr), 0);
}

// Saves in a child process whose files may grow to `limit` bytes at most.
int SaveUnderSizeLimit(const MIDIWriter* writer, const std::string& path, rlim_t limit) {
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{limit, limit};
        setrlimit(RLIMIT_FSIZE, &rl);
        std::fclose(stderr);  // the message is checked elsewhere
        _exit(SaveMIDIFile(writer, path.c_str()) == 1 ? 0 : 1);
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

}  // namespace
