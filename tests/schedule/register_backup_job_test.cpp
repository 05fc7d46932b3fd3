#include "schedule/register_backup_job.h"

#include <gtest/gtest.h>

#include "schedule/crontab_scheduler.h"
#include "support/platform/temp_dir.h"
#include "support/schedule/standin_crontab.h"

namespace quillet {
namespace {

class RegisterBackupJobTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(program.parent_path());
        testing::WriteFileBytes(program, "#!/bin/sh\n");
        std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    }

    JobRegistration Register(const std::string& startTime, const std::string& password = "",
                             const std::string& dayList = "M") {
        const BackupJobRequest request{"{K}",         "10000001", password,
                                       "/b/mail.qbk", startTime,  dayList};
        return RegisterBackupJob(scheduler, program.string(), request);
    }

    testing::TempDir temp;
    // A folder name holding a double quote is carried as it is.
    std::filesystem::path program = temp / "my \"apps\"" / "quillet";
    testing::StandinCrontab crontab{temp.path()};
    CrontabScheduler scheduler{{.crontabProgram = crontab.program().string(),
                                .winePrefix = "/home/me/.wine",
                                .clock = {},
                                .zoneFile = kSystemZoneFile,
                                .stateFolder = temp / "state",
                                .lockFile = crontab.program().string() + ".lock"}};
};

TEST_F(RegisterBackupJobTest, TellsTheJobNumberOfEachJob) {
    EXPECT_EQ(Register("9:00").number, 1);
    EXPECT_EQ(Register("9:00").number, 2);
    EXPECT_EQ(scheduler.listJobs()->front().program, program.string());
    EXPECT_EQ(JobScheduledMessage(2), "Task 2 has been scheduled.");
}

TEST_F(RegisterBackupJobTest, SaysWhyNothingWasRegistered) {
    const JobRegistration startTime = Register("9:75");
    const JobRegistration dayList = Register("9:00", "", "M,MO");
    const JobRegistration value = Register("9:00", "a=b");
    std::filesystem::permissions(program, std::filesystem::perms::owner_read);
    const JobRegistration notRunnable = Register("9:00");
    std::filesystem::remove(program);
    const JobRegistration missing = Register("9:00");
    testing::WriteFileBytes(program, "#!/bin/sh\n");
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    crontab.refuseWrites();
    const JobRegistration scheduler = Register("9:00");
    const struct {
        const JobRegistration& registration;
        JobRefusal refusal;
    } cases[] = {{startTime, JobRefusal::kStartTime}, {dayList, JobRefusal::kDayList},
                 {value, JobRefusal::kJobValue},      {notRunnable, JobRefusal::kProgram},
                 {missing, JobRefusal::kProgram},     {scheduler, JobRefusal::kScheduler}};
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
