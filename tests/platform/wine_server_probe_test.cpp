#include "platform/wine_server_probe.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>

#include "support/platform/child_process.h"
#include "support/platform/fake_environment.h"
#include "support/platform/fake_wine_server.h"
#include "support/platform/temp_dir.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;
using testing::AddFakeProcess;
using testing::FakeEnvironment;
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
        m_serverName = name;
        m_serverFolder = m_tmpRoot / (".wine-" + std::to_string(getuid())) / name;
        fs::create_directories(m_places.procRoot);
    }

    TempDir m_temp;
    fs::path m_prefix = m_temp / "prefix";
    fs::path m_tmpRoot = m_temp / "tmp";
    WineServerPlaces m_places = [this] {
        WineServerPlaces places;
        places.tmpRoot = m_tmpRoot;
        places.runtimeRoot = m_temp / "run" / "user";
        places.procRoot = m_temp / "proc";
        return places;
    }();
    std::string m_serverName;
    fs::path m_serverFolder;
    WineServerProbe m_probe{m_places};
};

TEST_F(WineServerProbeTest, ServerFolderIsNamedAfterPrefixDeviceAndInode) {
    EXPECT_EQ(WineServerProbe::ServerFolderName(m_prefix), m_serverName);
    EXPECT_EQ(m_probe.serverFolders(m_prefix).front(), m_serverFolder);
    EXPECT_EQ(WineServerProbe::ServerFolderName(m_temp / "missing"), std::nullopt);
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

// Where each build of Wine keeps its server folder, and what the probe is told about the
// temporary folder ($TMPDIR as Quillet sees it).
struct ServerLayout {
    const char* id;
    // The root below which the server keeps `server-<dev>-<ino>`, relative to the test folder.
    const char* serverRoot;
    // What `<prefix>/wineserver` holds ("" for no record); "@" stands for the test folder.
    const char* record;
    bool recordIsLink;
    // $TMPDIR given to the probe, relative to the test folder ("" for not set).
    const char* tmpDir;
};

const ServerLayout kServerLayouts[] = {
    {"UpstreamBelowTmp", "tmp/.wine-@uid", "", false, ""},
    {"DebianRuntimeFolder", "run/user/@uid/wine", "", false, ""},
    {"DebianRecordedBelowTmpdir", "own-tmp/wine-Ab12Cd", "wine-Ab12Cd", false, "own-tmp"},
    {"DebianRecordedBelowTmp", "tmp/wine-Ab12Cd", "wine-Ab12Cd\n", false, ""},
    {"DebianRecordedBelowTmpWithOurTmpdirElsewhere", "tmp/wine-Ab12Cd", "wine-Ab12Cd", false,
     "own-tmp"},
    {"RecordedAsAbsolutePath", "elsewhere/wine-Ab12Cd", "@/elsewhere/wine-Ab12Cd", false, ""},
    {"RecordedAsSymbolicLink", "elsewhere/wine-Ab12Cd", "@/elsewhere/wine-Ab12Cd", true, ""},
};

void PrintTo(const ServerLayout& layout, std::ostream* out) { *out << layout.id; }

std::string Expand(std::string text, const fs::path& testFolder) {
    for (std::size_t at; (at = text.find("@uid")) != std::string::npos;) {
        text.replace(at, 4, std::to_string(getuid()));
    }
    if (text.starts_with("@")) text.replace(0, 1, testFolder.string());
    return text;
}

class WineServerLayoutTest : public WineServerProbeTest,
                             public ::testing::WithParamInterface<ServerLayout> {};

TEST_P(WineServerLayoutTest, SeesTheServerWhereverItsFolderIs) {
    const ServerLayout& layout = GetParam();
    const fs::path serverFolder = m_temp / Expand(layout.serverRoot, m_temp.path()) / m_serverName;
    const std::string record = Expand(layout.record, m_temp.path());
    if (layout.recordIsLink) {
        fs::create_directory_symlink(record, m_prefix / "wineserver");
    } else if (!record.empty()) {
        WriteFileBytes(m_prefix / "wineserver", record);
    }
    WineServerPlaces places = m_places;
    if (*layout.tmpDir != '\0') places.tmpDir = m_temp / layout.tmpDir;
    const WineServerProbe probe(places);

    const auto folders = probe.serverFolders(m_prefix);
    EXPECT_NE(std::find(folders.begin(), folders.end(), serverFolder), folders.end())
        << serverFolder;
    fs::create_directories(serverFolder);
    WriteFileBytes(serverFolder / "lock", "");
    EXPECT_FALSE(probe.isRunning(m_prefix));

    FakeWineServer server(serverFolder / "lock");
    ASSERT_TRUE(server.locked());
    EXPECT_TRUE(probe.isRunning(m_prefix));
    server.stop();
    EXPECT_FALSE(probe.isRunning(m_prefix));
}

INSTANTIATE_TEST_SUITE_P(Layouts, WineServerLayoutTest, ::testing::ValuesIn(kServerLayouts),
                         [](const auto& info) { return std::string(info.param.id); });

TEST_F(WineServerProbeTest, FindsTheServerProcessByItsWorkingFolder) {
    const uid_t otherUser = getuid() + 1;
    const struct {
        const char* name;
        const char* processName;
        std::string workingFolder;
        uid_t uid;  // the user the probe asks about; the listed processes are the test's own
        bool found;
    } cases[] = {
        {"Debian's server", "wineserver64", "/run/user/0/wine/" + m_serverName, getuid(), true},
        {"upstream server", "wineserver", "/tmp/.wine-0/" + m_serverName, getuid(), true},
        {"server whose folder was removed", "wineserver",
         "/tmp/wine-x/" + m_serverName + " (deleted)", getuid(), true},
        {"another program in the server folder", "bash", "/tmp/wine-x/" + m_serverName, getuid(),
         false},
        {"server of another prefix", "wineserver64", "/tmp/wine-x/server-1-2", getuid(), false},
        {"server of another user", "wineserver64", "/tmp/wine-x/" + m_serverName, otherUser, false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        fs::remove_all(m_places.procRoot);
        AddFakeProcess(m_places.procRoot, 1, "systemd", "/");
        AddFakeProcess(m_places.procRoot, 4321, row.processName, row.workingFolder);
        fs::create_directories(m_places.procRoot / "self");
        WineServerPlaces places = m_places;
        places.uid = row.uid;
        const WineServerProbe probe(places);
        EXPECT_EQ(probe.serverProcess(m_prefix),
                  row.found ? std::optional<pid_t>(4321) : std::nullopt);
        EXPECT_EQ(probe.isRunning(m_prefix), row.found);
    }
    // Without a readable process list, no process is a server.
    WineServerPlaces noProcessList = m_places;
    noProcessList.procRoot = m_temp / "no-proc";
    EXPECT_EQ(WineServerProbe(noProcessList).serverProcess(m_prefix), std::nullopt);
}

TEST(WineServerPlacesTest, TemporaryFolderComesFromTheEnvironment) {
    EXPECT_EQ(
        WineServerPlaces::FromEnvironment(FakeEnvironment({{"TMPDIR", "/var/tmp/me"}})).tmpDir,
        fs::path("/var/tmp/me"));
    EXPECT_EQ(WineServerPlaces::FromEnvironment(FakeEnvironment({{"TMPDIR", ""}})).tmpDir,
              std::nullopt);
    const WineServerPlaces unset = WineServerPlaces::FromEnvironment(FakeEnvironment({}));
    EXPECT_EQ(unset.tmpDir, std::nullopt);
    EXPECT_EQ(unset.tmpRoot, "/tmp");
    EXPECT_EQ(unset.runtimeRoot, "/run/user");
    EXPECT_EQ(unset.procRoot, "/proc");
    EXPECT_EQ(unset.uid, getuid());
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
