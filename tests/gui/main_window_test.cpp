// The main window's load, the items offered for an identity, the pop-up menus, the protection
// box and the tabs.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include "backup/item_availability.h"
#include "backup/oe_locations.h"
#include "gui/gui_world.h"
#include "support/registry/memory_registry_store.h"
#include "support/system/fake_windows_system.h"

namespace quillet::testing {
namespace {

using Message = ScriptedDialogs::Message;

// "1" for every enabled box of backupitem(0..7), "0" for a disabled one.
std::string EnabledItems(const QWidget& window, const char* list = "backupitem") {
    std::string mask;
    for (int i = 0; i < 8; ++i) {
        mask +=
            Child<QCheckBox>(window, QString("%1(%2)").arg(list).arg(i)).isEnabled() ? '1' : '0';
    }
    return mask;
}

std::string TickedItems(const QWidget& window, const char* list = "backupitem") {
    std::string mask;
    for (int i = 0; i < 8; ++i) {
        mask +=
            Child<QCheckBox>(window, QString("%1(%2)").arg(list).arg(i)).isChecked() ? '1' : '0';
    }
    return mask;
}

TEST(MainWindowLoad, NoIdentitiesShowsOneMessageAndDisablesTheActionButton) {
    TempDir temp;
    ScriptedDialogs dialogs;
    FakeWindowsSystem system(temp.path(), dialogs);
    archive::ZipArchive archive;
    MainWindowServices services{
        .system = system,
        .archive = archive,
        .dialogs = dialogs,
        .dataFolder = ShippedDataFolder(),
        .makeWorkFolder = [&temp] { return WorkFolder::CreateIn(temp.path()); },
        .shellOpen = {},
        .timeText = {},
        .todayText = {},
        .entryPauseMs = 0,
        .scheduler = nullptr,
        .programPath = {},
        .discEngine = nullptr,
        .pendingDisc = {},
        .endProgram = {},
    };
    MainWindow window(services);
    window.show();

    EXPECT_EQ(dialogs.messages,
              (std::vector<Message>{{"Your Windows System have not install Outlook Express ",
                                     MessageIcon::Critical, MessageButtons::Ok}}));
    EXPECT_FALSE(Child<QPushButton>(window, "cmdApply").isEnabled());
    EXPECT_EQ(Child<QComboBox>(window, "cbSource").count(), 0);
    EXPECT_EQ(Child<QComboBox>(window, "cbTarget").count(), 0);
    // The rest of the window stays usable.
    EXPECT_TRUE(Child<QPushButton>(window, "cmdTargetFile").isEnabled());
    EXPECT_TRUE(Child<QPushButton>(window, "cmdSourceFile").isEnabled());
    EXPECT_TRUE(window.identityList().empty());
    EXPECT_EQ(dialogs.problems(), std::vector<std::string>{});
}

TEST(MainWindowLoad, ListsIdentitiesInRegistryOrderAndSelectsTheFirst) {
    MainWindowWorld world;
    MainWindow& window = world.openWindow();

    const auto& source = Child<QComboBox>(window, "cbSource");
    const auto& target = Child<QComboBox>(window, "cbTarget");
    ASSERT_EQ(source.count(), 2);
    ASSERT_EQ(target.count(), 2);
    EXPECT_EQ(source.itemText(0), "Main Identity");
    EXPECT_EQ(source.itemText(1), QString::fromUtf8("Zo\u00eb \u00c5ngstr\u00f6m"));
    EXPECT_EQ(target.itemText(1), source.itemText(1));
    EXPECT_EQ(source.currentIndex(), 0);
    EXPECT_EQ(target.currentIndex(), 0);
    ASSERT_EQ(window.identityList().size(), 2u);
    EXPECT_EQ(window.identityList()[0].key, kSampleMainIdentity);
    EXPECT_EQ(window.identityList()[1].key, kSampleZoeIdentity);

    EXPECT_EQ(window.windowTitle().toStdString(), "Quillet V2.20 - " + world.prefix.string());
    EXPECT_EQ(Child<QPushButton>(window, "cmdApply").text(), "Backup Now");
    EXPECT_TRUE(Child<QPushButton>(window, "cmdApply").isEnabled());
    EXPECT_FALSE(Child<QWidget>(window, "picCon3").isVisible());
    EXPECT_EQ(TickedItems(window), "00000000");
    EXPECT_EQ(TickedItems(window, "restoreitem"), "00000000");
    EXPECT_EQ(EnabledItems(window, "restoreitem"), "00000000");
    EXPECT_FALSE(Child<QLineEdit>(window, "txtPassword").isEnabled());
    EXPECT_FALSE(Child<QLineEdit>(window, "txtPassword2").isEnabled());
    EXPECT_FALSE(window.styleSheet().isEmpty()) << "the shipped skin";
    EXPECT_TRUE(world.dialogs.messages.empty());
    EXPECT_EQ(world.dialogs.problems(), std::vector<std::string>{});
}

// Which items are available is ItemAvailability's rule (tested with it); here the boxes follow it
// for the chosen identity, and choosing an identity unticks every box.
TEST(MainWindowLoad, ItemsOfferedFollowTheChosenIdentityAndStartUnticked) {
    MainWindowWorld world;
    world.openPrefix();
    world.modReg->DeleteKeyTree(kSharedAccountsKey);
    MainWindow& window = world.openWindow();
    const auto offered = [&world](const char* identity) {
        return MaskText(ItemAvailability(*world.modReg, world.wine->paths(), identity));
    };
    ASSERT_NE(offered(kSampleZoeIdentity), offered(kSampleMainIdentity))
        << "the case needs an item that only one identity has";
    EXPECT_EQ(EnabledItems(window), offered(kSampleMainIdentity));
    EXPECT_EQ(TickedItems(window), "00000000");
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(&Child<QCheckBox>(window, QString("backupitem(%1)").arg(i)), Qt::Key_Space);
    }
    ASSERT_EQ(TickedItems(window), "11111111");

    Child<QComboBox>(window, "cbSource").setCurrentIndex(1);
    EXPECT_EQ(TickedItems(window), "00000000");
    EXPECT_EQ(EnabledItems(window), offered(kSampleZoeIdentity));
    Child<QComboBox>(window, "cbSource").setCurrentIndex(0);
    EXPECT_EQ(EnabledItems(window), offered(kSampleMainIdentity));
    EXPECT_TRUE(world.dialogs.messages.empty());
    EXPECT_EQ(world.dialogs.problems(), std::vector<std::string>{});
}

TEST(MainWindowLoad, SelectAllItemsTicksDisabledBoxesToo) {
    MainWindowWorld world;
    std::filesystem::remove_all(world.stationeryFolder());
    std::filesystem::remove(world.addressBook());
    MainWindow& window = world.openWindow();
    ASSERT_EQ(EnabledItems(window), "10111101");
    auto& frame = Child<QGroupBox>(window, "backupFrame");

    ASSERT_TRUE(ChooseFromPopUp(frame, "Selectallitems"));
    EXPECT_EQ(TickedItems(window), "11111111");
    EXPECT_EQ(EnabledItems(window), "10111101") << "ticking enables nothing";
    EXPECT_EQ(TickedItems(window, "restoreitem"), "00000000");

    ASSERT_TRUE(ChooseFromPopUp(frame, "Unselectallitems"));
    EXPECT_EQ(TickedItems(window), "00000000");

    Child<QTabWidget>(window, "SSTab1").setCurrentIndex(1);
    ASSERT_TRUE(ChooseFromPopUp(Child<QGroupBox>(window, "restoreFrame"), "Selectallitems2"));
    EXPECT_EQ(TickedItems(window, "restoreitem"), "11111111");
    EXPECT_EQ(EnabledItems(window, "restoreitem"), "00000000");
    EXPECT_EQ(TickedItems(window), "00000000");
    ASSERT_TRUE(ChooseFromPopUp(Child<QGroupBox>(window, "restoreFrame"), "Unselectallitems2"));
    EXPECT_EQ(TickedItems(window, "restoreitem"), "00000000");
    EXPECT_TRUE(world.dialogs.messages.empty());
}

TEST(MainWindowLoad, ProtectionBoxEnablesAndEmptiesBothPasswordFields) {
    MainWindowWorld world;
    MainWindow& window = world.openWindow();
    auto& protect = Child<QCheckBox>(window, "ifprotect");
    auto& password = Child<QLineEdit>(window, "txtPassword");
    auto& retype = Child<QLineEdit>(window, "txtPassword2");
    EXPECT_EQ(protect.text(), "Protect backup file with password");
    EXPECT_EQ(password.echoMode(), QLineEdit::Password);
    EXPECT_EQ(retype.echoMode(), QLineEdit::Password);

    QTest::keyClick(&protect, Qt::Key_Space);
    ASSERT_TRUE(password.isEnabled());
    ASSERT_TRUE(retype.isEnabled());
    QTest::keyClicks(&password, "first");
    QTest::keyClicks(&retype, "second");

    QTest::keyClick(&protect, Qt::Key_Space);
    EXPECT_FALSE(password.isEnabled());
    EXPECT_FALSE(retype.isEnabled());
    EXPECT_EQ(password.text(), "");
    EXPECT_EQ(retype.text(), "");

    QTest::keyClick(&protect, Qt::Key_Space);
    EXPECT_TRUE(password.isEnabled());
    EXPECT_EQ(password.text(), "") << "ticking empties the fields as well";

    QTest::keyClicks(&password, "abcdefghijklmnopqrstu");
    EXPECT_EQ(password.text(), "abcdefghijklmnopqrst") << "a 21st character is refused";
}

TEST(MainWindowLoad, SwitchingTabsChangesOnlyTheActionButtonCaption) {
    MainWindowWorld world;
    MainWindow& window = world.openWindow();
    QTest::keyClick(&Child<QCheckBox>(window, "backupitem(2)"), Qt::Key_Space);
    QTest::keyClicks(&Child<QWidget>(window, "txtAttachInfo"), "kept");
    auto& tabs = Child<QTabWidget>(window, "SSTab1");
    auto& apply = Child<QPushButton>(window, "cmdApply");

    const auto withoutApply = [&window] {
        std::vector<std::string> states = VisibleStates(window);
        std::erase_if(states, [](const std::string& s) { return s.starts_with("cmdApply:"); });
        return states;
    };
    const std::vector<std::string> before = withoutApply();
    ASSERT_FALSE(before.empty());

    QTabBar* bar = tabs.tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(1).center());
    ASSERT_EQ(tabs.currentIndex(), 1);
    EXPECT_EQ(apply.text(), "Restore Now");
    EXPECT_EQ(withoutApply(), before);

    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(0).center());
    ASSERT_EQ(tabs.currentIndex(), 0);
    EXPECT_EQ(apply.text(), "Backup Now");
    EXPECT_EQ(withoutApply(), before);
    EXPECT_TRUE(world.dialogs.messages.empty());
}

TEST(MainWindowMenus, EntriesDoWhatTheirButtonsDo) {
    MainWindowWorld world;
    MainWindow& window = world.openWindow();
    auto& tabs = Child<QTabWidget>(window, "SSTab1");

    // "Backup Now" runs the backup whatever tab is shown; "Restore Now" the restore, unasked.
    tabs.setCurrentIndex(1);
    Child<QAction>(window, "backup").trigger();
    tabs.setCurrentIndex(0);
    Child<QAction>(window, "restore").trigger();
    EXPECT_EQ(world.dialogs.messages,
              (std::vector<Message>{
                  {"Invalid backup file name.", MessageIcon::Exclamation, MessageButtons::Ok},
                  {"Invalid backup file.", MessageIcon::Critical, MessageButtons::Ok}}));

    Child<QAction>(window, "website").trigger();
    Child<QAction>(window, "help1").trigger();
    ASSERT_EQ(world.shellOpened.size(), 2u);
    EXPECT_EQ(world.shellOpened[0], "https://quillet.example.org/");
    EXPECT_EQ(world.shellOpened[1], (ShippedDataFolder() / "help" / "quillet-help.html").string());
    EXPECT_TRUE(std::filesystem::exists(world.shellOpened[1]));

    ASSERT_TRUE(window.isVisible());
    QTest::mouseClick(&Child<QPushButton>(window, "cmdQuit"), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
    window.show();
    Child<QAction>(window, "quit").trigger();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(world.dialogs.problems(), std::vector<std::string>{});
}

TEST(MainWindowMenus, TaskSchedulerOpensTheScheduleWindowAndItsJobList) {
    MainWindowWorld world;
    MainWindow& window = world.openWindow();
    QAction& entry = Child<QAction>(window, "TaskScheduler");
    const QList<QAction*> option = Child<QMenu>(window, "mnuOption").actions();
    ASSERT_GE(option.size(), 2);
    EXPECT_EQ(option[0], &entry);
    EXPECT_TRUE(option[1]->isSeparator());

    QString scheduleWindow, jobList;
    bool driven = false, listDriven = false;
    DriveNextModal(
        [&](QWidget& dialog) {
            scheduleWindow = dialog.objectName();
            DriveNextModal(
                [&](QWidget& list) {
                    jobList = list.objectName();
                    list.close();
                },
                &listDriven);
            QTest::mouseClick(&Child<QPushButton>(dialog, "Command1"), Qt::LeftButton);
            dialog.close();
        },
        &driven);
    entry.trigger();
    EXPECT_TRUE(driven && listDriven);
    EXPECT_EQ(scheduleWindow, "Frmoption");
    EXPECT_EQ(jobList, "JobListWindow");
    EXPECT_EQ(world.dialogs.problems(), std::vector<std::string>{});
}

}  // namespace
}  // namespace quillet::testing
