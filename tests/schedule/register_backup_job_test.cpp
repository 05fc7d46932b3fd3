#include "schedule/register_backup_job.h"

#include <gtest/gtest.h>

#include "schedule/crontab_scheduler.h"
#include "support/platform/recording_message_service.h"
#include "support/platform/temp_dir.h"
#include "support/schedule/standin_crontab.h"

namespace quillet {
namespace {

class RegisterBackupJobTest : public ::testing::Test {
  protected:
    Result<int> Register(const std::string& startTime, const std::string& password = "") {
        const BackupJobRequest request{"{K}", "10000001", password, "/b/mail.qbk", startTime, "M"};
        return RegisterBackupJob(messages, scheduler, "/usr/bin/quillet", request);
    }

    testing::TempDir temp;
    testing::StandinCrontab crontab{temp.path()};
    CrontabScheduler scheduler{{.crontabProgram = crontab.program().string(),
                                .winePrefix = std::nullopt,
                                .now = LocalTimeNow}};
    testing::RecordingMessageService messages;
};

TEST_F(RegisterBackupJobTest, TellsTheJobNumberOfEachJob) {
    EXPECT_EQ(*Register("9:00"), 1);
    EXPECT_EQ(*Register("9:00"), 2);
    ASSERT_EQ(messages.shown.size(), 2u);
    EXPECT_EQ(messages.shown[1].text, "Task 2 has been scheduled.");
    EXPECT_EQ(messages.shown[1].icon, MessageIcon::None);
    EXPECT_EQ(messages.shown[1].buttons, MessageButtons::Ok);
}

TEST_F(RegisterBackupJobTest, SaysWhyNothingWasRegistered) {
    EXPECT_FALSE(Register("9:75").ok());
    EXPECT_FALSE(Register("9:00", "a=b").ok());
    crontab.refuseWrites();
    EXPECT_FALSE(Register("9:00").ok());
    ASSERT_EQ(messages.shown.size(), 3u);
    EXPECT_EQ(messages.shown[0].text, "Invalid start time.");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Exclamation);
    for (int i : {1, 2}) {
        EXPECT_EQ(messages.shown[i].icon, MessageIcon::Critical);
        EXPECT_TRUE(messages.shown[i].text.starts_with("The task was not scheduled: "));
    }
    EXPECT_NE(messages.shown[1].text.find("\"=\""), std::string::npos);
    EXPECT_EQ(crontab.text(), "");
}

}  // namespace
}  // namespace quillet
