// A scheduled job end to end: its crontab line, run as cron runs it, starts the built desktop
// program, which makes the backup without a window.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "archive/zip_archive.h"
#include "schedule/cron_line.h"
#include "schedule/crontab_scheduler.h"
#include "support/platform/sample_prefix.h"
#include "support/platform/temp_dir.h"
#include "support/schedule/standin_crontab.h"

extern char** environ;

namespace quillet {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

// The shell's and cron's special characters, after a mark no other process has in its arguments.
const std::string kPassword = "Qx7mark' \" ; $( ) ` % \\ &";
constexpr std::string_view kPasswordMark = "Qx7mark";

// The arguments of a process as every user of the machine can read them; empty once it is gone
// (a process may end between listing and reading: streams would throw there).
std::string ArgumentsOf(const fs::path& process) {
    std::string arguments;
    const int fd = open((process / "cmdline").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return arguments;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) arguments.append(buffer, n);
    close(fd);
    return arguments;
}

// Whether any process shows `text` in its arguments now.
bool AnyArgumentsHold(std::string_view text) {
    std::error_code error;
    for (const fs::directory_entry& process : fs::directory_iterator("/proc", error)) {
        if (ArgumentsOf(process.path()).find(text) != std::string::npos) return true;
    }
    return false;
}

// What a job's run showed in its own process's arguments (env, then the shell, then quillet,
// under one process id), read as fast as the machine allows from the moment it started.
struct WatchedRun {
    int exitCode = -1;
    bool argumentsHeldMark = false;
    long reads = 0;
};

WatchedRun RunWatched(const std::vector<std::string>& argv, const std::string& input,
                      std::string_view mark) {
    WatchedRun watched;
    int in[2];
    if (pipe2(in, O_CLOEXEC) != 0) return watched;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
    std::vector<char*> arguments;
    for (const std::string& argument : argv)
        arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    pid_t child = -1;
    const int spawned =
        posix_spawn(&child, argv[0].c_str(), &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    if (spawned != 0) {
        close(in[1]);
        return watched;
    }
    const bool fed = write(in[1], input.data(), input.size()) == static_cast<ssize_t>(input.size());
    close(in[1]);
    const fs::path process = "/proc/" + std::to_string(child);
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (ArgumentsOf(process).find(mark) != std::string::npos) watched.argumentsHeldMark = true;
        ++watched.reads;
    }
    if (fed && WIFEXITED(status)) watched.exitCode = WEXITSTATUS(status);
    return watched;
}

class ScheduledJobProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testing::MakeSamplePrefix(prefix));
        fs::create_directories(temp / "home");
        fs::create_directories(temp / "tmp");
        fs::create_directories(backup.parent_path());
        crontab.setText(kUserLines);
    }

    Result<int> Add(const std::string& dayList) {
        const JobCommandLine job{testing::kSampleMainIdentity, "10000001", kPassword,
                                 backup.string()};
        return scheduler.addJob(*BuildJobRecord("9:00", dayList, job, QUILLET_PATH));
    }

    // Runs the command of the job's crontab line as cron does: /bin/sh with cron's small
    // environment gets the text before the first "%", the rest comes on standard input.
    std::string LastLine() const {
        const std::string text = crontab.text();
        return text.substr(text.rfind('\n', text.size() - 2) + 1);
    }

    WatchedRun RunAsCron() { return RunAsCron(LastLine()); }
    WatchedRun RunAsCron(const std::string& line) {
        const CronCommand cron = SplitCronCommand(CronLineCommand(line.substr(0, line.size() - 1)));
        return RunWatched({"/usr/bin/env", "-i",
                           "PATH=" + crontab.program().parent_path().string() + ":/usr/bin:/bin",
                           "HOME=" + (temp / "home").string(), "TMPDIR=" + (temp / "tmp").string(),
                           "/bin/sh", "-c", cron.shellCommand},
                          cron.input, kPasswordMark);
    }

    static constexpr char kUserLines[] = "MAILTO=me\n0 1 * * * echo mine\n";
    TempDir temp;
    fs::path prefix = temp / "prefix";
    fs::path backup = temp / "back ups" / "mail 1.qbk";
    testing::StandinCrontab crontab{temp.path()};
    CrontabScheduler scheduler{{.crontabProgram = crontab.program().string(),
                                .winePrefix = prefix.string(),
                                .clock = {},
                                .zoneFile = kSystemZoneFile,
                                .stateFolder = temp / "home" / ".local" / "state" / "quillet",
                                .lockFile = {}}};
};

TEST_F(ScheduledJobProgramTest, MakesABackupProtectedWithExactlyThePasswordWhichNoArgumentsShow) {
    ASSERT_TRUE(Add("M,T,W,TH,F,S,SU").ok());
    std::atomic<bool> running{true};
    std::atomic<int> exposures{0};
    std::atomic<long> sweeps{0};
    std::thread watcher([&] {
        while (running) {
            if (AnyArgumentsHold(kPasswordMark)) ++exposures;
            ++sweeps;
        }
    });
    const WatchedRun run = RunAsCron();
    running = false;
    watcher.join();
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_FALSE(run.argumentsHeldMark);
    EXPECT_GT(run.reads, 0);
    EXPECT_EQ(exposures, 0);
    EXPECT_GT(sweeps, 0);

    archive::ZipArchive archive;
    ASSERT_TRUE(archive.ArchiveHasPassword(backup));
    ASSERT_TRUE(archive.LoadArchive(backup).ok());
    archive.ReadPassword(kPassword.substr(0, kPassword.size() - 1));
    EXPECT_FALSE(archive.CheckReadPassword());
    archive.ReadPassword(kPassword);
    EXPECT_TRUE(archive.CheckReadPassword());
    EXPECT_TRUE(archive.verifyEntries().ok());
    // A job with days stays, and its run is recorded under its token.
    EXPECT_NE(crontab.text().find("quillet job 1"), std::string::npos);
    const ScheduledJob job = scheduler.listJobs()->front();
    ASSERT_TRUE(job.lastRun.has_value());
    EXPECT_EQ(job.lastRun->exitCode, 0);
}

TEST_F(ScheduledJobProgramTest, ARunOnceJobRemovesItsOwnLineAfterItsRun) {
    ASSERT_TRUE(Add("").ok());
    EXPECT_EQ(RunAsCron().exitCode, 0);
    EXPECT_TRUE(fs::exists(backup));
    EXPECT_EQ(crontab.text(), kUserLines);
}

TEST_F(ScheduledJobProgramTest, ARunOnceJobRemovedMeanwhileLeavesTheJobThatTookItsNumber) {
    ASSERT_EQ(*Add(""), 1);
    const std::string once = LastLine();
    ASSERT_TRUE(scheduler.removeJob(1).ok());
    ASSERT_EQ(*Add("M"), 1);
    const std::string weekly = crontab.text();
    EXPECT_NE(RunAsCron(once).exitCode, 0);  // it could not remove itself: it was gone
    EXPECT_EQ(crontab.text(), weekly);
}

}  // namespace
}  // namespace quillet
