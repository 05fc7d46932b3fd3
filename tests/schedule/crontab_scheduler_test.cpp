#include "schedule/crontab_scheduler.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>

#include "schedule/cron_line.h"
#include "support/platform/child_process.h"
#include "support/platform/private_mount.h"
#include "support/platform/temp_dir.h"
#include "support/schedule/standin_crontab.h"

namespace quillet {
namespace {

using testing::StandinCrontab;
using testing::TempDir;
using namespace std::chrono_literals;

// The user's own crontab, its last line without a line break.
constexpr char kUserLines[] =
    "# m h  dom mon dow   command\n"
    "MAILTO=me@example.org\n"
    "*/5 * * * * /usr/local/bin/sync-mail # quillet job 3\n"
    "\n"
    "0 1 * * * echo 'no line break at the end'";

JobRecord Record(const std::string& startTime = "9:00", const std::string& days = "M,W") {
    const JobCommandLine job{"{K}", "11111111", "secret", "/home/me/mail.qbk"};
    return *BuildJobRecord(startTime, days, job, "/usr/bin/quillet");
}

std::vector<int> Numbers(Scheduler& scheduler) {
    auto jobs = scheduler.listJobs();
    EXPECT_TRUE(jobs.ok()) << jobs.reason();
    std::vector<int> numbers;
    if (jobs) {
        for (const ScheduledJob& job : *jobs) numbers.push_back(job.number);
    }
    return numbers;
}

// A scheduler over `program`, its state and lock named after `at` (else after the program).
CrontabScheduler Scheduler(const std::string& program, std::string at = "",
                           std::optional<std::string> prefix = "/home/me/wine") {
    if (at.empty()) at = program;
    return CrontabScheduler({.crontabProgram = program,
                             .winePrefix = prefix,
                             .clock = {},
                             .zoneFile = kSystemZoneFile,
                             .stateFolder = at + ".state",
                             .lockFile = at + ".lock"});
}

// A stand-in crontab and a scheduler over it.
struct CrontabWorld {
    TempDir temp;
    StandinCrontab crontab{temp.path()};
    CrontabScheduler scheduler = Scheduler(crontab.program());
};

class CrontabSchedulerTest : public ::testing::Test, public CrontabWorld {};

TEST_F(CrontabSchedulerTest, NumbersJobsFromTheLowestFreeAndKeepsTheUsersLines) {
    crontab.setText(kUserLines);
    EXPECT_EQ(*scheduler.addJob(Record()), 1);
    EXPECT_EQ(*scheduler.addJob(Record("23:30", "")), 2);
    EXPECT_TRUE(crontab.text().starts_with(std::string(kUserLines) + "\n"));
    EXPECT_EQ(Numbers(scheduler), (std::vector<int>{1, 2}));

    ASSERT_TRUE(scheduler.removeJob(1).ok());
    EXPECT_EQ(*scheduler.addJob(Record()), 1);
    ASSERT_TRUE(scheduler.removeJob(2).ok());
    ASSERT_TRUE(scheduler.removeJob(1).ok());
    EXPECT_EQ(crontab.text(), std::string(kUserLines) + "\n");
    EXPECT_TRUE(scheduler.removeJob(1).is(ErrorKind::kNotFound));
}

// A row listed before another program changed the jobs removes its own job or nothing.
TEST_F(CrontabSchedulerTest, ARemovedJobsNumberGivenToAnotherIsNotRemovedByTheOldListing) {
    constexpr char kEarlier[] =
        "0 9 * * 1 IFS= read -r QUILLET_JOB; export QUILLET_JOB; exec '/q' # quillet job 2"
        "%sf={K}xm=11111111ps=bf=/m.qbk\n";
    crontab.setText(kEarlier);
    ASSERT_EQ(*scheduler.addJob(Record()), 1);
    const std::vector<ScheduledJob> listed = *scheduler.listJobs();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_NE(listed[0].token, "");
    EXPECT_EQ(listed[1].token, "");
    ASSERT_TRUE(scheduler.removeJob(1).ok());
    ASSERT_EQ(*scheduler.addJob(Record()), 1);
    EXPECT_NE(scheduler.listJobs()->front().token, listed[0].token);

    EXPECT_TRUE(scheduler.removeListedJob(listed[0]).is(ErrorKind::kNotFound));
    EXPECT_EQ(Numbers(scheduler), (std::vector<int>{1, 2}));
    ASSERT_TRUE(scheduler.removeListedJob(listed[1]).ok());
    ASSERT_TRUE(scheduler.removeListedJob(scheduler.listJobs()->front()).ok());
    EXPECT_EQ(Numbers(scheduler), std::vector<int>{});
}

TEST_F(CrontabSchedulerTest, ListsWhatWasAdded) {
    ASSERT_TRUE(scheduler.addJob(Record("7:05", "TH,SU")).ok());
    auto jobs = scheduler.listJobs();
    ASSERT_TRUE(jobs.ok());
    ASSERT_EQ(jobs->size(), 1u);
    const ScheduledJob& job = jobs->front();
    EXPECT_EQ(job.startTime, (TimeOfDay{7, 5}));
    EXPECT_EQ(job.daysOfWeek, 8 | 64);
    EXPECT_EQ(job.program, "/usr/bin/quillet");
    EXPECT_EQ(job.job.password, "secret");
    EXPECT_EQ(job.winePrefix, "/home/me/wine");
    EXPECT_EQ(job.lastRun, std::nullopt);

    // Its last run, by its token, from the run log of the state folder.
    const RunRecord run{"2026-03-10T21:05:00+01:00", job.token, 2, "disk full"};
    ASSERT_TRUE(AppendRunRecord(crontab.program().string() + ".state/runs.log", run).ok());
    EXPECT_EQ(scheduler.listJobs()->front().lastRun, run);
}

// cron reads a job's date in the system's zone: the date follows the zone file, never the TZ of
// the process that adds the job.
TEST_F(CrontabSchedulerTest, DatesARunOnceJobInTheSystemsZoneWhateverTZSays) {
    const std::filesystem::path zoneFile = temp / "localtime";
    std::filesystem::create_symlink("/usr/share/zoneinfo/Asia/Tokyo", zoneFile);
    const std::string savedTz = std::getenv("TZ") ? std::getenv("TZ") : "";
    setenv("TZ", "America/Los_Angeles", 1);
    tzset();
    // 20:00 UTC on 10 March: 13:00 on the 10th in Los Angeles, 05:00 on the 11th in Tokyo.
    const auto clock = [] { return std::chrono::sys_days{std::chrono::March / 10 / 2026} + 20h; };
    CrontabScheduler tokyo({.crontabProgram = crontab.program(),
                            .winePrefix = "/home/me/wine",
                            .clock = clock,
                            .zoneFile = zoneFile,
                            .stateFolder = temp / "state",
                            .lockFile = temp / "lock"});
    ASSERT_TRUE(tokyo.addJob(Record("14:00", "")).ok());
    savedTz.empty() ? unsetenv("TZ") : setenv("TZ", savedTz.c_str(), 1);
    tzset();
    EXPECT_TRUE(crontab.text().starts_with("0 14 11 3 * ")) << crontab.text();
    EXPECT_EQ(tokyo.timeZoneName(), "Asia/Tokyo");
    EXPECT_EQ(SystemTimeZone::Load(temp / "no zone").name(), "UTC");
}

TEST_F(CrontabSchedulerTest, AFailingCrontabRegistersNothingAndSaysWhy) {
    struct Case {
        const char* name;
        std::function<void(CrontabWorld&)> arrange;
        ErrorKind kind;
    };
    const Case cases[] = {
        {"missing command",
         [](CrontabWorld& w) { w.scheduler = Scheduler((w.temp / "no-such-crontab").string()); },
         ErrorKind::kNotFound},
        {"write refused", [](CrontabWorld& w) { w.crontab.refuseWrites(); },
         ErrorKind::kAccessDenied},
        {"changed meanwhile", [](CrontabWorld& w) { w.crontab.changeOnLaterReads(); },
         ErrorKind::kInUse},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CrontabWorld world;
        world.crontab.setText(kUserLines);
        c.arrange(world);
        auto added = world.scheduler.addJob(Record());
        ASSERT_FALSE(added.ok());
        EXPECT_TRUE(added.status().is(c.kind)) << added.reason();
        EXPECT_FALSE(added.reason().empty());
        EXPECT_TRUE(world.crontab.text().starts_with(kUserLines));
        EXPECT_EQ(world.crontab.text().find("quillet job 1"), std::string::npos);
    }
}

// A line that would plant a crontab line of its own, ahead of everything.
constexpr char kPlanted[] = "x\n* * * * * touch PWNED #";

TEST_F(CrontabSchedulerTest, RefusesAValueTheJobCannotCarryBeforeReadingTheCrontab) {
    struct Case {
        const char* name;
        JobCommandLine job;
        std::string program;
        std::optional<std::string> prefix;
    };
    const Case cases[] = {
        {"= in password", {"{K}", "11111111", "a=b", "/m.qbk"}, "/usr/bin/quillet", "/w"},
        {"no prefix", {"{K}", "11111111", "", "/m.qbk"}, "/usr/bin/quillet", {}},
        {"line break in prefix", {"{K}", "11111111", "", "/m.qbk"}, "/usr/bin/quillet", kPlanted},
        {"line break in program", {"{K}", "11111111", "", "/m.qbk"}, kPlanted, "/w"},
        {"CR in identity", {"{K}\r", "11111111", "", "/m.qbk"}, "/usr/bin/quillet", "/w"},
        {"NUL in file", {"{K}", "11111111", "", std::string("/m\0.qbk", 7)}, "/q", "/w"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JobRecord record = Record();
        record.command = JobCommand(c.program, c.job);
        CrontabScheduler scheduler = Scheduler((temp / "no-such-crontab").string(), "", c.prefix);
        EXPECT_TRUE(scheduler.addJob(record).status().is(ErrorKind::kBadInput));
    }
}

// The real crontab command, against a private, empty spool: the machine's own crontab is never
// seen or touched. `body` runs in a child process inside it; its result is the child's exit code.
void InPrivateSpool(const std::function<int()>& body) {
    const std::filesystem::path spool = "/var/spool/cron/crontabs";
    if (geteuid() != 0 || !std::filesystem::is_directory(spool) ||
        !std::filesystem::exists("/usr/bin/crontab")) {
        GTEST_SKIP() << "needs root and the crontab command of the package cron";
    }
    const pid_t child = testing::ForkChild([&] {
        if (!testing::MountPrivateEmptyFolder(spool, "mode=1730")) return 10;
        return body();
    });
    const int status = testing::WaitForChild(child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 10) GTEST_SKIP() << "cannot make a private mount namespace";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(RealCrontabTest, AddsListsAndRemovesAJobThatCrontabAccepts) {
    TempDir temp;
    InPrivateSpool([&] {
        CrontabScheduler planting = Scheduler("crontab", (temp / "s").string(), kPlanted);
        if (planting.addJob(Record()).ok()) return 15;
        CrontabScheduler scheduler = Scheduler("crontab", (temp / "s").string());
        auto first = scheduler.addJob(Record());
        auto second = scheduler.addJob(Record("0:00", ""));
        if (!first || !second || *first != 1 || *second != 2) return 11;
        auto jobs = scheduler.listJobs();
        if (!jobs || jobs->size() != 2 || (*jobs)[1].daysOfWeek != 0) return 12;
        if (!scheduler.removeJob(1) || !scheduler.removeJob(2)) return 13;
        jobs = scheduler.listJobs();
        return jobs && jobs->empty() ? 0 : 14;
    });
}

// Processes adding at once each get their job, under its own number.
TEST(RealCrontabTest, AddsAtOnceAllLandWithDistinctNumbers) {
    TempDir temp;
    InPrivateSpool([&] {
        constexpr int kProcesses = 4;
        constexpr int kAddsEach = 3;
        CrontabScheduler scheduler = Scheduler("crontab", (temp / "s").string());
        testing::Pipe start;
        std::vector<pid_t> adders;
        for (int i = 0; i < kProcesses; ++i) {
            adders.push_back(testing::ForkChild([&] {
                start.closeWriteEnd();
                start.receiveByte();  // all start when the parent closes its end
                for (int add = 0; add < kAddsEach; ++add) {
                    if (!scheduler.addJob(Record()).ok()) return 1;
                }
                return 0;
            }));
        }
        start.closeWriteEnd();
        int failed = 0;
        for (pid_t adder : adders) failed += testing::WaitForChild(adder) != 0;
        std::vector<int> expected(kProcesses * kAddsEach);
        for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<int>(i) + 1;
        return failed == 0 && Numbers(scheduler) == expected ? 0 : 16;
    });
}

// The real cron daemon over the private spool (and no system jobs) runs the job at its minute
// with exactly the job's text, and never the command in a value. It waits for cron's minute.
TEST(RealCronDaemonTest, RunsTheJobAndNothingPlanted) {
    if (!std::filesystem::exists("/usr/sbin/cron")) GTEST_SKIP() << "needs the package cron";
    TempDir temp;
    const std::filesystem::path planted = temp / "planted", ran = temp / "ran", job = temp / "job";
    testing::WriteFileBytes(job,
                            "#!/bin/sh\nprintf %s \"$QUILLET_JOB\" > '" + ran.string() + "'\n");
    chmod(job.c_str(), 0755);
    testing::WriteFileBytes(temp / "crontab", "");
    InPrivateSpool([&] {
        if (mount("quillet-test", "/etc/cron.d", "tmpfs", 0, nullptr) != 0 ||
            mount("quillet-test", "/run", "tmpfs", 0, nullptr) != 0 ||
            mount((temp / "crontab").c_str(), "/etc/crontab", nullptr, MS_BIND, nullptr) != 0) {
            return 10;
        }
        const SystemTimeZone zone = SystemTimeZone::Load();
        const auto now = std::chrono::system_clock::now();
        const std::tm start = zone.localTime(now + (zone.localTime(now).tm_sec < 45 ? 60s : 120s));
        const JobCommandLine line{"{K}", "11111111", "p'%;$(touch " + planted.string() + ")", "/m"};
        const JobRecord record =
            *BuildJobRecord(std::to_string(start.tm_hour) + (start.tm_min < 10 ? ":0" : ":") +
                                std::to_string(start.tm_min),
                            "", line, job);
        CrontabScheduler scheduler = Scheduler("crontab", (temp / "s").string());
        // A value that would plant a line is refused before this (RealCrontabTest).
        if (!scheduler.addJob(record).ok()) return 11;
        const pid_t cron = testing::ForkChild([] {
            execl("/usr/sbin/cron", "cron", "-f", nullptr);
            return 127;
        });
        // cron starts a job at the start of its minute: wait for it, 150 s at most.
        for (int i = 0; i < 1500 && (!exists(ran) || std::filesystem::is_empty(ran)); ++i) {
            usleep(100000);
        }
        kill(cron, SIGTERM);
        testing::WaitForChild(cron);
        return testing::ReadFileBytes(ran) == MakeJobCommandLine(line) && !exists(planted) ? 0 : 12;
    });
}

}  // namespace
}  // namespace quillet
