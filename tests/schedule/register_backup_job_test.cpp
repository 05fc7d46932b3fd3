#include "schedule/register_backup_job.h"

#include <gtest/gtest.h>

#include "schedule/crontab_scheduler.h"
#include "support/platform/temp_dir.h"
#include "support/schedule/standin_crontab.h"

namespace quillet {
namespace {

class RegisterBackupJobTest : public ::testing::Test {
  protected:
    JobRegistration Register(const std::string& startTime, const std::string& password = "",
                             const std::string& dayList = "M") {
        const BackupJobRequest request{"{K}",         "10000001", password,
                                       "/b/mail.qbk", startTime,  dayList};
        return RegisterBackupJob(scheduler, "/usr/bin/quillet", request);
    }

    testing::TempDir temp;
    testing::StandinCrontab crontab{temp.path()};
    CrontabScheduler scheduler{{.crontabProgram = crontab.program().string(),
                                .winePrefix = "/home/me/.wine",
                                .now = LocalTimeNow,
                                .lockFile = crontab.program().string() + ".lock"}};
};

TEST_F(RegisterBackupJobTest, TellsTheJobNumberOfEachJob) {
    EXPECT_EQ(Register("9:00").number, 1);
    EXPECT_EQ(Register("9:00").number, 2);
    EXPECT_EQ(JobScheduledMessage(2), "Task 2 has been scheduled.");
}

TEST_F(RegisterBackupJobTest, SaysWhyNothingWasRegistered) {
    const JobRegistration startTime = Register("9:75");
    const JobRegistration dayList = Register("9:00", "", "M,MO");
    const JobRegistration value = Register("9:00", "a=b");
    crontab.refuseWrites();
    const JobRegistration scheduler = Register("9:00");
    const struct {
        const JobRegistration& registration;
        JobRefusal refusal;
    } cases[] = {{startTime, JobRefusal::kStartTime},
                 {dayList, JobRefusal::kDayList},
                 {value, JobRefusal::kJobValue},
                 {scheduler, JobRefusal::kScheduler}};
    for (const auto& c : cases) {
        EXPECT_FALSE(c.registration.scheduled());
        EXPECT_EQ(c.registration.refusal, c.refusal);
        EXPECT_FALSE(c.registration.reason.ok());
    }
    EXPECT_NE(dayList.reason.reason().find("\"MO\""), std::string::npos);
    EXPECT_NE(value.reason.reason().find("\"=\""), std::string::npos);
    EXPECT_EQ(JobNotScheduledMessage(value.reason),
              "The task was not scheduled: " + value.reason.reason() + ".");
    EXPECT_EQ(crontab.text(), "");
}

}  // namespace
}  // namespace quillet
