// The probe against the real `wineserver`, on each layout this machine's Wine can produce.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "platform/wine_server_probe.h"
#include "support/platform/child_process.h"
#include "support/platform/fake_environment.h"
#include "support/platform/private_mount.h"
#include "support/platform/shell_command.h"
#include "support/platform/temp_dir.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;
using testing::FakeEnvironment;
using testing::ForkChild;
using testing::MountPrivateEmptyFolder;
using testing::RunCommand;
using testing::ShellQuote;
using testing::TempDir;
using testing::ToolOnPath;
using testing::WaitForChild;

const fs::path kRuntimeRoot = "/run/user";

// A real wineserver for one prefix. A watchdog process, detached from the test so that a test
// killed on its timeout does not take it along, ends the server (`wineserver -k`, then
// `wineserver -w` to wait for it) and removes the temporary server root Wine may have made below
// /tmp, as soon as stop() is called or the test process ends in any way.
class RealWineServer {
  public:
    // `exports`: shell commands that set up the environment Wine runs in.
    explicit RealWineServer(std::string exports) : m_exports(std::move(exports)) {
        int quit[2];
        int done[2];
        if (pipe2(quit, O_CLOEXEC) != 0 || pipe2(done, O_CLOEXEC) != 0) return;
        const std::string cleanup =
            m_exports +
            "wineserver -k >/dev/null 2>&1; wineserver -w >/dev/null 2>&1; "
            "r=$(cat \"$WINEPREFIX/wineserver\" 2>/dev/null) && case \"$r\" in "
            "wine-*) rm -rf \"${TMPDIR:-/tmp}/$r\";; esac";
        const pid_t middle = ForkChild([&] {
            ForkChild([&] {
                close(quit[1]);
                close(done[0]);
                // Not to hold the test's output open after the test ended.
                const int nothing = open("/dev/null", O_RDWR);
                dup2(nothing, STDOUT_FILENO);
                dup2(nothing, STDERR_FILENO);
                char byte;
                while (read(quit[0], &byte, 1) < 0 && errno == EINTR) {
                }
                RunCommand(cleanup);
                return write(done[1], "D", 1) == 1 ? 0 : 1;
            });
            return 0;
        });
        WaitForChild(middle);
        close(quit[0]);
        close(done[1]);
        m_quit = quit[1];
        m_done = done[0];
    }
    ~RealWineServer() { stop(); }
    RealWineServer(const RealWineServer&) = delete;
    RealWineServer& operator=(const RealWineServer&) = delete;

    bool watched() const { return m_quit >= 0; }

    // `wineserver -p`: a server that stays without clients. Its output goes to /dev/null so that
    // the daemon does not hold our pipes open.
    int start() { return RunCommand(m_exports + "wineserver -p >/dev/null 2>&1"); }

    // Ends the server and waits until it is gone.
    void stop() {
        if (m_quit < 0) return;
        close(m_quit);
        m_quit = -1;
        char byte;
        while (read(m_done, &byte, 1) < 0 && errno == EINTR) {
        }
        close(m_done);
        m_done = -1;
    }

  private:
    std::string m_exports;
    int m_quit = -1;
    int m_done = -1;
};

struct RealLayout {
    const char* id;
    bool runtimeFolder;  // whether <runtimeRoot>/<uid> exists
    bool ownTmpdir;      // whether Wine (and Quillet) run with TMPDIR set to a test folder
    bool processOnly;    // whether the probe is kept from every server folder
};

void PrintTo(const RealLayout& layout, std::ostream* out) { *out << layout.id; }

const RealLayout kRealLayouts[] = {
    {"RuntimeFolder", true, false, false},
    {"RecordBelowTmpdir", false, true, false},
    {"RecordBelowTmp", false, false, false},
    {"ProcessOnly", false, true, true},
};

class RealWineServerTest : public ::testing::TestWithParam<RealLayout> {};

TEST_P(RealWineServerTest, ProbeSeesTheServerUntilItEnds) {
    if (!ToolOnPath("wineserver")) GTEST_SKIP() << "wineserver is not installed";
    const RealLayout& layout = GetParam();
    const fs::path runtimeFolder = kRuntimeRoot / std::to_string(getuid());
    if (MountPrivateEmptyFolder(kRuntimeRoot)) {
        if (layout.runtimeFolder) fs::create_directory(runtimeFolder);
    } else if (fs::exists(runtimeFolder) != layout.runtimeFolder) {
        GTEST_SKIP() << "cannot mount a private " << kRuntimeRoot << ", and " << runtimeFolder
                     << (layout.runtimeFolder ? " does not exist" : " exists");
    }

    TempDir temp;
    const fs::path prefix = temp / "prefix";
    fs::create_directory(prefix);  // an empty folder is enough for a server
    const fs::path ownTmp = temp / "tmp";
    fs::create_directory(ownTmp);
    std::string exports = "unset WINESERVER; export WINEPREFIX=" + ShellQuote(prefix.string()) +
                          "; " +
                          (layout.ownTmpdir ? "export TMPDIR=" + ShellQuote(ownTmp.string())
                                            : std::string("unset TMPDIR")) +
                          "; ";
    WineServerPlaces places = WineServerPlaces::FromEnvironment(FakeEnvironment(
        layout.ownTmpdir ? std::map<std::string, std::string>{{"TMPDIR", ownTmp.string()}}
                         : std::map<std::string, std::string>{}));
    if (layout.processOnly) {
        places.tmpRoot = temp / "elsewhere";
        places.runtimeRoot = temp / "elsewhere";
        places.tmpDir.reset();
    }
    const WineServerProbe probe(places);
    ASSERT_FALSE(probe.isRunning(prefix));

    RealWineServer server(exports);
    ASSERT_TRUE(server.watched());
    ASSERT_EQ(server.start(), 0);

    // The server is where the layout puts it, and each check finds it there.
    const auto serverName = WineServerProbe::ServerFolderName(prefix);
    ASSERT_TRUE(serverName);
    fs::path serverFolder = runtimeFolder / "wine" / *serverName;
    if (!layout.runtimeFolder) {
        const std::string record = testing::ReadFileBytes(prefix / "wineserver");
        serverFolder = (layout.ownTmpdir ? ownTmp : fs::path("/tmp")) / record / *serverName;
    }
    EXPECT_TRUE(fs::is_directory(serverFolder)) << serverFolder;
    if (layout.processOnly) {
        EXPECT_EQ(probe.lockedServerFolder(prefix), std::nullopt);
    } else {
        EXPECT_EQ(probe.lockedServerFolder(prefix), serverFolder);
    }
    EXPECT_TRUE(probe.serverProcess(prefix).has_value());
    EXPECT_TRUE(probe.isRunning(prefix));

    server.stop();
    EXPECT_FALSE(probe.isRunning(prefix));
}

INSTANTIATE_TEST_SUITE_P(Layouts, RealWineServerTest, ::testing::ValuesIn(kRealLayouts),
                         [](const auto& info) { return std::string(info.param.id); });

}  // namespace
}  // namespace quillet
