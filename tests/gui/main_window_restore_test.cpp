// The restore tab of the main window: opening a backup file and the restore run.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "gui/gui_world.h"
#include "support/platform/folder_snapshot.h"

namespace quillet::testing {
namespace {

using Message = ScriptedDialogs::Message;

const Message kConfirmation{
    "Your current Email and News messages will be replaced with the messages from the selected "
    "backup file.\r\n\r\nDo you want to countinue?",
    MessageIcon::Information, MessageButtons::OkCancel};

class MainWindowRestore : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_EQ(world.dialogs.problems(), std::vector<std::string>{}); }

    // A backup of the first identity made by quillet-cli.
    std::filesystem::path makeBackup(const std::string& name, const std::string& items,
                                     const std::string& password = "",
                                     const std::string& description = "") {
        const std::filesystem::path file = world.temp / name;
        std::vector<std::string> arguments{
            "--prefix", world.prefix.string(), "backup",  "--identity", kSampleMainIdentity,
            "--out",    file.string(),         "--items", items};
        if (!description.empty()) arguments.insert(arguments.end(), {"--description", description});
        if (!password.empty()) {
            WriteFileBytes(world.temp / "password.txt", password + "\n");
            arguments.insert(arguments.end(),
                             {"--password-file", (world.temp / "password.txt").string()});
        }
        const CliRun made = world.runCli(arguments);
        EXPECT_EQ(made.exitCode, 0) << made.err;
        return file;
    }

    void click(const char* button) {
        QTest::mouseClick(&Child<QPushButton>(*world.window, button), Qt::LeftButton);
    }
    // Browse... on the restore tab, choosing `file`.
    void open(const std::filesystem::path& file) {
        world.dialogs.openAnswers.push_back(file.string());
        click("cmdSourceFile");
    }
    std::string restoreItems(bool enabled) const {
        std::string mask;
        for (int i = 0; i < 8; ++i) {
            const auto& box = Child<QCheckBox>(*world.window, QString("restoreitem(%1)").arg(i));
            mask += (enabled ? box.isEnabled() : box.isChecked()) ? '1' : '0';
        }
        return mask;
    }
    QString text(const char* name) const {
        if (auto* line = world.window->findChild<QLineEdit*>(name)) return line->text();
        return Child<QPlainTextEdit>(*world.window, name).toPlainText();
    }

    MainWindowWorld world;
};

TEST_F(MainWindowRestore, OpensAProtectedBackupWithTheRightPassword) {
    const auto backup = makeBackup("protected.qbk", "10100001", "s3cret", "Line one\nLine two");
    const BackupContents held = ReadBackupContents(backup, "s3cret");
    std::string time;
    for (const std::string& line : held.informationLines) {
        if (line.starts_with("BackupTime=")) time = line.substr(11);
    }
    ASSERT_FALSE(time.empty());

    MainWindow& window = world.openWindow();
    world.dialogs.passwords.push_back("s3cret");
    open(backup);

    EXPECT_TRUE(world.dialogs.messages.empty());
    EXPECT_EQ(world.dialogs.openDialogs,
              (std::vector<ScriptedDialogs::FileDialog>{
                  {"Restore Data from a Backup file", "Quillet File(*.qbk)", ""}}));
    EXPECT_EQ(world.dialogs.passwordPrompts, 1);
    EXPECT_EQ(window.restorePassword(), "s3cret");
    EXPECT_EQ(text("txtSourceFile").toStdString(), backup.string());
    EXPECT_EQ(text("txtPOBinfo").toStdString(), "Computer:" + world.wine->system().computerName() +
                                                    "\nUser:" + world.wine->system().logonUser() +
                                                    "\nIdentity:Main Identity\nDate:" + time);
    EXPECT_EQ(text("txtFileInfo"), "Line one\nLine two");
    EXPECT_EQ(restoreItems(true), "10100001");
    EXPECT_EQ(restoreItems(false), "00000000");
}

TEST_F(MainWindowRestore, WrongPasswordIsRefusedAndLeavesTheTabEmpty) {
    const auto backup = makeBackup("protected.qbk", "10100001", "s3cret", "Line one");
    MainWindow& window = world.openWindow();
    world.dialogs.passwords.push_back("S3cret");
    open(backup);

    EXPECT_EQ(world.dialogs.messages,
              (std::vector<Message>{{"Incorect Password or Invalid backup file",
                                     MessageIcon::Information, MessageButtons::Ok}}));
    EXPECT_EQ(window.restorePassword(), "S3cret");
    EXPECT_EQ(restoreItems(true), "00000000");
    EXPECT_EQ(text("txtSourceFile"), "");
    EXPECT_EQ(text("txtPOBinfo"), "");
    EXPECT_EQ(text("txtFileInfo"), "");

    // The restore run then refuses: no backup is open.
    world.dialogs.messages.clear();
    Child<QAction>(window, "restore").trigger();
    EXPECT_EQ(world.dialogs.messages,
              (std::vector<Message>{
                  {"Invalid backup file.", MessageIcon::Critical, MessageButtons::Ok}}));
}

TEST_F(MainWindowRestore, CancelInThePromptTriesThePasswordTypedBefore) {
    const auto backup = makeBackup("protected.qbk", "01000000", "s3cret");
    MainWindow& window = world.openWindow();
    world.dialogs.passwords = {"s3cret", std::nullopt};
    open(backup);
    ASSERT_EQ(restoreItems(true), "01000000");
    open(backup);
    EXPECT_EQ(world.dialogs.passwordPrompts, 2);
    EXPECT_EQ(window.restorePassword(), "s3cret");
    EXPECT_TRUE(world.dialogs.messages.empty());
    EXPECT_EQ(restoreItems(true), "01000000") << "opened with the earlier password";

    // An earlier wrong password stays wrong.
    world.dialogs.passwords = {"wrong", std::nullopt};
    open(backup);
    open(backup);
    EXPECT_EQ(window.restorePassword(), "wrong");
    const Message refused{"Incorect Password or Invalid backup file", MessageIcon::Information,
                          MessageButtons::Ok};
    EXPECT_EQ(world.dialogs.messages, (std::vector<Message>{refused, refused}));
    EXPECT_EQ(restoreItems(true), "00000000");
}

TEST_F(MainWindowRestore, UnprotectedBackupOpensWithoutAPrompt) {
    const auto backup = makeBackup("plain.qbk", "00010010");
    world.openWindow();
    open(backup);
    EXPECT_EQ(world.dialogs.passwordPrompts, 0);
    EXPECT_TRUE(world.dialogs.messages.empty());
    EXPECT_EQ(restoreItems(true), "00010010");

    // A file that is not a backup, right after a good one.
    WriteFileBytes(world.temp / "not-a-backup.qbk", "plain text, not a zip archive");
    open(world.temp / "not-a-backup.qbk");
    EXPECT_EQ(
        world.dialogs.messages,
        (std::vector<Message>{{"Invalid backup file", MessageIcon::Critical, MessageButtons::Ok}}));
    EXPECT_EQ(restoreItems(true), "00000000");
    EXPECT_EQ(text("txtPOBinfo"), "") << "no information file, no origin";
}

TEST_F(MainWindowRestore, SelectAllOnAnAddressBookBackupRestoresOnlyTheAddressBook) {
    const auto backup = makeBackup("address-book.qbk", "01000000");
    const std::string addressBook = ReadFileBytes(world.addressBook());
    WriteFileBytes(world.addressBook(), "changed after the backup");
    WriteFileBytes(world.storeFolder(kSampleMainIdentity) / "Inbox.dbx",
                   "changed after the backup");
    const std::string userReg = ReadFileBytes(world.userReg());
    const auto store = SnapshotTree(world.storeFolder(kSampleMainIdentity));

    MainWindow& window = world.openWindow();
    open(backup);
    ASSERT_EQ(restoreItems(true), "01000000");
    Child<QTabWidget>(window, "SSTab1").setCurrentIndex(1);
    ASSERT_TRUE(ChooseFromPopUp(Child<QGroupBox>(window, "restoreFrame"), "Selectallitems2"));
    ASSERT_EQ(restoreItems(false), "11111111");

    world.dialogs.answers.push_back(MessageAnswer::Ok);
    click("cmdApply");

    EXPECT_EQ(world.dialogs.messages,
              (std::vector<Message>{kConfirmation,
                                    {"The Restore was Completed!\r\n\r\nRestore Adress Book\t"
                                     "Successed!",
                                     MessageIcon::Information, MessageButtons::Ok}}));
    EXPECT_EQ(ReadFileBytes(world.addressBook()), addressBook);
    EXPECT_EQ(ReadFileBytes(world.userReg()), userReg);
    EXPECT_EQ(SnapshotTree(world.storeFolder(kSampleMainIdentity)), store);
    EXPECT_FALSE(Child<QWidget>(window, "picCon3").isVisible());
    EXPECT_EQ(Child<QProgressBar>(window, "pbshow").value(), 0);
    EXPECT_EQ(Child<QLabel>(window, "Label1").text(), "Please Waiting...");
    // The backup stays open for another restore.
    EXPECT_EQ(restoreItems(true), "01000000");
    EXPECT_EQ(text("txtSourceFile").toStdString(), backup.string());
}

TEST_F(MainWindowRestore, CancelledConfirmationRestoresNothing) {
    const auto backup = makeBackup("everything.qbk", "all");
    WriteFileBytes(world.addressBook(), "changed after the backup");
    WriteFileBytes(world.storeFolder(kSampleMainIdentity) / "Inbox.dbx",
                   "changed after the backup");
    world.openPrefix();
    world.modReg->DeleteKeyTree(std::string("HKEY_CURRENT_USER\\Identities\\") +
                                kSampleMainIdentity +
                                "\\Software\\Microsoft\\Outlook Express\\5.0\\Rules");
    const std::string userReg = ReadFileBytes(world.userReg());
    const auto store = SnapshotTree(world.storeFolder(kSampleMainIdentity));
    const std::string addressBook = ReadFileBytes(world.addressBook());

    MainWindow& window = world.openWindow();
    open(backup);
    ASSERT_EQ(restoreItems(true), "11111111");
    Child<QTabWidget>(window, "SSTab1").setCurrentIndex(1);
    ASSERT_TRUE(ChooseFromPopUp(Child<QGroupBox>(window, "restoreFrame"), "Selectallitems2"));

    world.dialogs.answers.push_back(MessageAnswer::Cancel);
    click("cmdApply");

    EXPECT_EQ(world.dialogs.messages, std::vector<Message>{kConfirmation});
    EXPECT_EQ(ReadFileBytes(world.userReg()), userReg);
    EXPECT_EQ(SnapshotTree(world.storeFolder(kSampleMainIdentity)), store);
    EXPECT_EQ(ReadFileBytes(world.addressBook()), addressBook);
    EXPECT_FALSE(Child<QWidget>(window, "picCon3").isVisible());
}

TEST_F(MainWindowRestore, WithNoBackupOpenTheActionButtonAsksThenRefuses) {
    MainWindow& window = world.openWindow();
    Child<QTabWidget>(window, "SSTab1").setCurrentIndex(1);
    world.dialogs.answers.push_back(MessageAnswer::Ok);
    click("cmdApply");
    EXPECT_EQ(
        world.dialogs.messages,
        (std::vector<Message>{
            kConfirmation, {"Invalid backup file.", MessageIcon::Critical, MessageButtons::Ok}}));
}

TEST_F(MainWindowRestore, NothingTickedIsRefused) {
    const auto backup = makeBackup("rules.qbk", "rules");
    MainWindow& window = world.openWindow();
    open(backup);
    Child<QAction>(window, "restore").trigger();
    EXPECT_EQ(world.dialogs.messages,
              (std::vector<Message>{{"Please select at least one item.", MessageIcon::Exclamation,
                                     MessageButtons::Ok}}));
}

}  // namespace
}  // namespace quillet::testing
