#include "schedule/cron_line.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/program_runner.h"
#include "support/platform/temp_dir.h"

namespace quillet {
namespace {

using testing::ReadFileBytes;
using testing::TempDir;
using testing::WriteFileBytes;

// Every character the shell or cron treats specially.
constexpr char kHostilePassword[] = "' \" ; $( ) ` % \\ &";

ScheduledJob HostileJob() {
    ScheduledJob job;
    job.number = 1;
    job.token = "abc";
    job.startTime = {9, 0};
    job.daysOfWeek = 1 | 4;  // Monday and Wednesday
    job.program = "/usr/bin/quillet";
    job.job = {"{K}", "11111111", kHostilePassword, "/home/me/Back ups/mail 1.qbk"};
    job.winePrefix = "/home/me/my wine";
    job.stateHome = "/home/me/.local/state";
    return job;
}

std::tm Now(int year, int month, int day, int hour, int minute) {
    std::tm now{};
    now.tm_year = year - 1900;
    now.tm_mon = month - 1;
    now.tm_mday = day;
    now.tm_hour = hour;
    now.tm_min = minute;
    now.tm_isdst = -1;
    return now;
}

void ExpectSameJob(const ScheduledJob& read, const ScheduledJob& written) {
    EXPECT_EQ(read.number, written.number);
    EXPECT_EQ(read.token, written.token);
    EXPECT_EQ(read.startTime, written.startTime);
    EXPECT_EQ(read.daysOfWeek, written.daysOfWeek);
    EXPECT_EQ(read.program, written.program);
    EXPECT_EQ(MakeJobCommandLine(read.job), MakeJobCommandLine(written.job));
    EXPECT_EQ(read.winePrefix, written.winePrefix);
    EXPECT_EQ(read.stateHome, written.stateHome);
}

TEST(CronLineTest, HostileJobGivesThisExactLine) {
    EXPECT_EQ(
        FormatCronLine(HostileJob(), Now(2026, 12, 8, 16, 0)),
        "0 9 * * 1,3 /bin/sh -c 'IFS= read -r QUILLET_JOB; export QUILLET_JOB; "
        "WINEPREFIX='\\''/home/me/my wine'\\'' XDG_STATE_HOME='\\''/home/me/.local/state'\\'' "
        "QUILLET_TOKEN=abc exec '\\''/usr/bin/quillet'\\'' "
        "# quillet job 1 abc'%sf={K}xm=11111111ps=' \" ; $( ) ` \\% \\ &bf=/home/me/Back "
        "ups/mail 1.qbk");
}

TEST(CronLineTest, EveryFormOfJobReadsBack) {
    std::vector<ScheduledJob> jobs;
    jobs.push_back(HostileJob());
    ScheduledJob daily = HostileJob();
    daily.number = 12;
    daily.daysOfWeek = 127;
    daily.winePrefix.reset();
    daily.stateHome = "/s'%'";
    daily.program = "/opt/it's 100%/quillet";
    daily.job.backupFile = "/b/%%\\%x\\";
    jobs.push_back(daily);
    ScheduledJob once = HostileJob();
    once.number = 3;
    once.token = "qz";
    once.daysOfWeek = 0;
    once.winePrefix = "/p'%'";
    jobs.push_back(once);
    for (const ScheduledJob& job : jobs) {
        const std::string line = FormatCronLine(job, Now(2026, 12, 8, 16, 0));
        SCOPED_TRACE(line);
        const std::optional<ScheduledJob> read = ParseCronLine(line);
        ASSERT_TRUE(read.has_value());
        ExpectSameJob(*read, job);
        EXPECT_EQ(CronLineJobNumber(line), job.number);
    }
    // Lines of earlier forms: the command is the script itself, the job has no token; or the
    // job has a token but no QUILLET_TOKEN.
    for (const char* earlier :
         {"0 9 * * 1 /bin/sh -c 'IFS= read -r QUILLET_JOB; export QUILLET_JOB; exec '\\''/q'\\'' "
          "# quillet job 4 abc'%sf={K}xm=11111111ps=bf=/m.qbk",
          "0 9 * * 1 IFS= read -r QUILLET_JOB; export QUILLET_JOB; WINEPREFIX='/p' exec '/q' "
          "# quillet job 4%sf={K}xm=11111111ps=bf=/m.qbk",
          "0 9 2 3 * IFS= read -r QUILLET_JOB; export QUILLET_JOB; QUILLET_ONCE=4 exec '/q' "
          "# quillet job 4%sf={K}xm=11111111ps=bf=/m.qbk"}) {
        ASSERT_TRUE(ParseCronLine(earlier).has_value()) << earlier;
        EXPECT_EQ(CronLineJobNumber(earlier), 4);
    }
}

TEST(CronLineTest, RunOnceJobIsDatedWithTheNextOccurrenceOfItsTime) {
    ScheduledJob once = HostileJob();
    once.daysOfWeek = 0;
    once.winePrefix.reset();
    const std::tm lateOnNewYearsEve = Now(2026, 12, 31, 23, 0);
    once.startTime = {23, 30};
    EXPECT_TRUE(FormatCronLine(once, lateOnNewYearsEve).starts_with("30 23 31 12 * "));
    once.startTime = {22, 0};
    EXPECT_TRUE(FormatCronLine(once, lateOnNewYearsEve).starts_with("0 22 1 1 * "));
    once.startTime = {23, 0};  // the very minute: next day
    EXPECT_TRUE(FormatCronLine(once, lateOnNewYearsEve).starts_with("0 23 1 1 * "));
    EXPECT_NE(FormatCronLine(once, lateOnNewYearsEve).find("QUILLET_ONCE=abc exec"),
              std::string::npos);
}

TEST(CronLineTest, OtherLinesAreNotQuillets) {
    const char* lines[] = {
        "",
        "# m h dom mon dow command",
        "MAILTO=me@example.org",
        "*/5 * * * * /usr/local/bin/sync-mail # quillet job 3",
        "0 9 * * 1 IFS= read -r QUILLET_JOB; export QUILLET_JOB; exec '/x' # quillet job 0%a",
        "@reboot echo hi",
        "0 9 * * 1 IFS= read -r QUILLET_JOB; export QUILLET_JOB; WINEPREFIX='/p\n* * * * * x #' "
        "exec '/x' # quillet job 1%sf={K}xm=11111111ps=bf=/m.qbk",
    };
    for (const char* line : lines) {
        EXPECT_EQ(CronLineJobNumber(line), std::nullopt) << line;
        EXPECT_EQ(ParseCronLine(line), std::nullopt) << line;
    }
}

// What Debian's cron (3.0pl1) was seen to make of such commands.
TEST(CronLineTest, SplitsACommandAsCronDoes) {
    const CronCommand split = SplitCronCommand("a\\%b\\x%c\\%d%\\\\%\\\\b\\");
    EXPECT_EQ(split.shellCommand, "a%b\\x");
    EXPECT_EQ(split.input, "c%d\n\\%\\\\b\\");
    EXPECT_EQ(SplitCronCommand("no input").input, "");
}

// The line's command run as cron runs it: the crontab's SHELL gets the text before the first "%"
// (whatever shell a line of the crontab names), the job command line comes on standard input, the
// program gets exactly the job's text and the job's prefix, whatever the environment says.
TEST(CronLineTest, CommandRunAsCronDoesHandsTheProgramTheExactJobText) {
    TempDir temp;
    const std::filesystem::path folder = temp / "it's 100% here";
    std::filesystem::create_directories(folder);
    const std::filesystem::path program = folder / "show job";
    WriteFileBytes(program,
                   "#!/bin/sh\nprintf '%s' \"$QUILLET_JOB\" > \"$0.job\"\n"
                   "printf '%s' \"$WINEPREFIX\" > \"$0.prefix\"\n"
                   "printf '%s' \"$XDG_STATE_HOME\" > \"$0.state\"\n");
    chmod(program.c_str(), 0755);
    ScheduledJob job = HostileJob();
    job.program = program.string();
    job.winePrefix = "/home/me/it's 50%";

    const CronCommand cron = SplitCronCommand(CronLineCommand(FormatCronLine(job, std::tm{})));
    for (const char* shell : {"/bin/sh", "/bin/csh"}) {
        SCOPED_TRACE(shell);
        if (!std::filesystem::exists(shell)) continue;  // csh: of the package csh
        std::filesystem::remove(program.string() + ".job");
        auto run = RunProgram(
            {"/usr/bin/env", "-i", "WINEPREFIX=/other", "HOME=/elsewhere", "XDG_STATE_HOME=/other",
             "SHELL=" + std::string(shell), shell, "-c", cron.shellCommand},
            cron.input);
        ASSERT_TRUE(run.ok()) << run.reason();
        ASSERT_EQ(run->exitCode, 0) << run->err;
        EXPECT_EQ(ReadFileBytes(program.string() + ".job"), MakeJobCommandLine(job.job));
        EXPECT_EQ(ReadFileBytes(program.string() + ".prefix"), *job.winePrefix);
        EXPECT_EQ(ReadFileBytes(program.string() + ".state"), *job.stateHome);
    }
}

}  // namespace
}  // namespace quillet
