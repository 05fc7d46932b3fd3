// The schedule window: its load, the checks of "Add Task to Scheduler", the days, the password and
// the job it hands to the scheduler; the list of scheduled jobs.
#include "gui/schedule_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTreeWidget>
#include <tuple>

#include "backup/restore_run.h"
#include "gui/gui_world.h"
#include "gui/job_list_window.h"
#include "gui/window_texts.h"
#include "schedule/register_backup_job.h"
#include "schedule/system_time_zone.h"
#include "support/registry/memory_registry_store.h"

namespace quillet::testing {
namespace {

using Message = ScriptedDialogs::Message;

Message Said(const std::string& text, MessageIcon icon) { return {text, icon, MessageButtons::Ok}; }

auto Fields(const JobRecord& r) {
    return std::tuple(r.jobTime, r.daysOfWeek, r.daysOfMonth, r.flags, r.command);
}

// The schedule window over the sample prefix, with a fake scheduler.
class ScheduleWindowTest : public ::testing::Test {
  protected:
    ScheduleWindow& open() {
        world.openPrefix();
        window = std::make_unique<ScheduleWindow>(ScheduleWindowServices{
            *world.modReg, world.dialogs, world.scheduler, MainWindowWorld::kJobProgram,
            ShippedDataFolder(), [this](QWidget&) { ++jobListsOpened; }});
        window->show();
        return *window;
    }
    void toggle(const QString& name) { QTest::keyClick(&Child<QCheckBox>(*window, name), ' '); }
    void type(const char* field, const char* text) {
        QTest::keyClicks(&Child<QLineEdit>(*window, field), text);
    }
    void press(const char* name) {
        QTest::mouseClick(&Child<QPushButton>(*window, name), Qt::LeftButton);
    }
    void chooseFile() {
        world.dialogs.saveAnswers.push_back(target.string());
        press("cmdTargetFile");
    }
    // Registers a job of the sample's first identity with these items through the window, and
    // checks that the scheduler got the record of those entries.
    void addAndExpect(const std::string& items, const std::string& dayList,
                      const std::string& password = "") {
        press("Command3");
        const JobCommandLine job{kSampleMainIdentity, items, password, target.string()};
        ASSERT_FALSE(world.scheduler.added.empty());
        EXPECT_EQ(Fields(world.scheduler.added.back()),
                  Fields(*BuildJobRecord("9:00", dayList, job, MainWindowWorld::kJobProgram)));
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
    EXPECT_EQ(identities.itemText(1), QString::fromUtf8(kSampleZoeUserName));
    EXPECT_EQ(identities.currentIndex(), 0);
    const auto& times = Child<QComboBox>(shown, "cmbStartTime");
    ASSERT_EQ(times.count(), 48);
    for (int i = 0; i < times.count(); ++i) {
        EXPECT_EQ(times.itemText(i).toStdString(), FormatStartTime({i / 2, i % 2 * 30}));
    }
    EXPECT_EQ(times.itemText(47), "23:30");
    EXPECT_EQ(times.currentText(), "9:00");
    EXPECT_EQ(Child<QLabel>(shown, "lblTimeZone").text().toStdString(),
              LocalTimeNote(world.scheduler.zoneName));
    for (const QCheckBox* box : shown.findChildren<QCheckBox*>()) {
        EXPECT_TRUE(box->isEnabled() && !box->isChecked()) << box->objectName().toStdString();
    }
    for (const char* name : {"txtPassword", "txtPassword2"}) {
        EXPECT_FALSE(Child<QLineEdit>(shown, name).isEnabled());
        EXPECT_EQ(Child<QLineEdit>(shown, name).maxLength(), kPasswordMaxLength);
    }
    press("Command1");
    EXPECT_EQ(jobListsOpened, 1);
    press("Command2");
    EXPECT_FALSE(shown.isVisible());
    EXPECT_TRUE(world.dialogs.messages.empty());
}

TEST(ScheduleWindowLoad, WithoutIdentitiesSaysSoAndRefusesToAddTasks) {
    registry::MemoryRegistryStore store;
    ScriptedDialogs dialogs;
    registry::ModReg modReg(store, PlainMessages(dialogs));
    FakeScheduler scheduler;
    ScheduleWindow window({modReg, dialogs, scheduler, "quillet", ShippedDataFolder(), {}});
    EXPECT_EQ(dialogs.messages,
              std::vector<Message>{Said(kNoOutlookExpressMessage, MessageIcon::Critical)});
    EXPECT_FALSE(Child<QPushButton>(window, "Command3").isEnabled());
    EXPECT_EQ(Child<QComboBox>(window, "cmbStartTime").count(), 0);
    EXPECT_EQ(Child<QComboBox>(window, "cmbStartTime").currentText(), "00:00");
}

TEST_F(ScheduleWindowTest, ChecksTheEntriesInOrderThenRegisters) {
    open();
    const struct {
        const char* situation;
        std::function<void()> change;
        Message shown;
    } steps[] = {
        {"no item, no file, protection without password", [&] { toggle("ifprotect"); },
         Said(kSelectItemMessage, MessageIcon::Exclamation)},
        {"an item, a typed file name",
         [&] {
             toggle("backupitem(3)");
             type("txtTargetFile", "/tmp/typed.qbk");
         },
         Said(kInvalidBackupFileNameMessage, MessageIcon::Exclamation)},
        {"a chosen file, no password", [&] { chooseFile(); },
         Said(kEnterPasswordMessage, MessageIcon::Critical)},
        {"a password in the first field only", [&] { type("txtPassword", "secret"); },
         Said(kPasswordMismatchMessage, MessageIcon::Critical)},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.situation);
        world.dialogs.messages.clear();
        step.change();
        press("Command3");
        EXPECT_EQ(world.dialogs.messages, std::vector<Message>{step.shown});
        EXPECT_TRUE(world.scheduler.added.empty());
    }
    EXPECT_EQ(world.dialogs.saveDialogs, (std::vector<ScriptedDialogs::FileDialog>{
                                             {kSaveBackupTitle, kBackupFileFilter, "quillet"}}));

    // A start time that is no time of day, or a scheduler that fails, is the registration's to
    // refuse.
    world.dialogs.messages.clear();
    type("txtPassword2", "secret");
    Child<QComboBox>(*window, "cmbStartTime").setEditText("25:00");
    press("Command3");
    Child<QComboBox>(*window, "cmbStartTime").setEditText("9:00");
    const Status failure = Status::Error("no crontab command");
    world.scheduler.failure = failure;
    press("Command3");
    world.scheduler.failure.reset();
    EXPECT_EQ(world.dialogs.messages,
              (std::vector<Message>{Said(kInvalidStartTimeMessage, MessageIcon::Exclamation),
                                    Said(JobNotScheduledMessage(failure), MessageIcon::Critical)}));
    EXPECT_TRUE(world.scheduler.added.empty());

    addAndExpect("00010000", "", "secret");
    EXPECT_EQ(world.dialogs.messages.back(), Said(JobScheduledMessage(1), MessageIcon::None));
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
    addAndExpect("10000000", GetParam().dayList);
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
    addAndExpect("01000000", "M,T");
    for (const char* day : {"chkMonday", "chkTuesday", "chkFriday"}) toggle(day);
    addAndExpect("01000000", "F");
    EXPECT_EQ(world.dialogs.messages,
              (std::vector<Message>{Said(JobScheduledMessage(1), MessageIcon::None),
                                    Said(JobScheduledMessage(2), MessageIcon::None)}));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->targetFile(), target.string()) << "the entries stay";
}

TEST_F(ScheduleWindowTest, UntickingProtectionEmptiesBothFieldsAndTheJobHasNoPassword) {
    open();
    toggle("backupitem(0)");
    chooseFile();
    toggle("ifprotect");
    type("txtPassword", "secret");
    type("txtPassword2", "secret");
    toggle("ifprotect");
    for (const char* name : {"txtPassword", "txtPassword2"}) {
        EXPECT_EQ(Child<QLineEdit>(*window, name).text(), "");
        EXPECT_FALSE(Child<QLineEdit>(*window, name).isEnabled());
    }
    addAndExpect("10000000", "", "");
}

// The skin draws the default button in bold; the text must fit inside its padding and border.
TEST_F(ScheduleWindowTest, TheDefaultButtonIsWideEnoughForItsBoldText) {
    auto& add = Child<QPushButton>(open(), "Command3");
    QFont bold = add.font();
    bold.setBold(true);
    QStyleOptionButton option;
    option.initFrom(&add);
    option.features |= QStyleOptionButton::DefaultButton;
    option.text = add.text();
    const QRect contents =
        add.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &add);
    EXPECT_GE(contents.width(), QFontMetrics(bold).horizontalAdvance(add.text()));
}

TEST_F(ScheduleWindowTest, JobListShowsTheJobsWithoutPasswordsAndRemovesTheSelectedOne) {
    world.openPrefix();
    FakeScheduler& scheduler = world.scheduler;
    const JobCommandLine weekly{kSampleMainIdentity, "10010000", "secret", "/b/weekly.qbk"};
    const JobCommandLine once{"{gone}", "00000001", "secret", "/b/once.qbk"};
    ASSERT_TRUE(scheduler.addJob(*BuildJobRecord("23:30", "M,TH", weekly, "q")).ok());
    ASSERT_TRUE(scheduler.addJob(*BuildJobRecord("0:00", "", once, "q")).ok());
    const RunRecord failed{"2026-03-10T00:00:00+01:00", scheduler.jobs[1].token, 2, "disk full"};
    scheduler.jobs[1].lastRun = failed;
    JobListWindow list(scheduler, ListIdentities(*world.modReg), world.dialogs,
                       ShippedDataFolder());
    EXPECT_EQ(list.windowTitle(), "Scheduled Backups");
    auto& rows = Child<QTreeWidget>(list, "lvwJobs");
    const auto row = [&rows](int index) {
        std::vector<std::string> texts;
        for (int c = 0; c < JobListWindow::kColumnCount; ++c) {
            texts.push_back(rows.topLevelItem(index)->text(c).toStdString());
        }
        return texts;
    };
    const auto caption = [](int item) { return std::string(kItems[item].backupCaption); };
    ASSERT_EQ(rows.topLevelItemCount(), 2);
    EXPECT_EQ(row(0), (std::vector<std::string>{"1", kSampleMainUserName,
                                                caption(0) + ", " + caption(3), "M,TH", "23:30",
                                                LastRunText(std::nullopt), "/b/weekly.qbk"}));
    EXPECT_EQ(row(1),
              (std::vector<std::string>{"2", "{gone}", caption(7), JobListWindow::kRunOnceText,
                                        "0:00", LastRunText(failed), "/b/once.qbk"}));
    EXPECT_EQ(Child<QLabel>(list, "lblTimeZone").text().toStdString(),
              LocalTimeNote(scheduler.zoneName));

    auto& remove = Child<QPushButton>(list, "cmdRemove");
    EXPECT_FALSE(remove.isEnabled());
    rows.setCurrentItem(rows.topLevelItem(0));
    QTest::mouseClick(&remove, Qt::LeftButton);
    ASSERT_EQ(scheduler.jobs.size(), 1u);
    EXPECT_EQ(scheduler.jobs[0].number, 2);
    ASSERT_EQ(rows.topLevelItemCount(), 1);
    EXPECT_EQ(row(0)[JobListWindow::kNumber], "2");
    EXPECT_TRUE(world.dialogs.messages.empty());

    // A row left from before its job was replaced, under its number, by another program's.
    scheduler.jobs[0].token = "replaced";
    rows.setCurrentItem(rows.topLevelItem(0));
    QTest::mouseClick(&remove, Qt::LeftButton);
    EXPECT_EQ(scheduler.jobs.size(), 1u);
    EXPECT_EQ(world.dialogs.messages.size(), 1u);
    world.dialogs.messages.clear();

    // The scheduler's reason, for the removal and for the listing after it.
    scheduler.failure = Status::Error("no crontab command");
    rows.setCurrentItem(rows.topLevelItem(0));
    QTest::mouseClick(&remove, Qt::LeftButton);
    EXPECT_EQ(world.dialogs.messages,
              std::vector<Message>(2, Said("no crontab command", MessageIcon::Critical)));
    EXPECT_EQ(rows.topLevelItemCount(), 0);
}

}  // namespace
}  // namespace quillet::testing
