#include "platform/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/temp_dir.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;
using testing::ForkChild;
using testing::Pipe;
using testing::ReadFileBytes;
using testing::TempDir;
using testing::WaitForChild;
using testing::WriteFileBytes;

std::vector<std::string> EntriesOf(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

mode_t ModeOf(const fs::path& file) {
    struct stat info {};
    EXPECT_EQ(stat(file.c_str(), &info), 0);
    return info.st_mode & 07777;
}

class ReplaceFileAtomicallyTest : public ::testing::Test {
  protected:
    TempDir m_temp;
    fs::path m_target = m_temp / "user.reg";
};

TEST_F(ReplaceFileAtomicallyTest, ReplacesContentAndLeavesNoTemporary) {
    WriteFileBytes(m_target, "old content that is longer than the new one");
    ASSERT_TRUE(ReplaceFileAtomically(m_target, "new").ok());
    EXPECT_EQ(ReadFileBytes(m_target), "new");
    EXPECT_EQ(EntriesOf(m_temp.path()), std::vector<std::string>{"user.reg"});

    ASSERT_TRUE(ReplaceFileAtomically(m_target, "").ok());
    EXPECT_EQ(ReadFileBytes(m_target), "");
}

TEST_F(ReplaceFileAtomicallyTest, KeepsModeOfExistingFileAndGivesNewFiles0644) {
    ASSERT_TRUE(ReplaceFileAtomically(m_target, "first").ok());
    EXPECT_EQ(ModeOf(m_target), 0644u);

    ASSERT_EQ(chmod(m_target.c_str(), 0640), 0);
    ASSERT_TRUE(ReplaceFileAtomically(m_target, "second").ok());
    EXPECT_EQ(ModeOf(m_target), 0640u);
    EXPECT_EQ(ReadFileBytes(m_target), "second");
}

TEST_F(ReplaceFileAtomicallyTest, ReplacesTheFileBehindASymbolicLink) {
    const fs::path real = m_temp / "real" / "user.reg";
    WriteFileBytes(real, "old");
    fs::create_symlink(real, m_target);
    ASSERT_TRUE(ReplaceFileAtomically(m_target, "new").ok());
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(m_target)));
    EXPECT_EQ(ReadFileBytes(real), "new");
    EXPECT_EQ(EntriesOf(m_temp / "real"), std::vector<std::string>{"user.reg"});
}

TEST_F(ReplaceFileAtomicallyTest, StreamsContentThroughTheCallback) {
    WriteFileBytes(m_target, "old");
    const Status status = ReplaceFileAtomically(m_target, [](int fd) {
        if (Status first = WriteAllToFd(fd, "part one, "); !first) return first;
        return WriteAllToFd(fd, "part two");
    });
    ASSERT_TRUE(status.ok()) << status.reason();
    EXPECT_EQ(ReadFileBytes(m_target), "part one, part two");
}

TEST_F(ReplaceFileAtomicallyTest, FailureLeavesTargetUntouchedAndNoTemporary) {
    const std::string old = "[Software\\Quillet] 1\n\"Value\"=\"kept\"\n";
    WriteFileBytes(m_target, old);

    const Status refused = ReplaceFileAtomically(m_target, [](int fd) {
        (void)WriteAllToFd(fd, "half of the new");
        return Status::Error("the registry export was cut short");
    });
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.reason(),
              "Cannot write " + m_target.string() + ": the registry export was cut short");
    EXPECT_EQ(ReadFileBytes(m_target), old);
    EXPECT_EQ(EntriesOf(m_temp.path()), std::vector<std::string>{"user.reg"});
}

TEST_F(ReplaceFileAtomicallyTest, DiskFullReadsClearly) {
    WriteFileBytes(m_target, "old");
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full < 0) GTEST_SKIP() << "/dev/full is not available";
    // The callback's write fails the way a write to a full disk fails.
    const Status status = ReplaceFileAtomically(
        m_target, [full](int) { return WriteAllToFd(full, std::string(4096, 'x')); });
    close(full);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.reason(), "Cannot write " + m_target.string() + ": No space left on device");
    EXPECT_EQ(ReadFileBytes(m_target), "old");
    EXPECT_EQ(EntriesOf(m_temp.path()), std::vector<std::string>{"user.reg"});
}

TEST_F(ReplaceFileAtomicallyTest, FailsClearlyWhenTheFolderCannotHoldTheFile) {
    const fs::path notAFolder = m_temp / "plain-file";
    WriteFileBytes(notAFolder, "x");
    const Status status = ReplaceFileAtomically(notAFolder / "user.reg", "new");
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.reason(),
              "Cannot write " + (notAFolder / "user.reg").string() + ": Not a directory");

    const Status missing = ReplaceFileAtomically(m_temp / "missing" / "user.reg", "new");
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(missing.reason(), "Cannot write " + (m_temp / "missing" / "user.reg").string() +
                                    ": cannot create a temporary file beside it: No such file or "
                                    "directory");

    fs::create_directories(m_temp / "folder-target");
    EXPECT_FALSE(ReplaceFileAtomically(m_temp / "folder-target", "new").ok());
    EXPECT_TRUE(fs::is_directory(m_temp / "folder-target"));
}

TEST_F(ReplaceFileAtomicallyTest, FailsInReadOnlyFolderLeavingOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "permission bits do not stop root";
    const fs::path folder = m_temp / "read-only";
    const fs::path target = folder / "user.reg";
    WriteFileBytes(target, "old");
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
    const Status status = ReplaceFileAtomically(target, "new");
    fs::permissions(folder, fs::perms::owner_all);
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.reason().find("Permission denied"), std::string::npos) << status.reason();
    EXPECT_EQ(ReadFileBytes(target), "old");
    EXPECT_EQ(EntriesOf(folder), std::vector<std::string>{"user.reg"});
}

// A process killed at any moment of a replacement leaves the old or the new file, whole.
TEST_F(ReplaceFileAtomicallyTest, KillAtAnyMomentLeavesOldOrNewContentWhole) {
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
                const Status status = ReplaceFileAtomically(m_target, [&](int fd) {
                    for (size_t done = 0; done < content.size(); done += kChunk) {
                        if (round == reportRound && done == reportAfter) progress.send("P");
                        if (Status s =
                                WriteAllToFd(fd, std::string_view(content).substr(done, kChunk));
                            !s) {
                            return s;
                        }
                    }
                    if (round == reportRound && reportAfter >= content.size()) progress.send("P");
                    return Status::Ok();
                });
                if (!status) return 1;
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

        RemoveStaleTemporaries(m_temp.path(), "user.reg");
        EXPECT_EQ(EntriesOf(m_temp.path()), std::vector<std::string>{"user.reg"});
    }
}

TEST(RemoveStaleTemporariesTest, RemovesOnlyOurLeftoversForThatTarget) {
    TempDir temp;
    const std::vector<std::string> kept = {
        "user.reg",
        ".user.reg.quillet-abc",       // not six characters
        ".user.reg.quillet-abcdefg",   // seven
        ".system.reg.quillet-abc123",  // another target
        "user.reg.quillet-abc123",     // no leading dot
    };
    for (const auto& name : kept) WriteFileBytes(temp / name, "x");
    WriteFileBytes(temp / ".user.reg.quillet-abc123", "left over");
    WriteFileBytes(temp / ".user.reg.quillet-XyZ9_0", "left over");
    fs::create_directories(temp / ".user.reg.quillet-folder");  // not a file: kept

    RemoveStaleTemporaries(temp.path(), "user.reg");

    std::vector<std::string> expected = kept;
    expected.push_back(".user.reg.quillet-folder");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(EntriesOf(temp.path()), expected);
    RemoveStaleTemporaries(temp / "missing", "user.reg");  // no folder: nothing happens
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
