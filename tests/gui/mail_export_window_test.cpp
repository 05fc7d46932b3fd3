// The "Export Mail" window: its opening from the main window, its checks, the export of an
// identity's, a backup's and a store folder's mail, a failure, and closing during an export.
#include "gui/mail_export_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "backup/mail_sources.h"
#include "backup/run_environment.h"
#include "gui/gui_world.h"
#include "gui/imap_target_box.h"
#include "gui/mail_export_texts.h"
#include "mailstore/export_summary_text.h"
#include "support/imap/dovecot_server.h"

namespace quillet::testing {
namespace {

namespace texts = mail_export_texts;
using Message = ScriptedDialogs::Message;

// The real message stores of tests/data/dbx, one message each.
const std::filesystem::path kRealStores[] = {TestDataDir() / "dbx" / "test.dbx",
                                             TestDataDir() / "dbx" / "test1.dbx"};

class MailExportWindowTest : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_EQ(world.dialogs.problems(), std::vector<std::string>{}); }

    // Leaves the first identity's store folder with one or two stores of one message each: the
    // first real store as "Inbox.dbx", the second (when `both`) as "Sent Items.dbx".
    void useRealStores(bool both = false) {
        const std::filesystem::path folder = world.storeFolder(kSampleMainIdentity);
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const QString name = QString::fromStdString(entry.path().filename().string());
            if (name.endsWith(".dbx", Qt::CaseInsensitive)) std::filesystem::remove(entry.path());
        }
        std::filesystem::copy_file(kRealStores[0], folder / "Inbox.dbx");
        if (both) std::filesystem::copy_file(kRealStores[1], folder / "Sent Items.dbx");
    }

    // The window over the sample prefix, as the main window would fill it without a backup.
    MailExportWindow& openWindow(std::vector<Identity> identities = {}) {
        world.openPrefix();
        window = std::make_unique<MailExportWindow>(MailExportServices{
            .dialogs = world.dialogs,
            .identities = std::move(identities),
            .identityMail =
                [this](const std::string& key) { return IdentityMailSource(*world.wine, key); },
            .dataFolder = ShippedDataFolder(),
        });
        window->show();
        return *window;
    }
    MailExportWindow& openWindowOnSample() {
        world.openPrefix();
        return openWindow(ListIdentities(*world.modReg));
    }

    void chooseOutputFolder(QWidget& dialog) {
        world.dialogs.folderAnswers.push_back(out.string());
        QTest::mouseClick(&Child<QPushButton>(dialog, "cmdBrowse"), Qt::LeftButton);
    }
    static void clickExport(QWidget& dialog) {
        QTest::mouseClick(&Child<QPushButton>(dialog, "cmdExport"), Qt::LeftButton);
    }
    static QString summary(const QWidget& dialog) {
        return Child<QPlainTextEdit>(dialog, "txtSummary").toPlainText();
    }
    // What the sample identity's source calls itself.
    std::string identityDescription() {
        auto source = IdentityMailSource(*world.wine, kSampleMainIdentity);
        EXPECT_TRUE(source) << source.reason();
        return source ? (*source)->description() : std::string();
    }

    MainWindowWorld world;
    const std::filesystem::path out = world.temp / "mail";
    std::unique_ptr<MailExportWindow> window;
};

TEST_F(MailExportWindowTest, ToolsMenuOpensTheWindowWithTheIdentitiesAndNoBackupChoice) {
    MainWindow& main = world.openWindow();
    const auto& tools = Child<QMenu>(main, "mnuTools");
    ASSERT_EQ(tools.actions().size(), 4);
    QAction& entry = *tools.actions().at(1);
    EXPECT_EQ(entry.objectName(), "exportmail");
    EXPECT_EQ(entry.text(), texts::kMenuCaption);

    bool driven = false;
    DriveNextModal(
        [&](QWidget& dialog) {
            EXPECT_EQ(dialog.objectName(), "frmExportMail");
            EXPECT_EQ(dialog.windowTitle(), texts::kWindowTitle);
            const auto& identities = Child<QComboBox>(dialog, "cboIdentity");
            ASSERT_EQ(identities.count(), 2);
            EXPECT_EQ(identities.itemText(1).toStdString(), kSampleZoeUserName);
            EXPECT_TRUE(Child<QRadioButton>(dialog, "optIdentity").isChecked());
            EXPECT_FALSE(Child<QRadioButton>(dialog, "optBackup").isEnabled());
            EXPECT_EQ(Child<QComboBox>(dialog, "cboFormat").count(),
                      static_cast<int>(texts::kFormats.size()));
            QTest::mouseClick(&Child<QPushButton>(dialog, "cmdClose"), Qt::LeftButton);
        },
        &driven);
    entry.trigger();
    EXPECT_TRUE(driven);
}

TEST_F(MailExportWindowTest, ExportsTheMailOfTheBackupOpenOnTheRestoreTab) {
    useRealStores();
    const std::filesystem::path backup = world.temp / "mail.qbk";
    const CliRun made =
        world.runCli({"--prefix", world.prefix.string(), "backup", "--identity",
                      kSampleMainIdentity, "--out", backup.string(), "--items", "messages"});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    // The prefix's own stores go, so only the backup can give the message.
    std::filesystem::remove(world.storeFolder(kSampleMainIdentity) / "Inbox.dbx");
    MainWindow& main = world.openWindow();
    world.dialogs.openAnswers.push_back(backup.string());
    main.OpenBackupFile();

    bool driven = false;
    DriveNextModal(
        [&](QWidget& dialog) {
            EXPECT_EQ(Child<QLabel>(dialog, "lblBackupFile").text().toStdString(), backup.string());
            Child<QRadioButton>(dialog, "optBackup").setChecked(true);
            EXPECT_FALSE(Child<QComboBox>(dialog, "cboIdentity").isEnabled());
            chooseOutputFolder(dialog);
            clickExport(dialog);
            EXPECT_FALSE(Child<QComboBox>(dialog, "cboIdentity").isEnabled());
            EXPECT_TRUE(summary(dialog).contains("\nMessages: 1\n"))
                << summary(dialog).toStdString();
            QTest::mouseClick(&Child<QPushButton>(dialog, "cmdClose"), Qt::LeftButton);
        },
        &driven);
    Child<QMenu>(main, "mnuTools").actions().at(1)->trigger();
    EXPECT_TRUE(driven);
    EXPECT_TRUE(std::filesystem::is_regular_file(out / "Inbox")) << "one mbox file for the store";
}

TEST_F(MailExportWindowTest, ExportsAFolderOfMessageStoresChosenByItsChoice) {
    const std::filesystem::path stick = TestDataDir() / "dbx";  // stores and their notice
    MailExportWindow& dialog = openWindow();                    // the identities are not needed
    auto& choice = Child<QRadioButton>(dialog, "optStoreFolder");
    EXPECT_EQ(choice.text(), texts::kStoreFolderCaption);
    world.dialogs.folderAnswers.push_back(std::nullopt);
    choice.click();
    EXPECT_TRUE(Child<QRadioButton>(dialog, "optIdentity").isChecked()) << "no folder chosen";
    world.dialogs.folderAnswers.push_back(stick.string());
    choice.click();
    EXPECT_EQ(Child<QLabel>(dialog, "lblStoreFolder").text().toStdString(), stick.string());
    chooseOutputFolder(dialog);
    clickExport(dialog);
    EXPECT_TRUE(summary(dialog).contains("\nMessages: 2\n")) << summary(dialog).toStdString();
}

// The checks before an export: each shows its message and runs nothing.
TEST_F(MailExportWindowTest, ChecksStopWithTheirMessage) {
    struct Case {
        bool identities;
        bool outputFolder;
        bool imap;  // an upload, without a server
        const char* message;
    };
    for (const Case& check : {Case{false, true, false, texts::kNoIdentityMessage},
                              Case{true, false, false, texts::kNoOutputFolderMessage},
                              Case{true, false, true, imap_target_texts::kNoServerMessage}}) {
        world.dialogs.messages.clear();
        MailExportWindow& dialog = check.identities ? openWindowOnSample() : openWindow();
        if (check.outputFolder) chooseOutputFolder(dialog);
        Child<QGroupBox>(dialog, "fraImap").setChecked(check.imap);
        clickExport(dialog);
        EXPECT_EQ(
            world.dialogs.messages,
            (std::vector<Message>{{check.message, MessageIcon::Exclamation, MessageButtons::Ok}}));
        EXPECT_FALSE(std::filesystem::exists(out));
        EXPECT_TRUE(summary(dialog).isEmpty());
    }
}

TEST_F(MailExportWindowTest, ExportsAnIdentityAsEmlShowsTheSummaryAndReplacesWhenTicked) {
    useRealStores();
    MailExportWindow& dialog = openWindowOnSample();
    chooseOutputFolder(dialog);
    Child<QComboBox>(dialog, "cboFormat").setCurrentIndex(1);
    ASSERT_EQ(texts::kFormats[1].format, mailstore::ExportFormat::kEml);
    clickExport(dialog);

    const std::filesystem::path message = out / "Inbox" / "00001.eml";
    ASSERT_TRUE(std::filesystem::is_regular_file(message));
    mailstore::ExportSummary expected;
    expected.folders = 1;
    expected.messages = 1;
    expected.bytes = std::filesystem::file_size(message);
    EXPECT_EQ(summary(dialog).toStdString(),
              mailstore::ExportSummaryText(identityDescription(), out, expected));
    EXPECT_EQ(Child<QProgressBar>(dialog, "prgExport").value(), 100);

    // Files already there are replaced only when asked to.
    Child<QCheckBox>(dialog, "chkReplace").setChecked(true);
    clickExport(dialog);
    EXPECT_TRUE(world.dialogs.messages.empty());
    EXPECT_FALSE(summary(dialog).isEmpty());
}

// Leaving the state lines out is offered for mbox alone, and keeps the messages' bytes.
TEST_F(MailExportWindowTest, KeepsMboxBytesWhenTicked) {
    useRealStores();
    MailExportWindow& dialog = openWindowOnSample();
    chooseOutputFolder(dialog);
    auto& keepBytes = Child<QCheckBox>(dialog, "chkKeepBytes");
    Child<QComboBox>(dialog, "cboFormat").setCurrentIndex(1);
    EXPECT_FALSE(keepBytes.isEnabled());
    Child<QComboBox>(dialog, "cboFormat").setCurrentIndex(0);
    keepBytes.setChecked(true);
    clickExport(dialog);
    EXPECT_EQ(ReadFileBytes(out / "Inbox").find("X-Mozilla-Status"), std::string::npos);
}

TEST_F(MailExportWindowTest, UploadsAnIdentityToAnImapAccountAndShowsTheSummary) {
    DovecotServer server(world.temp / "dovecot");
    ASSERT_EQ(server.failure(), "");
    MailExportWindow& dialog = openWindowOnSample();
    Child<QGroupBox>(dialog, "fraImap").setChecked(true);
    EXPECT_FALSE(Child<QLineEdit>(dialog, "txtOutputFolder").isEnabled());
    Child<QLineEdit>(dialog, "txtImapServer").setText(QString("127.0.0.1:%1").arg(server.port()));
    Child<QLineEdit>(dialog, "txtImapUser").setText(DovecotServer::kUser);
    Child<QLineEdit>(dialog, "txtImapPassword").setText(DovecotServer::kPassword);
    Child<QLineEdit>(dialog, "txtImapCaFile")
        .setText(QString::fromStdString(server.certificate().string()));
    clickExport(dialog);
    EXPECT_TRUE(world.dialogs.messages.empty());
    const std::size_t held = server.readBack().size();
    EXPECT_TRUE(held > 0 && summary(dialog).contains(QString("\nMessages: %1\n").arg(held)))
        << summary(dialog).toStdString();
    EXPECT_EQ(Child<QProgressBar>(dialog, "prgExport").value(), 100);
}

TEST_F(MailExportWindowTest, DamagedStoreFailsWithTheReasonInACriticalMessage) {
    useRealStores();
    const std::filesystem::path inbox = world.storeFolder(kSampleMainIdentity) / "Inbox.dbx";
    std::string bytes = ReadFileBytes(inbox);
    bytes[0xE4] ^= 0x01;  // the tree root no longer points at the tree node
    WriteFileBytes(inbox, bytes);
    MailExportWindow& dialog = openWindowOnSample();
    chooseOutputFolder(dialog);
    clickExport(dialog);

    auto source = IdentityMailSource(*world.wine, kSampleMainIdentity);
    ASSERT_TRUE(source) << source.reason();
    mailstore::ExportOptions options;
    options.outFolder = out;
    const auto direct = mailstore::ExportMail(**source, options, nullptr);
    ASSERT_FALSE(direct);
    EXPECT_EQ(world.dialogs.messages,
              (std::vector<Message>{{texts::kFailurePrefix + direct.reason(), MessageIcon::Critical,
                                     MessageButtons::Ok}}));
    EXPECT_TRUE(summary(dialog).isEmpty());
    EXPECT_TRUE(Child<QPushButton>(dialog, "cmdExport").isEnabled());
}

TEST_F(MailExportWindowTest, CloseDuringAnExportStopsItAndThenCloses) {
    useRealStores(true);
    MailExportWindow& dialog = openWindowOnSample();
    chooseOutputFolder(dialog);
    bool clickedWhileBusy = false;
    // Runs in the first event processing of the export, as a click of the user would.
    QTimer::singleShot(0, &dialog, [&] {
        clickedWhileBusy = dialog.isBusy();
        EXPECT_FALSE(Child<QPushButton>(dialog, "cmdExport").isEnabled());
        QTest::mouseClick(&Child<QPushButton>(dialog, "cmdClose"), Qt::LeftButton);
        EXPECT_TRUE(dialog.isVisible()) << "open until the export has stopped";
    });
    clickExport(dialog);

    EXPECT_TRUE(clickedWhileBusy);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(world.dialogs.messages.empty()) << "a cancel is no failure";
    EXPECT_TRUE(!std::filesystem::exists(out) || std::filesystem::is_empty(out));
}

}  // namespace
}  // namespace quillet::testing
