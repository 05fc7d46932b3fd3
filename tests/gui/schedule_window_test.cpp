// The schedule window: its load, the checks of "Add Task to Scheduler", the days, the password and
// the job it hands to the scheduler; the list of scheduled jobs.
#include "gui/schedule_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "backup/restore_run.h"
#include "gui/gui_world.h"
#include "gui/job_list_window.h"
#include "gui/window_texts.h"
#include "schedule/register_backup_job.h"
#include "support/memory_registry_store.h"

namespace quillet::testing {
namespace {

using Message = ScriptedDialogs::Message;

// The schedule window over the sample prefix, with a fake scheduler.
class ScheduleWindowTest : public ::testing::Test {
  protected:
    ScheduleWindow& open() {
        world.openPrefix();
        window = std::make_unique<ScheduleWindow>(ScheduleWindowServices{
            .modReg = *world.modReg,
            .dialogs = world.dialogs,
            .scheduler = world.scheduler,
            .program = MainWindowWorld::kJobProgram,
            .dataFolder = ShippedDataFolder(),
            .openJobList = [this](QWidget&) { ++jobListsOpened; },
        });
        window->show();
        return *window;
    }
    void toggle(const QString& name) { QTest::keyClick(&Child<QCheckBox>(*window, name), ' '); }
    void press(const char* name) {
        QTest::mouseClick(&Child<QPushButton>(*window, name), Qt::LeftButton);
    }
    void chooseFile() {
        world.dialogs.saveAnswers.push_back(target.string());
        press("cmdTargetFile");
    }
    // What a job of the sample's first identity with these entries must carry.
    JobRecord expected(const std::string& items, const std::string& dayList,
                       const std::string& password = "") const {
        const JobCommandLine job{kSampleMainIdentity, items, password, target.string()};
        return BuildJobRecord("9:00", dayList, job, MainWindowWorld::kJobProgram).value();
    }
    static void expectSame(const JobRecord& actual, const JobRecord& wanted) {
        EXPECT_EQ(actual.jobTime, wanted.jobTime);
        EXPECT_EQ(actual.daysOfWeek, wanted.daysOfWeek);
        EXPECT_EQ(actual.daysOfMonth, wanted.daysOfMonth);
        EXPECT_EQ(actual.flags, wanted.flags);
        EXPECT_EQ(actual.command, wanted.command);
    }

    MainWindowWorld world;
    const std::filesystem::path target = world.temp / "scheduled backup.qbk";
    std::unique_ptr<ScheduleWindow> window;
    int jobListsOpened = 0;
};

TEST_F(ScheduleWindowTest, OpensWithTheIdentitiesAndFortyEightStartTimes) {
    ScheduleWindow& shown = open();
    EXPECT_EQ(shown.windowTitle(), "Task Scheduler");
    const auto& identities = Child<QComboBox>(shown, "cbSource");
    ASSERT_EQ(identities.count(), 2);
    EXPECT_EQ(identities.itemText(0), kSampleMainUserName);
    EXPECT_EQ(identities.itemText(1), QString::fromUtf8(kSampleZoeUserName));
    EXPECT_EQ(identities.currentIndex(), 0);

    const auto& times = Child<QComboBox>(shown, "cmbStartTime");
    ASSERT_EQ(times.count(), 48);
    for (int i = 0; i < times.count(); ++i) {
        EXPECT_EQ(times.itemText(i).toStdString(), FormatStartTime({i / 2, i % 2 * 30}));
    }
    EXPECT_EQ(times.itemText(47), "23:30");
    EXPECT_EQ(times.currentText(), "9:00");

    for (int i = 0; i < kItemCount; ++i) {
        const auto& item = Child<QCheckBox>(shown, QString("backupitem(%1)").arg(i));
        EXPECT_TRUE(item.isEnabled() && !item.isChecked()) << i;
    }
    for (const WeekDay& day : kWeekDays) {
        EXPECT_FALSE(Child<QCheckBox>(shown, "chk" + QString(day.name.data())).isChecked());
    }
    for (const char* name : {"txtPassword", "txtPassword2"}) {
        EXPECT_FALSE(Child<QLineEdit>(shown, name).isEnabled());
        EXPECT_EQ(Child<QLineEdit>(shown, name).maxLength(), kPasswordMaxLength);
    }
    EXPECT_TRUE(Child<QPushButton>(shown, "Command3").isEnabled());
    press("Command1");
    EXPECT_EQ(jobListsOpened, 1);
    press("Command2");
    EXPECT_FALSE(shown.isVisible());
    EXPECT_TRUE(world.dialogs.messages.empty());
}

TEST(ScheduleWindowLoad, WithoutIdentitiesSaysSoAndRefusesToAddTasks) {
    registry::MemoryRegistryStore store;
    ScriptedDialogs dialogs;
    registry::ModReg modReg(store, dialogs);
    FakeScheduler scheduler;
    ScheduleWindow window({modReg, dialogs, scheduler, "quillet", ShippedDataFolder(), {}});

    EXPECT_EQ(dialogs.messages,
              (std::vector<Message>{
                  {kNoOutlookExpressMessage, MessageIcon::Critical, MessageButtons::Ok}}));
    EXPECT_FALSE(Child<QPushButton>(window, "Command3").isEnabled());
    EXPECT_EQ(Child<QComboBox>(window, "cmbStartTime").count(), 0);
    EXPECT_EQ(Child<QComboBox>(window, "cmbStartTime").currentText(), "00:00");
}

TEST_F(ScheduleWindowTest, ChecksTheEntriesInOrderAndRegistersOnlyWhenAllPass) {
    open();
    struct Step {
        const char* situation;
        std::function<void()> change;
        Message shown;
    };
    const Message noItem{kSelectItemMessage, MessageIcon::Exclamation, MessageButtons::Ok};
    const Message badName{kInvalidBackupFileNameMessage, MessageIcon::Exclamation,
                          MessageButtons::Ok};
    const Message noPassword{kEnterPasswordMessage, MessageIcon::Critical, MessageButtons::Ok};
    const Message mismatch{kPasswordMismatchMessage, MessageIcon::Critical, MessageButtons::Ok};
    const Step steps[] = {
        {"no item, no file, protection without password", [&] { toggle("ifprotect"); }, noItem},
        {"an item, a typed file name",
         [&] {
             toggle("backupitem(3)");
             QTest::keyClicks(&Child<QLineEdit>(*window, "txtTargetFile"), "/tmp/typed.qbk");
         },
         badName},
        {"a chosen file, no password", [&] { chooseFile(); }, noPassword},
        {"a password in the first field only",
         [&] { QTest::keyClicks(&Child<QLineEdit>(*window, "txtPassword"), "secret"); }, mismatch},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.situation);
        world.dialogs.messages.clear();
        step.change();
        press("Command3");
        EXPECT_EQ(world.dialogs.messages, std::vector<Message>{step.shown});
        EXPECT_TRUE(world.scheduler.added.empty());
    }
    EXPECT_EQ(world.dialogs.saveDialogs, (std::vector<ScriptedDialogs::FileDialog>{
                                             {kSaveBackupTitle, kBackupFileFilter, "quillet"}}));

    world.dialogs.messages.clear();
    QTest::keyClicks(&Child<QLineEdit>(*window, "txtPassword2"), "secret");
    press("Command3");
    EXPECT_EQ(
        world.dialogs.messages,
        (std::vector<Message>{{JobScheduledMessage(1), MessageIcon::None, MessageButtons::Ok}}));
    ASSERT_EQ(world.scheduler.added.size(), 1u);
    expectSame(world.scheduler.added[0], expected("00010000", "", "secret"));
    EXPECT_EQ(world.dialogs.problems(), std::vector<std::string>{});
}

// Boxes clicked in order, and the day list they give.
struct DayCase {
    const char* name;
    std::vector<const char*> clicks;
    const char* dayList;
    friend void PrintTo(const DayCase& days, std::ostream* out) { *out << days.name; }
};

class ScheduleWindowDays : public ScheduleWindowTest,
                           public ::testing::WithParamInterface<DayCase> {};

TEST_P(ScheduleWindowDays, RunDailySetsTheSevenDaysAndTheJobCarriesTheTickedDays) {
    open();
    const auto otherStates = [this] {
        std::vector<std::string> states = VisibleStates(*window);
        std::erase_if(states, [](const std::string& state) { return state.starts_with("chk"); });
        return states;
    };
    const std::vector<std::string> before = otherStates();
    for (const char* box : GetParam().clicks) toggle(box);
    EXPECT_EQ(window->dayList(), GetParam().dayList);
    EXPECT_EQ(otherStates(), before) << "the day boxes change nothing else";

    toggle("backupitem(0)");
    chooseFile();
    press("Command3");
    ASSERT_EQ(world.scheduler.added.size(), 1u);
    expectSame(world.scheduler.added[0], expected("10000000", GetParam().dayList));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScheduleWindowDays,
    ::testing::Values(
        DayCase{"NoDay", {}, ""},
        DayCase{"ThursdayAndSunday", {"chkSunday", "chkThursday"}, "TH,SU"},
        DayCase{"RunDaily", {"chkDaily"}, "M,T,W,TH,F,S,SU"},
        DayCase{"RunDailyThenSundayUnticked", {"chkDaily", "chkSunday"}, "M,T,W,TH,F,S"},
        DayCase{"RunDailyUntickedUnticksEveryDay", {"chkMonday", "chkDaily", "chkDaily"}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScheduleWindowTest, TwoJobsInOneVisitGetTheirOwnNumbersAndDays) {
    open();
    toggle("backupitem(1)");
    chooseFile();
    toggle("chkMonday");
    toggle("chkTuesday");
    press("Command3");
    toggle("chkMonday");
    toggle("chkTuesday");
    toggle("chkFriday");
    press("Command3");

    EXPECT_EQ(
        world.dialogs.messages,
        (std::vector<Message>{{JobScheduledMessage(1), MessageIcon::None, MessageButtons::Ok},
                              {JobScheduledMessage(2), MessageIcon::None, MessageButtons::Ok}}));
    ASSERT_EQ(world.scheduler.added.size(), 2u);
    expectSame(world.scheduler.added[0], expected("01000000", "M,T"));
    expectSame(world.scheduler.added[1], expected("01000000", "F"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->targetFile(), target.string()) << "the entries stay";
}

TEST_F(ScheduleWindowTest, UntickingProtectionEmptiesBothFieldsAndTheJobHasNoPassword) {
    open();
    toggle("backupitem(0)");
    chooseFile();
    toggle("ifprotect");
    for (const char* name : {"txtPassword", "txtPassword2"}) {
        QTest::keyClicks(&Child<QLineEdit>(*window, name), "secret");
    }
    toggle("ifprotect");
    for (const char* name : {"txtPassword", "txtPassword2"}) {
        EXPECT_EQ(Child<QLineEdit>(*window, name).text(), "");
        EXPECT_FALSE(Child<QLineEdit>(*window, name).isEnabled());
    }
    press("Command3");
    ASSERT_EQ(world.scheduler.added.size(), 1u);
    expectSame(world.scheduler.added[0], expected("10000000", "", ""));
}

// The messages themselves belong to the registration; here, that the window shows them.
TEST_F(ScheduleWindowTest, ShowsWhyNothingWasRegistered) {
    open();
    toggle("backupitem(0)");
    chooseFile();
    auto& time = Child<QComboBox>(*window, "cmbStartTime");
    time.setEditText("25:00");
    press("Command3");
    time.setEditText("9:00");
    world.scheduler.failure = Status::Error("crontab refused", ErrorKind::kAccessDenied);
    press("Command3");

    ASSERT_EQ(world.dialogs.messages.size(), 2u);
    EXPECT_EQ(world.dialogs.messages[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(world.dialogs.messages[1].icon, MessageIcon::Critical);
    EXPECT_NE(world.dialogs.messages[1].text.find("crontab refused"), std::string::npos);
    EXPECT_TRUE(world.scheduler.added.empty());
}

TEST_F(ScheduleWindowTest, JobListShowsTheJobsWithoutPasswordsAndRemovesTheSelectedOne) {
    world.openPrefix();
    FakeScheduler& scheduler = world.scheduler;
    const JobCommandLine weekly{kSampleMainIdentity, "10010000", "secret", "/b/weekly.qbk"};
    const JobCommandLine once{"{gone}", "00000001", "secret", "/b/once.qbk"};
    ASSERT_TRUE(scheduler.addJob(*BuildJobRecord("23:30", "M,TH", weekly, "q")).ok());
    ASSERT_TRUE(scheduler.addJob(*BuildJobRecord("0:00", "", once, "q")).ok());
    JobListWindow list(scheduler, ListIdentities(*world.modReg), world.dialogs,
                       ShippedDataFolder());
    list.show();
    EXPECT_EQ(list.windowTitle(), "Scheduled Backups");

    auto& rows = Child<QTreeWidget>(list, "lvwJobs");
    const auto row = [&rows](int index) {
        std::vector<std::string> texts;
        for (int c = 0; c < JobListWindow::kColumnCount; ++c) {
            texts.push_back(rows.topLevelItem(index)->text(c).toStdString());
        }
        return texts;
    };
    const std::string weeklyItems =
        std::string(kItems[0].backupCaption) + ", " + std::string(kItems[3].backupCaption);
    ASSERT_EQ(rows.topLevelItemCount(), 2);
    EXPECT_EQ(row(0), (std::vector<std::string>{"1", kSampleMainUserName, weeklyItems, "M,TH",
                                                "23:30", "/b/weekly.qbk"}));
    EXPECT_EQ(row(1),
              (std::vector<std::string>{"2", "{gone}", std::string(kItems[7].backupCaption),
                                        JobListWindow::kRunOnceText, "0:00", "/b/once.qbk"}));

    auto& remove = Child<QPushButton>(list, "cmdRemove");
    EXPECT_FALSE(remove.isEnabled());
    rows.setCurrentItem(rows.topLevelItem(0));
    QTest::mouseClick(&remove, Qt::LeftButton);
    ASSERT_EQ(scheduler.jobs.size(), 1u);
    EXPECT_EQ(scheduler.jobs[0].number, 2);
    ASSERT_EQ(rows.topLevelItemCount(), 1);
    EXPECT_EQ(row(0)[JobListWindow::kNumber], "2");

    // Removed meanwhile by someone else: the reason is shown and the list follows.
    rows.setCurrentItem(rows.topLevelItem(0));
    scheduler.jobs.clear();
    QTest::mouseClick(&remove, Qt::LeftButton);
    EXPECT_EQ(world.dialogs.messages,
              (std::vector<Message>{
                  {scheduler.removeJob(2).reason(), MessageIcon::Critical, MessageButtons::Ok}}));
    EXPECT_EQ(rows.topLevelItemCount(), 0);

    world.dialogs.messages.clear();
    scheduler.failure = Status::Error("no crontab command");
    list.refresh();
    EXPECT_EQ(
        world.dialogs.messages,
        (std::vector<Message>{{"no crontab command", MessageIcon::Critical, MessageButtons::Ok}}));
}

}  // namespace
}  // namespace quillet::testing
