#include <gtest/gtest.h>

#include "cli/sample_prefix_cli.h"
#include "schedule/crontab_scheduler.h"
#include "schedule/register_backup_job.h"
#include "schedule/system_time_zone.h"
#include "support/schedule/standin_crontab.h"

namespace quillet {
namespace {

using testing::kSampleMainIdentity;

class ScheduleCommandTest : public testing::SamplePrefixCliTest {
  protected:
    void SetUp() override {
        SamplePrefixCliTest::SetUp();
        testing::WriteFileBytes(passwordFile, "s3cret\n");
        context.useScheduler(scheduler);
    }

    std::filesystem::path passwordFile = temp / "password";
    testing::StandinCrontab crontab{temp.path()};
    CrontabScheduler scheduler{{.crontabProgram = crontab.program().string(),
                                .winePrefix = "/home/me/.wine",
                                .clock = {},
                                .zoneFile = kSystemZoneFile,
                                .stateFolder = temp / "state",
                                .lockFile = crontab.program().string() + ".lock"}};
};

TEST_F(ScheduleCommandTest, AddsListsAndRemovesAJob) {
    const testing::CliRun added =
        run({"schedule", "add", "--identity", "Main Identity", "--out", "/b/mail.qbk", "--at",
             "9:05", "--days", "m,TH", "--items", "accounts,settings", "--password-file",
             passwordFile.string()});
    ASSERT_EQ(added.exitCode, 0) << added.err;
    EXPECT_EQ(added.out, JobScheduledMessage(1) + "\n");
    EXPECT_EQ(runAsGiven({"schedule", "list"}).out,
              std::string("1\t9:05\tM,TH\t") + kSampleMainIdentity +
                  "\taccounts,settings\t/b/mail.qbk\t" + LastRunText(std::nullopt) + "\n");
    EXPECT_EQ(scheduler.listJobs()->front().job.password, "s3cret");
    const RunRecord run{"2026-03-10T09:05:00+01:00", scheduler.listJobs()->front().token, 0, ""};
    ASSERT_TRUE(AppendRunRecord(temp / "state" / kRunLogName, run).ok());
    const testing::CliRun withRuns = runAsGiven({"schedule", "list"});
    EXPECT_TRUE(withRuns.out.ends_with("/b/mail.qbk\t" + LastRunText(run) + "\n")) << withRuns.out;
    EXPECT_EQ(withRuns.err, LocalTimeNote(scheduler.timeZoneName()) + "\n");
    EXPECT_EQ(runAsGiven({"schedule", "remove", "1"}).exitCode, 0);
    EXPECT_EQ(runAsGiven({"schedule", "list"}).out, "");
    EXPECT_EQ(runAsGiven({"schedule", "remove", "1"}).exitCode, 2);
}

TEST_F(ScheduleCommandTest, RefusesBadInputRegisteringNothing) {
    const std::vector<std::vector<std::string>> cases = {
        {"--at", "25:00"},
        {"--at", "9:00", "--days", "M,MO"},
        {"--at", "9:00", "--items", "nothing"},
        {"--at", "9:00", "--items", "00000000"},
        {"--at", "9:00", "--identity", "Nobody"},
        {"--at", "9:00", "--password-file", (temp / "missing").string()},
        {"--at", "9:00", "--out", "/b/m=ail.qbk"},
    };
    for (const std::vector<std::string>& extra : cases) {
        std::vector<std::string> arguments{"schedule", "add"};
        if (std::find(extra.begin(), extra.end(), "--out") == extra.end()) {
            arguments.insert(arguments.end(), {"--out", "/b/mail.qbk"});
        }
        if (std::find(extra.begin(), extra.end(), "--identity") == extra.end()) {
            arguments.insert(arguments.end(), {"--identity", kSampleMainIdentity});
        }
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        const testing::CliRun refused = run(arguments);
        EXPECT_EQ(refused.exitCode, 2) << extra.back();
        EXPECT_FALSE(refused.err.empty());
    }
    EXPECT_EQ(crontab.text(), "");
}

}  // namespace
}  // namespace quillet
