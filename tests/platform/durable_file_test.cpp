#include "platform/durable_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/platform/child_process.h"
#include "support/platform/faulty_file_operations.h"
#include "support/platform/folder_snapshot.h"
#include "support/platform/foreign_owner_file_operations.h"
#include "support/platform/temp_dir.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;
using testing::FaultyFileOperations;
using testing::FolderListing;
using testing::ForeignOwnerFileOperations;
using testing::ForkChild;
using testing::Pipe;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WaitForChild;
using testing::WriteFileBytes;

mode_t ModeOf(const fs::path& file) {
    struct stat info {};
    EXPECT_EQ(stat(file.c_str(), &info), 0);
    return info.st_mode & 07777;
}

// A process id that belongs to no running process: a child's that has ended.
pid_t EndedProcessId() {
    const pid_t child = ForkChild([] { return 0; });
    WaitForChild(child);
    return child;
}

class ReplaceFileTest : public ::testing::Test {
  protected:
    TempDir m_temp;
    fs::path m_target = m_temp / "user.reg";
};

TEST_F(ReplaceFileTest, ReplacesContentAndLeavesNoTemporary) {
    WriteFileBytes(m_target, "old content that is longer than the new one");
    ASSERT_TRUE(ReplaceFile(m_target, "new").ok());
    EXPECT_EQ(ReadFileBytes(m_target), "new");
    EXPECT_EQ(FolderListing(m_temp.path()), std::vector<std::string>{"user.reg"});

    ASSERT_TRUE(ReplaceFile(m_target, "").ok());
    EXPECT_EQ(ReadFileBytes(m_target), "");
}

TEST_F(ReplaceFileTest, KeepsModeOfExistingFileAndGivesNewFilesTheUmasksMode) {
    const mode_t umaskBefore = umask(022);
    ASSERT_TRUE(ReplaceFile(m_target, "first").ok());
    EXPECT_EQ(ModeOf(m_target), 0644u);
    umask(077);
    ASSERT_TRUE(ReplaceFile(m_temp / "private.qbk", "first").ok());
    EXPECT_EQ(ModeOf(m_temp / "private.qbk"), 0600u);

    ASSERT_EQ(chmod(m_target.c_str(), 0640), 0);
    ASSERT_TRUE(ReplaceFile(m_target, "second").ok());
    EXPECT_EQ(ModeOf(m_target), 0640u);
    EXPECT_EQ(ReadFileBytes(m_target), "second");

    // A fixed mode wins over the old file's and over the umask.
    ASSERT_TRUE(ReplaceFile(m_target, "third", RealFileOperations(), ReplaceOptions{0644}).ok());
    EXPECT_EQ(ModeOf(m_target), 0644u);
    umask(umaskBefore);
}

TEST_F(ReplaceFileTest, ReplacesTheFileBehindASymbolicLink) {
    const fs::path real = m_temp / "real" / "user.reg";
    WriteFileBytes(real, "old");
    fs::create_symlink(real, m_target);
    ASSERT_TRUE(ReplaceFile(m_target, "new").ok());
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(m_target)));
    EXPECT_EQ(ReadFileBytes(real), "new");
    EXPECT_EQ(FolderListing(m_temp / "real"), std::vector<std::string>{"user.reg"});

    // A relative link, through another link, is followed from the folder each link is in.
    fs::create_symlink("real/user.reg", m_temp / "relative.reg");
    fs::create_symlink("relative.reg", m_temp / "chained.reg");
    ASSERT_TRUE(ReplaceFile(m_temp / "chained.reg", "newer").ok());
    EXPECT_EQ(ReadFileBytes(real), "newer");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(m_temp / "chained.reg")));
    EXPECT_EQ(FolderListing(m_temp / "real"), std::vector<std::string>{"user.reg"});
}

TEST_F(ReplaceFileTest, StreamsContentInSeveralWrites) {
    WriteFileBytes(m_target, "old");
    FileReplacement replacement(m_target);
    ASSERT_TRUE(replacement.begin().ok());
    ASSERT_TRUE(replacement.write("part one, ").ok());
    ASSERT_TRUE(replacement.write("part two").ok());
    EXPECT_EQ(ReadFileBytes(m_target), "old");
    const Status status = replacement.commit();
    ASSERT_TRUE(status.ok()) << status.reason();
    EXPECT_EQ(ReadFileBytes(m_target), "part one, part two");
}

TEST_F(ReplaceFileTest, AbandonedReplacementLeavesTargetUntouchedAndNoTemporary) {
    const std::string old = "[Software\\Quillet] 1\n\"Value\"=\"kept\"\n";
    WriteFileBytes(m_target, old);
    {
        FileReplacement replacement(m_target);
        ASSERT_TRUE(replacement.begin().ok());
        ASSERT_TRUE(replacement.write("half of the new").ok());
        EXPECT_TRUE(fs::exists(replacement.temporary()));
    }
    EXPECT_EQ(ReadFileBytes(m_target), old);
    EXPECT_EQ(FolderListing(m_temp.path()), std::vector<std::string>{"user.reg"});
}

// Each case makes one file-system call fail part-way through a replacement.
struct FaultCase {
    const char* name;
    std::function<void(FaultyFileOperations&)> arrange;
    std::string reason;  // after "Cannot write <target>: "; empty when the replacement succeeds
    bool replaced;       // whether the target then holds the new content
};
void PrintTo(const FaultCase& test, std::ostream* out) { *out << test.name; }

class ReplaceFileFaultTest : public ReplaceFileTest,
                             public ::testing::WithParamInterface<FaultCase> {};

TEST_P(ReplaceFileFaultTest, FailureNamesTheFileAndLeavesNoTemporary) {
    const FaultCase& fault = GetParam();
    WriteFileBytes(m_target, "old");
    FaultyFileOperations files;
    fault.arrange(files);

    const Status status = ReplaceFile(m_target, "the new content", files);
    if (fault.reason.empty()) {
        EXPECT_TRUE(status.ok()) << status.reason();
    } else {
        EXPECT_EQ(status.reason(), "Cannot write " + m_target.string() + ": " + fault.reason);
    }
    EXPECT_EQ(ReadFileBytes(m_target), fault.replaced ? "the new content" : "old");
    EXPECT_EQ(FolderListing(m_temp.path()), std::vector<std::string>{"user.reg"});
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ReplaceFileFaultTest,
    ::testing::Values(
        FaultCase{"DiskFullOnTheFirstWrite", [](auto& files) { files.failWrite(1); },
                  "No space left on device", false},
        FaultCase{"DiskFullPartWay",
                  [](auto& files) {
                      files.limitWriteSize(4);
                      files.failWrite(3);
                  },
                  "No space left on device", false},
        FaultCase{"RenameFails", [](auto& files) { files.failRenameTo("user.reg", EIO); },
                  "Input/output error", false},
        // The rename has happened, but it may not survive a crash: not reported as done.
        FaultCase{"FolderFlushFails", [](auto& files) { files.failSyncFolder(EIO); },
                  "the file was replaced but its folder cannot be flushed: Input/output error",
                  true},
        FaultCase{"FolderFlushNotSupportedByTheFileSystem",
                  [](auto& files) { files.failSyncFolder(EINVAL); }, "", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ReplaceFileTest, FailsClearlyWhenTheFolderCannotHoldTheFile) {
    const fs::path notAFolder = m_temp / "plain-file";
    WriteFileBytes(notAFolder, "x");
    const Status status = ReplaceFile(notAFolder / "user.reg", "new");
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.reason(),
              "Cannot write " + (notAFolder / "user.reg").string() + ": Not a directory");

    const Status missing = ReplaceFile(m_temp / "missing" / "user.reg", "new");
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(missing.reason(), "Cannot write " + (m_temp / "missing" / "user.reg").string() +
                                    ": cannot create a temporary file beside it: No such file or "
                                    "directory");

    fs::create_directories(m_temp / "folder-target");
    EXPECT_FALSE(ReplaceFile(m_temp / "folder-target", "new").ok());
    EXPECT_TRUE(fs::is_directory(m_temp / "folder-target"));
}

TEST_F(ReplaceFileTest, FailsInReadOnlyFolderLeavingOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
    const fs::path folder = m_temp / "read-only";
    const fs::path target = folder / "user.reg";
    WriteFileBytes(target, "old");
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    const Status status = ReplaceFile(target, "new");
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.reason().find("Permission denied"), std::string::npos) << status.reason();
    EXPECT_EQ(ReadFileBytes(target), "old");
    EXPECT_EQ(FolderListing(folder), std::vector<std::string>{"user.reg"});
}

// A process killed at any moment of a replacement leaves the old or the new file, whole.
TEST_F(ReplaceFileTest, KillAtAnyMomentLeavesOldOrNewContentWhole) {
    constexpr size_t kSize = 1 << 20;
    constexpr size_t kChunk = 64 << 10;
    constexpr int kTrials = 12;
    WriteFileBytes(m_target, std::string(kSize, '0'));

    for (int trial = 0; trial < kTrials; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        // Where the child reports progress: in which round of replacing, after how many bytes
        // (up to the whole content, so the kill also lands while flushing and renaming).
        const int reportRound = trial % 3;
        const size_t reportAfter = kSize * static_cast<size_t>(trial % 5) / 4;
        Pipe progress;
        const pid_t child = ForkChild([&]() {
            progress.closeReadEnd();
            for (int round = 0;; ++round) {
                const std::string content(kSize, static_cast<char>('a' + (trial + round) % 26));
                FileReplacement replacement(m_target);
                if (!replacement.begin()) return 1;
                for (size_t done = 0; done < content.size(); done += kChunk) {
                    if (round == reportRound && done == reportAfter) progress.send("P");
                    if (!replacement.write(std::string_view(content).substr(done, kChunk))) {
                        return 1;
                    }
                }
                if (round == reportRound && reportAfter >= content.size()) progress.send("P");
                if (!replacement.commit()) return 1;
            }
        });
        ASSERT_GT(child, 0);
        progress.closeWriteEnd();
        ASSERT_EQ(progress.receiveByte(), 'P');
        ASSERT_EQ(kill(child, SIGKILL), 0);
        const int status = WaitForChild(child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

        const std::string content = ReadFileBytes(m_target);
        ASSERT_EQ(content.size(), kSize);
        EXPECT_EQ(content.find_first_not_of(content.front()), std::string::npos)
            << "the target holds a mix of two versions";

        RemoveStaleTemporaries(m_target);
        EXPECT_EQ(FolderListing(m_temp.path()), std::vector<std::string>{"user.reg"});
    }
}

// However many temporaries a process holds at once, more than there are slots for paths.
TEST_F(ReplaceFileTest, SigtermRemovesTheTemporaryAndALibrarysTemporariesOfIt) {
    WriteFileBytes(m_target, "old");
    Pipe report;
    Pipe finish;
    const pid_t child = ForkChild([&] {
        report.closeReadEnd();
        finish.closeWriteEnd();
        signal(SIGTERM, SIG_DFL);  // the test runner may have been started with it ignored
        std::vector<std::unique_ptr<FileReplacement>> others;
        for (int i = 0; i < kSignalCleanupSlots; ++i) {
            others.push_back(std::make_unique<FileReplacement>(m_temp / std::to_string(i)));
            if (!others.back()->begin()) return 1;
        }
        FileReplacement replacement(m_target);
        if (!replacement.begin() || !replacement.write("new")) return 1;
        const std::string temporary = replacement.temporary().string();
        WriteFileBytes(temporary + ".Ab12cd", "a library's temporary of it");
        WriteFileBytes(temporary + "x", "not derived from it");
        report.send(replacement.temporary().filename().string() + "\n");
        finish.receiveByte();  // SIGTERM ends the process here
        return 2;
    });
    ASSERT_GT(child, 0);
    report.closeWriteEnd();
    finish.closeReadEnd();
    const auto temporary = report.receiveLine();
    ASSERT_TRUE(temporary.has_value());
    ASSERT_EQ(FolderListing(m_temp.path()).size(), kSignalCleanupSlots + 4u);

    ASSERT_EQ(kill(child, SIGTERM), 0);
    const int status = WaitForChild(child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "wait status " << status;
    EXPECT_EQ(FolderListing(m_temp.path()),
              (std::vector<std::string>{*temporary + "x", "user.reg"}));
    EXPECT_EQ(ReadFileBytes(m_target), "old");
}

TEST_F(ReplaceFileTest, SigtermRightAfterTheTemporaryIsMadeRemovesIt) {
    struct SigtermAfterCreating : FaultyFileOperations {
        int open(const fs::path& file, int flags, mode_t mode, int* fd) override {
            const int error = FaultyFileOperations::open(file, flags, mode, fd);
            if ((flags & O_CREAT) != 0) ::raise(SIGTERM);
            return error;
        }
    };
    WriteFileBytes(m_target, "old");
    const pid_t child = ForkChild([&] {
        signal(SIGTERM, SIG_DFL);
        SigtermAfterCreating files;
        FileReplacement replacement(m_target, files);
        (void)replacement.begin();
        return 2;
    });
    const int status = WaitForChild(child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "wait status " << status;
    EXPECT_EQ(FolderListing(m_temp.path()), std::vector<std::string>{"user.reg"});
}

TEST(RemoveStaleTemporariesTest, RemovesOnlyLeftoversOfEndedProcessesForThatTarget) {
    TempDir temp;
    const std::string ended = std::to_string(EndedProcessId());
    const std::string running = std::to_string(getppid());
    const std::string own = std::to_string(getpid());
    const std::vector<std::string> kept = {
        "user.reg",
        ".user.reg.quillet-" + running + "-abcdefgh",        // a live run's
        ".user.reg.quillet-" + own + "-abcdefgh",            // this process's own
        ".system.reg.quillet-" + ended + "-abcdefgh",        // another target's
        "user.reg.quillet-" + ended + "-abcdefgh",           // no leading dot
        ".user.reg.quillet-abc123",                          // no process id
        ".user.reg.quillet-" + ended,                        // nothing after the process id
        ".user.reg.quillet-" + ended + "-abcdefg",           // a random part too short
        ".user.reg.quillet-" + ended + "-abcdefghi",         // too long
        ".user.reg.quillet-" + ended + "-ABCDEFGH",          // not ours: upper case
        ".user.reg.quillet-" + ended + "-abc.efgh",          // not a letter or digit
        ".user.reg.quillet-0" + ended + "-abcdefgh",         // a leading zero
        ".user.reg.quillet-" + ended + "-abcdefgh.Xy12Z",    // a library suffix too short
        ".user.reg.quillet-" + ended + "-abcdefgh.Xy12Zq9",  // too long
        ".user.reg.quillet-" + ended + "-abcdefgh.Xy-2Zq",   // not a letter or digit
        ".user.reg.quillet-" + ended + "-abcdefgh~",         // an editor's backup
        ".user.reg.quillet-" + ended + "-0th3rusr",          // another user's, see below
    };
    for (const auto& name : kept) WriteFileBytes(temp / name, "x");
    WriteFileBytes(temp / (".user.reg.quillet-" + ended + "-abcdefgh"), "left over");
    WriteFileBytes(temp / (".user.reg.quillet-" + ended + "-abcdefgh.Xy12Zq"), "a library's");
    const std::string folder = ".user.reg.quillet-" + ended + "-folder";
    fs::create_directories(temp / folder);  // not a file: kept

    ForeignOwnerFileOperations files({".user.reg.quillet-" + ended + "-0th3rusr"});
    RemoveStaleTemporaries(temp / "user.reg", files);

    std::vector<std::string> expected = kept;
    expected.push_back(folder);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FolderListing(temp.path()), expected);
    RemoveStaleTemporaries(temp / "missing" / "user.reg");  // no folder: nothing happens
}

TEST(WriteAllToFdTest, WritesEverythingThroughAPipe) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::string received;
    std::thread reader([&] {
        char buffer[4096];
        ssize_t got;
        while ((got = read(ends[0], buffer, sizeof(buffer))) > 0) received.append(buffer, got);
    });
    std::string data(3 << 20, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 % 251);
    const Status status = WriteAllToFd(ends[1], data);
    close(ends[1]);
    reader.join();
    close(ends[0]);
    EXPECT_TRUE(status.ok()) << status.reason();
    EXPECT_EQ(received, data);
}

TEST(WriteAllToFdTest, ReportsTheSystemError) {
    const Status closed = WriteAllToFd(-1, "x");
    EXPECT_FALSE(closed.ok());
    EXPECT_EQ(closed.reason(), "Bad file descriptor");
    EXPECT_TRUE(WriteAllToFd(-1, "").ok());  // nothing to write
}

}  // namespace
}  // namespace quillet
