// Quillet programs started at the same moment on one Wine prefix: they take turns through the
// prefix lock, and each does whole work.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "backup/restore_test_world.h"
#include "platform/prefix_lock.h"
#include "support/archive/backup_reader.h"
#include "support/platform/child_process.h"
#include "support/platform/folder_snapshot.h"

namespace quillet::testing {
namespace {
namespace fs = std::filesystem;

// Programs that wait behind one gate and all start when it opens.
class StartingGate {
  public:
    // Forks a child that waits for the gate and then runs `argv` (stdin empty, stdout and stderr
    // into files in `outputFolder` named `name`.out and `name`.err).
    pid_t add(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
              const fs::path& outputFolder, const std::string& name) {
        const std::string out = (outputFolder / (name + ".out")).string();
        const std::string err = (outputFolder / (name + ".err")).string();
        return ForkChild([&]() {
            m_gate.closeWriteEnd();
            if (m_gate.receiveByte()) return 126;  // the gate only ever closes
            std::vector<char*> args, variables;
            for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
            args.push_back(nullptr);
            for (const std::string& var : environment) {
                variables.push_back(const_cast<char*>(var.c_str()));
            }
            variables.push_back(nullptr);
            const int in = ::open("/dev/null", O_RDONLY);
            const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (in < 0 || outFd < 0 || errFd < 0) return 125;
            ::dup2(in, 0);
            ::dup2(outFd, 1);
            ::dup2(errFd, 2);
            ::execve(args[0], args.data(), variables.data());
            return 127;
        });
    }

    // Every child waiting goes at once: the end of the pipe reaches them all together.
    void open() { m_gate.closeWriteEnd(); }

  private:
    Pipe m_gate;
};

// How many processes wait for the flock on `folder` now, as the kernel lists them.
int FlockWaitersOn(const fs::path& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) return -1;
    const std::string inode = ":" + std::to_string(info.st_ino) + " ";
    std::ifstream locks("/proc/locks");
    int waiters = 0;
    for (std::string line; std::getline(locks, line);) {
        if (line.find("-> FLOCK") != std::string::npos && line.find(inode) != std::string::npos) {
            ++waiters;
        }
    }
    return waiters;
}

// Whether a child has ended (then reaped, its exit code in *exitCode).
bool Ended(pid_t child, int* exitCode) {
    int status = 0;
    if (::waitpid(child, &status, WNOHANG) != child) return false;
    *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

struct Finished {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// The entries of a backup file but its information file (which holds the time of the run).
BackupEntries EntriesBesidesInformation(const fs::path& file) {
    BackupEntries entries;
    for (auto& [name, bytes] : ReadBackupEntries(file)) {
        if (name == "quillet.dat") continue;
        entries.emplace_back(MaskWorkFileNames(name), std::move(bytes));
    }
    return entries;
}

// Which entries of `held` match the ones before and after, for a readable failure.
std::string Compare(const BackupEntries& held, const BackupEntries& before,
                    const BackupEntries& after) {
    std::string text;
    for (std::size_t i = 0; i < held.size(); ++i) {
        const bool isBefore = i < before.size() && before[i] == held[i];
        const bool isAfter = i < after.size() && after[i] == held[i];
        text +=
            held[i].first + (isBefore ? " as before" : "") + (isAfter ? " as after" : "") + "\n";
    }
    return text;
}

class PrefixConcurrencyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(world.ready());
        fs::create_directories(output);
        fs::create_directories(backups);
    }

    std::vector<std::string> environment() const {
        return {"PATH=/usr/bin:/bin", "HOME=" + world.home.string(), "TMPDIR=" + world.tmp.string(),
                "USER=quillet", "LC_ALL=C"};
    }
    std::vector<std::string> unattendedBackup(const std::string& identity,
                                              const fs::path& file) const {
        return {QUILLET_PATH, "--prefix", world.prefix.string(),
                "sf=" + identity + "xm=11111111ps=bf=" + file.string()};
    }
    std::vector<std::string> cli(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {QUILLET_CLI_PATH, "--prefix", world.prefix.string()});
        return arguments;
    }

    // Starts the programs together while this process holds the prefix lock, lets go of the
    // lock once every one of them waits for it, and waits for them all to end.
    std::vector<Finished> runTogether(const std::vector<std::vector<std::string>>& programs) {
        PrefixLock lock(world.prefix);
        EXPECT_TRUE(lock.acquire().ok());
        StartingGate gate;
        std::vector<pid_t> children;
        for (std::size_t i = 0; i < programs.size(); ++i) {
            children.push_back(gate.add(programs[i], environment(), output, std::to_string(i)));
        }
        gate.open();
        std::vector<Finished> finished(programs.size());
        std::vector<bool> ended(programs.size(), false);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
        int waiting = 0;
        while (waiting < static_cast<int>(programs.size())) {
            for (std::size_t i = 0; i < children.size(); ++i) {
                if (!ended[i] && Ended(children[i], &finished[i].exitCode)) ended[i] = true;
            }
            if (std::count(ended.begin(), ended.end(), true) > 0 ||
                std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "a program ended or did not come to the lock while it was held";
                break;
            }
            waiting = FlockWaitersOn(world.prefix);
            sched_yield();
        }
        lock.release();
        for (std::size_t i = 0; i < children.size(); ++i) {
            if (!ended[i]) {
                const int status = WaitForChild(children[i]);
                finished[i].exitCode =
                    WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            finished[i].out = ReadFileBytes(output / (std::to_string(i) + ".out"));
            finished[i].err = ReadFileBytes(output / (std::to_string(i) + ".err"));
        }
        return finished;
    }

    SamplePrefixWorld world;
    fs::path output = world.temp / "output";
    fs::path backups = world.temp / "backups";
};

// A scheduled backup of an identity and a restore into it, started together, take turns: both
// succeed, and the backup holds that identity wholly as it was before the restore or wholly as
// it is after it, never a mix of the two.
TEST_F(PrefixConcurrencyTest, ScheduledBackupAndRestoreTakeTurns) {
    const fs::path restored = backups / "main.qbk";
    const fs::path before = backups / "zoe-before.qbk";
    const fs::path scheduled = backups / "zoe-scheduled.qbk";
    const fs::path after = backups / "zoe-after.qbk";
    world.backup(kSampleMainIdentity, ItemsOf("all"), restored);
    world.backup(kSampleZoeIdentity, ItemsOf("all"), before);
    WriteFileBytes(scheduled, "the previous scheduled backup");

    const std::vector<Finished> finished =
        runTogether({unattendedBackup(kSampleZoeIdentity, scheduled),
                     cli({"restore", restored.string(), "--identity", kSampleZoeIdentity})});
    EXPECT_EQ(finished[0].exitCode, 0) << finished[0].err;
    EXPECT_EQ(finished[1].exitCode, 0) << finished[1].err;
    EXPECT_EQ(finished[1].out.find("Fail!"), std::string::npos) << finished[1].out;

    world.backup(kSampleZoeIdentity, ItemsOf("all"), after);
    const BackupEntries held = EntriesBesidesInformation(scheduled);
    const BackupEntries beforeRestore = EntriesBesidesInformation(before);
    const BackupEntries afterRestore = EntriesBesidesInformation(after);
    ASSERT_NE(beforeRestore, afterRestore) << "the restore changes the identity";
    EXPECT_TRUE(held == beforeRestore || held == afterRestore)
        << "the scheduled backup mixes the identity before and after the restore:\n"
        << Compare(held, beforeRestore, afterRestore);
}

// Two backups of one identity started together: into different files, both are written whole;
// into the same file, the file is always one whole backup.
TEST_F(PrefixConcurrencyTest, TwoBackupsAtOnceEachWriteAWholeFile) {
    const fs::path first = backups / "first.qbk";
    const fs::path second = backups / "second.qbk";
    const fs::path shared = backups / "shared.qbk";
    const auto backup = [&](const fs::path& file) {
        return cli({"backup", "--identity", kSampleMainIdentity, "--out", file.string()});
    };

    const std::vector<Finished> apart = runTogether({backup(first), backup(second)});
    for (const Finished& run : apart) EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(EntriesBesidesInformation(first), EntriesBesidesInformation(second));

    WriteFileBytes(shared, "the previous backup");
    const std::vector<Finished> together = runTogether({backup(shared), backup(shared)});
    for (const Finished& run : together) EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(EntriesBesidesInformation(shared), EntriesBesidesInformation(first));
    EXPECT_EQ(FolderListing(backups),
              (std::vector<std::string>{"first.qbk", "second.qbk", "shared.qbk"}))
        << "no temporary is left";
}

}  // namespace
}  // namespace quillet::testing
