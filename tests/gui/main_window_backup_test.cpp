// The backup run started from the main window: its refusals, and what it writes.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <functional>

#include "gui/gui_world.h"

namespace quillet::testing {
namespace {

using Message = ScriptedDialogs::Message;

// Asked after every completed backup.
const Message kDiscQuestion{MainWindow::kDiscQuestion, MessageIcon::Information,
                            MessageButtons::OkCancel};

class MainWindowBackup : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_EQ(world.dialogs.problems(), std::vector<std::string>{}); }

    void click(const char* button) {
        QTest::mouseClick(&Child<QPushButton>(*world.window, button), Qt::LeftButton);
    }
    void toggle(const QString& box) {
        QTest::keyClick(&Child<QCheckBox>(*world.window, box), Qt::Key_Space);
    }
    void tickItems(const std::string& mask) {
        for (int i = 0; i < 8; ++i) {
            if (mask[i] == '1') toggle(QString("backupitem(%1)").arg(i));
        }
    }
    void chooseBackupFile(const std::filesystem::path& file) {
        world.dialogs.saveAnswers.push_back(file.string());
        click("cmdTargetFile");
    }
    QLineEdit& field(const char* name) { return Child<QLineEdit>(*world.window, name); }

    MainWindowWorld world;
};

TEST_F(MainWindowBackup, RefusesInOrderWithTheExactMessages) {
    std::filesystem::remove_all(world.stationeryFolder());
    MainWindow& window = world.openWindow();
    ASSERT_FALSE(Child<QCheckBox>(window, "backupitem(6)").isEnabled());
    const std::filesystem::path target = world.temp / "refused.qbk";

    struct Step {
        const char* situation;
        std::function<void()> change;
        Message shown;
    };
    const Message badName{"Invalid backup file name.", MessageIcon::Exclamation,
                          MessageButtons::Ok};
    const Message noItem{"Please select at least one item.", MessageIcon::Exclamation,
                         MessageButtons::Ok};
    const Message noPassword{"Please enter Password!", MessageIcon::Critical, MessageButtons::Ok};
    const Message mismatch{"Incorect Password!", MessageIcon::Critical, MessageButtons::Ok};
    const Step steps[] = {
        {"no file, no item", [] {}, badName},
        {"no file, an item, protection without password",
         [&] {
             toggle("backupitem(0)");
             toggle("ifprotect");
         },
         badName},
        {"a file, no item",
         [&] {
             toggle("backupitem(0)");
             toggle("ifprotect");
             chooseBackupFile(target);
         },
         noItem},
        {"only a disabled item ticked, protection with both fields empty",
         [&] {
             ASSERT_TRUE(
                 ChooseFromPopUp(Child<QGroupBox>(window, "backupFrame"), "Selectallitems"));
             tickItems("11111101");  // unticks all but the disabled box
             toggle("ifprotect");
         },
         noPassword},
        {"retype field empty", [&] { QTest::keyClicks(&field("txtPassword"), "abc"); }, mismatch},
        {"first field empty",
         [&] {
             field("txtPassword").clear();
             QTest::keyClicks(&field("txtPassword2"), "abc");
         },
         mismatch},
        {"fields differ in case only", [&] { QTest::keyClicks(&field("txtPassword"), "ABC"); },
         mismatch},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.situation);
        step.change();
        world.dialogs.messages.clear();
        click("cmdApply");
        EXPECT_EQ(world.dialogs.messages, std::vector<Message>{step.shown});
        EXPECT_FALSE(std::filesystem::exists(target));
        EXPECT_FALSE(Child<QWidget>(window, "picCon3").isVisible());
    }
    // A refusal changes nothing on the backup tab.
    EXPECT_EQ(field("txtTargetFile").text().toStdString(), target.string());
    EXPECT_EQ(field("txtPassword").text(), "ABC");
    EXPECT_EQ(field("txtPassword2").text(), "abc");
    EXPECT_TRUE(Child<QCheckBox>(window, "backupitem(6)").isChecked());
    EXPECT_EQ(world.dialogs.saveDialogs,
              (std::vector<ScriptedDialogs::FileDialog>{
                  {"Save Outlook Express Data as", "Quillet File (*.qbk)", "quillet01-02-24"}}));
}

TEST_F(MainWindowBackup, CancelledSaveDialogKeepsTheChosenFile) {
    MainWindow& window = world.openWindow();
    const std::filesystem::path target = world.temp / "kept.qbk";
    chooseBackupFile(target);
    world.dialogs.saveAnswers.push_back(std::nullopt);
    click("cmdTargetFile");
    EXPECT_EQ(window.backupFilePath(), target.string());
    EXPECT_EQ(field("txtTargetFile").text().toStdString(), target.string());
    EXPECT_TRUE(field("txtTargetFile").isReadOnly()) << "only the dialog sets the file";
}

TEST_F(MainWindowBackup, EvenARefusedRunClearsTheRestoreTab) {
    const std::filesystem::path backup = world.temp / "made.qbk";
    const CliRun made =
        world.runCli({"--prefix", world.prefix.string(), "backup", "--identity",
                      kSampleMainIdentity, "--out", backup.string(), "--items", "rules"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    MainWindow& window = world.openWindow();
    world.dialogs.openAnswers.push_back(backup.string());
    click("cmdSourceFile");
    ASSERT_TRUE(Child<QCheckBox>(window, "restoreitem(2)").isEnabled());
    Child<QCheckBox>(window, "restoreitem(2)").setChecked(true);

    click("cmdApply");
    EXPECT_EQ(world.dialogs.messages,
              (std::vector<Message>{
                  {"Invalid backup file name.", MessageIcon::Exclamation, MessageButtons::Ok}}));
    EXPECT_EQ(field("txtSourceFile").text(), "");
    EXPECT_EQ(Child<QPlainTextEdit>(window, "txtPOBinfo").toPlainText(), "");
    EXPECT_FALSE(Child<QCheckBox>(window, "restoreitem(2)").isEnabled());
    EXPECT_FALSE(Child<QCheckBox>(window, "restoreitem(2)").isChecked());
}

TEST_F(MainWindowBackup, AFailedItemIsReportedAndTheRunGoesOn) {
    std::filesystem::remove_all(world.stationeryFolder());
    MainWindow& window = world.openWindow();
    ASSERT_TRUE(ChooseFromPopUp(Child<QGroupBox>(window, "backupFrame"), "Selectallitems"));
    const std::filesystem::path target = world.temp / "partly.qbk";
    chooseBackupFile(target);
    world.dialogs.answers.push_back(MessageAnswer::Cancel);  // no disc
    click("cmdApply");

    EXPECT_EQ(
        world.dialogs.messages,
        (std::vector<Message>{{"The Backup was Completed!\r\n"
                               "\r\nBackup Accounts\tSuccessed!\r\nBackup Adress Book\tSuccessed!"
                               "\r\nBackup Rules\tSuccessed!\r\nBackup Messages\tSuccessed!"
                               "\r\nBackup Block Senders\tSuccessed!"
                               "\r\nBackup Signatures\tSuccessed!"
                               "\r\nBackup Stationeries\tFail!\r\nBackup Settings\tSuccessed!",
                               MessageIcon::Information, MessageButtons::Ok},
                              kDiscQuestion}));
    const BackupContents made = ReadBackupContents(target, "");
    ASSERT_FALSE(made.informationLines.empty());
    EXPECT_EQ(made.informationLines.back(), "BackupItem=11111101");
}

TEST_F(MainWindowBackup, AFileThatCannotBeWrittenIsNeverReportedCompleted) {
    world.openWindow();
    const std::filesystem::path target = world.temp / "no such folder" / "backup.qbk";
    chooseBackupFile(target);
    toggle("backupitem(2)");
    click("cmdApply");

    ASSERT_EQ(world.dialogs.messages.size(), 1u);
    const Message& shown = world.dialogs.messages[0];
    EXPECT_TRUE(shown.text.starts_with("The Backup was not written: ")) << shown;
    EXPECT_EQ(shown.text.find("Completed"), std::string::npos) << shown;
    EXPECT_TRUE(shown.text.ends_with(std::string("Rules\t") + kItemNotSavedText)) << shown;
    EXPECT_EQ(shown.icon, MessageIcon::Critical);
    EXPECT_FALSE(std::filesystem::exists(target.parent_path()));
    EXPECT_FALSE(Child<QWidget>(*world.window, "picCon3").isVisible());
}

// A backup made in the window holds what quillet-cli makes of the same identity and items.
TEST(MainWindowBackupRun, WritesWhatTheCommandLineWritesAndReportsEachItem) {
    struct Case {
        const char* situation;
        int identity;  // cbSource entry
        const char* identityKey;
        const char* items;
        const char* password;  // empty: unprotected
        bool skinned;          // false: the window finds no skin file
        const char* report;
    };
    const Case cases[] = {
        {"every item, unprotected", 0, kSampleMainIdentity, "11111111", "", true,
         "\r\nBackup Accounts\tSuccessed!\r\nBackup Adress Book\tSuccessed!"
         "\r\nBackup Rules\tSuccessed!\r\nBackup Messages\tSuccessed!"
         "\r\nBackup Block Senders\tSuccessed!\r\nBackup Signatures\tSuccessed!"
         "\r\nBackup Stationeries\tSuccessed!\r\nBackup Settings\tSuccessed!"},
        {"shared accounts, signatures and settings, protected", 1, kSampleZoeIdentity, "10000101",
         "s3cret pass", false,
         "\r\nBackup Accounts\tSuccessed!\r\nBackup Signatures\tSuccessed!"
         "\r\nBackup Settings\tSuccessed!"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.situation);
        MainWindowWorld world;
        if (!test.skinned) world.dataFolder = world.temp / "no skin";
        MainWindow& window = world.openWindow();
        const std::filesystem::path fromWindow = world.temp / "window.qbk";
        const std::filesystem::path fromCli = world.temp / "cli.qbk";

        Child<QComboBox>(window, "cbSource").setCurrentIndex(test.identity);
        for (int i = 0; i < 8; ++i) {
            if (test.items[i] == '1') {
                QTest::keyClick(&Child<QCheckBox>(window, QString("backupitem(%1)").arg(i)),
                                Qt::Key_Space);
            }
        }
        auto& description = Child<QPlainTextEdit>(window, "txtAttachInfo");
        QTest::keyClicks(&description, "Weekly backup");
        QTest::keyClick(&description, Qt::Key_Return);
        QTest::keyClicks(&description, "second line");
        if (*test.password != '\0') {
            QTest::keyClick(&Child<QCheckBox>(window, "ifprotect"), Qt::Key_Space);
            QTest::keyClicks(&Child<QLineEdit>(window, "txtPassword"), test.password);
            QTest::keyClicks(&Child<QLineEdit>(window, "txtPassword2"), test.password);
        }
        world.dialogs.saveAnswers.push_back(fromWindow.string());
        QTest::mouseClick(&Child<QPushButton>(window, "cmdTargetFile"), Qt::LeftButton);
        world.dialogs.answers.push_back(MessageAnswer::Cancel);  // no disc
        QApplication::processEvents();  // the window as the user sees it, its layout settled
        const QSize size = window.size();
        QTest::mouseClick(&Child<QPushButton>(window, "cmdApply"), Qt::LeftButton);

        EXPECT_EQ(world.dialogs.messages,
                  (std::vector<Message>{{std::string("The Backup was Completed!\r\n") + test.report,
                                         MessageIcon::Information, MessageButtons::Ok},
                                        kDiscQuestion}));
        EXPECT_EQ(world.dialogs.problems(), std::vector<std::string>{});
        // The window is idle again and keeps its inputs.
        EXPECT_FALSE(Child<QWidget>(window, "picCon3").isVisible());
        EXPECT_EQ(window.size(), size) << "the progress panel has come and gone";
        EXPECT_EQ(Child<QProgressBar>(window, "pbshow").value(), 0);
        EXPECT_EQ(Child<QLabel>(window, "Label1").text(), "Please Waiting...");
        EXPECT_EQ(description.toPlainText(), "Weekly backup\nsecond line");
        EXPECT_EQ(Child<QLineEdit>(window, "txtPassword").text(), test.password);
        // Only the window's own session folder is left in the work folder.
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(world.temp / "work"),
                                std::filesystem::directory_iterator()),
                  1);

        std::vector<std::string> arguments{"--prefix",
                                           world.prefix.string(),
                                           "backup",
                                           "--identity",
                                           test.identityKey,
                                           "--out",
                                           fromCli.string(),
                                           "--items",
                                           test.items,
                                           "--description",
                                           "Weekly backup\nsecond line"};
        if (*test.password != '\0') {
            WriteFileBytes(world.temp / "password.txt", std::string(test.password) + "\n");
            arguments.insert(arguments.end(),
                             {"--password-file", (world.temp / "password.txt").string()});
        }
        const CliRun cli = world.runCli(arguments);
        ASSERT_EQ(cli.exitCode, 0) << cli.err;

        BackupContents windowMade = ReadBackupContents(fromWindow, test.password);
        BackupContents cliMade = ReadBackupContents(fromCli, test.password);
        ASSERT_FALSE(windowMade.entryNames.empty());
        EXPECT_EQ(windowMade.entryNames.back(), "quillet.dat");
        EXPECT_EQ(windowMade.entryNames, cliMade.entryNames);

        for (BackupContents* made : {&windowMade, &cliMade}) {
            const auto time = std::erase_if(made->informationLines, [](const std::string& line) {
                return line.starts_with("BackupTime=") && line.size() > 11;
            });
            EXPECT_EQ(time, 1u) << "one BackupTime line with a time";
        }
        EXPECT_EQ(windowMade.informationLines, cliMade.informationLines);
        const auto& lines = windowMade.informationLines;
        ASSERT_GE(lines.size(), 4u);
        EXPECT_EQ(lines[0], "BackupComputer=" + world.wine->system().computerName());
        EXPECT_EQ(lines[1], "BackupLogonUser=" + world.wine->system().logonUser());
        EXPECT_EQ(lines[2], "BackupIdentity=" + window.identityList()[test.identity].userName);
        EXPECT_EQ(lines[3], "BackupInformation=Weekly backupPS$QLBsecond line");
        EXPECT_EQ(lines.back(), std::string("BackupItem=") + test.items);
    }
}

}  // namespace
}  // namespace quillet::testing
