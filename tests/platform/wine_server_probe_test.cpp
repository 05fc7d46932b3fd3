#include "platform/wine_server_probe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/child_process.h"
#include "support/fake_wine_server.h"
#include "support/temp_dir.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;
using testing::FakeWineServer;
using testing::ForkChild;
using testing::Pipe;
using testing::TempDir;
using testing::WaitForChild;
using testing::WriteFileBytes;

class WineServerProbeTest : public ::testing::Test {
  protected:
    WineServerProbeTest() {
        WriteFileBytes(m_prefix / "user.reg", "WINE REGISTRY Version 2\n");
        struct stat info {};
        EXPECT_EQ(stat(m_prefix.c_str(), &info), 0);
        char name[64];
        std::snprintf(name, sizeof(name), "server-%lx-%lx", static_cast<unsigned long>(info.st_dev),
                      static_cast<unsigned long>(info.st_ino));
        m_serverFolder = m_tmpRoot / (".wine-" + std::to_string(getuid())) / name;
    }

    TempDir m_temp;
    fs::path m_prefix = m_temp / "prefix";
    fs::path m_tmpRoot = m_temp / "tmp";
    fs::path m_serverFolder;
    WineServerProbe m_probe{m_tmpRoot};
};

TEST_F(WineServerProbeTest, ServerFolderIsNamedAfterPrefixDeviceAndInode) {
    EXPECT_EQ(m_probe.serverFolders(m_prefix), std::vector<fs::path>{m_serverFolder});
    EXPECT_TRUE(m_probe.serverFolders(m_temp / "missing").empty());
}

TEST_F(WineServerProbeTest, NotRunningWithoutLockedLockFile) {
    EXPECT_FALSE(m_probe.isRunning(m_prefix));  // no server folder
    fs::create_directories(m_serverFolder);
    EXPECT_FALSE(m_probe.isRunning(m_prefix));  // no lock file
    WriteFileBytes(m_serverFolder / "lock", "");
    EXPECT_FALSE(m_probe.isRunning(m_prefix));  // nobody holds the lock
    EXPECT_TRUE(RefuseWhileWineRuns(m_probe, m_prefix).ok());
}

TEST_F(WineServerProbeTest, RunningWhileAnotherProcessHoldsTheLock) {
    fs::create_directories(m_serverFolder);
    FakeWineServer server(m_serverFolder / "lock");
    ASSERT_TRUE(server.locked());
    EXPECT_TRUE(m_probe.isRunning(m_prefix));
    const Status refusal = RefuseWhileWineRuns(m_probe, m_prefix);
    EXPECT_FALSE(refusal.ok());
    EXPECT_EQ(refusal.reason(), "Wine is running for the prefix " + m_prefix.string() +
                                    ": close every Windows program in it (or run `wineserver -k`) "
                                    "and try again.");
    // Another prefix is not affected.
    WriteFileBytes(m_temp / "other" / "user.reg", "");
    EXPECT_FALSE(m_probe.isRunning(m_temp / "other"));

    server.stop();
    EXPECT_FALSE(m_probe.isRunning(m_prefix));
}

TEST_F(WineServerProbeTest, FollowsTheServerFolderRecordedInThePrefix) {
    const fs::path recordedFolder = m_temp / "run" / "wine" / "server-x";
    fs::create_directories(recordedFolder);

    struct Variant {
        const char* name;
        void (*record)(const fs::path& prefix, const fs::path& folder);
    };
    const Variant variants[] = {
        {"symbolic link",
         [](const fs::path& prefix, const fs::path& folder) {
             fs::create_directory_symlink(folder, prefix / "wineserver");
         }},
        {"file with the path",
         [](const fs::path& prefix, const fs::path& folder) {
             WriteFileBytes(prefix / "wineserver", folder.string() + "\nsecond line\n");
         }},
    };
    for (const Variant& variant : variants) {
        SCOPED_TRACE(variant.name);
        fs::remove(m_prefix / "wineserver");
        variant.record(m_prefix, recordedFolder);
        EXPECT_EQ(m_probe.serverFolders(m_prefix),
                  (std::vector<fs::path>{m_serverFolder, recordedFolder}));
        EXPECT_FALSE(m_probe.isRunning(m_prefix));

        FakeWineServer server(recordedFolder / "lock");
        ASSERT_TRUE(server.locked());
        EXPECT_TRUE(m_probe.isRunning(m_prefix));
        server.stop();
        EXPECT_FALSE(m_probe.isRunning(m_prefix));
    }
}

TEST_F(WineServerProbeTest, LockHeldByThisProcessIsNotSeen) {
    // fcntl locks belong to a process; the probe can only see other processes' locks. This pins
    // down why the other tests take the lock in a child.
    fs::create_directories(m_serverFolder);
    const int fd = open((m_serverFolder / "lock").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(fd, F_SETLK, &lock), 0);
    EXPECT_FALSE(m_probe.isRunning(m_prefix));
    close(fd);
}

}  // namespace
}  // namespace quillet
