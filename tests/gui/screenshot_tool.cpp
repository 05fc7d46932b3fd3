// quillet_screenshots: saves pictures of Quillet's windows for the documentation.
//
// Usage: quillet_screenshots --prefix DIR --data DIR --backups DIR --out DIR
//
// Works on the Wine prefix DIR (a sample prefix), with the skin from the data folder, and writes
// its backup file into the backups folder. Fills in the backup tab, makes a protected
// backup, opens it on the restore tab and saves main-backup.png, main-restore.png,
// password-prompt.png, about.png, schedule.png and job-list.png (two jobs added through the
// schedule window, kept by a scheduler in memory), export-mail.png (filled in, before an
// export), move-to-thunderbird.png (after a move of the main identity into a profile in the
// backups folder), export-contacts.png (after an export of the prefix's address book),
// erase.png and disc-writer.png into the output folder. The windows are drawn with
// QWidget::grab(), so the pictures do not depend on a window manager or on timing. Exit status 0
// when every picture was saved, 1 otherwise (with the reason on stderr).
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "archive/zip_archive.h"
#include "backup/backup_run.h"
#include "gui/about_window.h"
#include "gui/contacts_window.h"
#include "gui/disc_writer_window.h"
#include "gui/erase_window.h"
#include "gui/fake_scheduler.h"
#include "gui/job_list_window.h"
#include "gui/mail_export_window.h"
#include "gui/main_window.h"
#include "gui/password_window.h"
#include "gui/schedule_window.h"
#include "gui/scripted_dialogs.h"
#include "gui/thunderbird_window.h"
#include "platform/work_folder.h"
#include "support/disc/simulated_disc_engine.h"
#include "support/system/fake_windows_system.h"
#include "system/wine_system.h"
#include "thunderbird/profile_sources.h"

namespace quillet {
namespace {

constexpr char kPassword[] = "secret";
// A job must name a program that exists; no picture shows which.
constexpr char kJobProgram[] = "/bin/true";

int Fail(const std::string& reason) {
    std::cerr << "quillet_screenshots: " << reason << '\n';
    return 1;
}

template <class T>
T& Find(const QWidget& window, const QString& name) {
    T* found = window.findChild<T*>(name);
    if (found == nullptr) {
        std::cerr << "quillet_screenshots: no widget " << name.toStdString() << '\n';
        std::exit(1);
    }
    return *found;
}

bool Save(QWidget& window, const std::filesystem::path& file) {
    window.show();
    QApplication::processEvents();
    const bool saved = window.grab().save(QString::fromStdString(file.string()), "PNG");
    if (saved) std::cout << file.string() << '\n';
    return saved;
}

void Tick(const QWidget& window, const char* list, const std::string& mask) {
    for (int i = 0; i < 8; ++i) {
        Find<QCheckBox>(window, QString("%1(%2)").arg(list).arg(i)).setChecked(mask[i] == '1');
    }
}

// The erase window over a simulated drive with a rewritable disc, ready to erase.
bool SaveEraseWindow(QWidget& parent, DialogService& dialogs, const std::filesystem::path& file) {
    disc::SimulatedDiscEngine engine;
    disc::SimulatedDevice& drive = engine.addDevice(
        disc::DeviceSetup{.name = "DVD-RW Drive", .media = {disc::kMediaCdRw, true, true}});
    EraseWindow erase(engine, drive, dialogs, &parent);
    erase.setModal(false);
    const bool saved = Save(erase, file);
    erase.close();
    return saved;
}

// The disc writer after a backup: the new backup file in its image, a folder of older backups
// dropped beside it, the image-file device that a machine without a burner offers.
bool SaveDiscWriter(QWidget& parent, DialogService& dialogs, const std::filesystem::path& data,
                    const std::filesystem::path& backup, const std::filesystem::path& file) {
    const std::filesystem::path older = backup.parent_path() / "Older backups";
    std::error_code error;
    std::filesystem::create_directories(older, error);
    std::filesystem::copy_file(backup, older / "quillet12-26-23.qbk",
                               std::filesystem::copy_options::overwrite_existing, error);
    disc::SimulatedDiscEngine engine;
    engine.addDevice(disc::SimulatedDiscEngine::ImageFileDeviceSetup());
    PendingDiscFile pending{backup.filename().string(), backup.string()};
    DiscWriterWindow writer(DiscWriterServices{.engine = engine,
                                               .dialogs = dialogs,
                                               .pending = pending,
                                               .dataFolder = data,
                                               .endProgram = [] {}},
                            &parent);
    writer.setModal(false);
    if (!writer.load()) return false;
    QMimeData drop;
    drop.setUrls({QUrl::fromLocalFile(QString::fromStdString(older.string()))});
    writer.AddDroppedFiles(drop);
    const bool saved = Save(writer, file);
    writer.close();
    return saved;
}

int TakeScreenshots(const std::map<std::string, std::string>& options) {
    const std::filesystem::path out = options.at("--out");
    const std::filesystem::path data = options.at("--data");
    const std::filesystem::path backups = options.at("--backups");
    testing::ScriptedDialogs dialogs;
    auto opened = system::WineSystem::Open(options.at("--prefix"), Environment::Process(), dialogs);
    if (!opened) return Fail(opened.reason());
    system::WineSystem& wine = **opened;
    // Fixed names, so the pictures do not show the machine they were taken on.
    testing::FakeWindowsSystem shown(wine.registry(), wine.prefix(), dialogs);
    shown.facts.computerName = "WORKSTATION";
    shown.facts.logonUser = "quillet";
    shown.facts.userProfile = wine.userProfile();
    shown.idleCheck = [&wine] { return wine.checkIdle(); };
    shown.prefixLock = wine.lock();
    registry::ModReg& modReg = shown.modReg();
    archive::ZipArchive archive;
    testing::FakeScheduler scheduler;
    scheduler.zoneName = "Europe/Berlin";
    // What the real engine lists on a machine without a burner: the image-file device.
    disc::SimulatedDiscEngine discEngine;
    discEngine.addDevice(disc::SimulatedDiscEngine::ImageFileDeviceSetup());

    MainWindowServices services{
        .system = shown,
        .archive = archive,
        .dialogs = dialogs,
        .dataFolder = data,
        .makeWorkFolder = [] { return WorkFolder::Create(); },
        .shellOpen = [](const std::string&) {},
        .timeText = BackupTimeText,
        .todayText = [] { return std::string("01-02-24"); },
        .entryPauseMs = 0,
        .scheduler = &scheduler,
        .programPath = kJobProgram,
        .discEngine = &discEngine,
        .pendingDisc = {},
        .endProgram = {},
    };
    MainWindow window(services);
    window.show();

    // The backup tab, filled in.
    const std::filesystem::path backup = backups / "quillet01-02-24.qbk";
    Tick(window, "backupitem", "11110101");
    QTest::keyClicks(&Find<QPlainTextEdit>(window, "txtAttachInfo"),
                     "Weekly backup of the main identity");
    dialogs.saveAnswers.push_back(backup.string());
    QTest::mouseClick(&Find<QPushButton>(window, "cmdTargetFile"), Qt::LeftButton);
    Find<QCheckBox>(window, "ifprotect").setChecked(true);
    QTest::keyClicks(&Find<QLineEdit>(window, "txtPassword"), kPassword);
    QTest::keyClicks(&Find<QLineEdit>(window, "txtPassword2"), kPassword);
    if (!Save(window, out / "main-backup.png")) return Fail("cannot save main-backup.png");
    // The progress panel makes the window grow during the run; show both tabs at one size.
    const QSize size = window.size();

    // A backup of those items, opened on the restore tab.
    dialogs.answers.push_back(MessageAnswer::Cancel);  // no disc yet
    window.RunBackup();
    if (dialogs.messages.size() < 2 || dialogs.messages[dialogs.messages.size() - 2].text.rfind(
                                           "The Backup was Completed!", 0) != 0) {
        return Fail("the backup failed");
    }
    Find<QTabWidget>(window, "SSTab1").setCurrentIndex(1);
    dialogs.openAnswers.push_back(backup.string());
    dialogs.passwords.push_back(kPassword);
    QTest::mouseClick(&Find<QPushButton>(window, "cmdSourceFile"), Qt::LeftButton);
    Tick(window, "restoreitem", "10010000");
    // Resized while hidden (a shown window takes its new size only when the window system gets
    // round to it), once the layout has dropped the hidden panel from its minimum size.
    window.hide();
    window.layout()->activate();
    window.resize(size);
    if (!Save(window, out / "main-restore.png")) return Fail("cannot save main-restore.png");

    PasswordWindow prompt(data, &window);
    prompt.setModal(false);
    QTest::keyClicks(&Find<QLineEdit>(prompt, "txtPassword"), kPassword);
    if (!Save(prompt, out / "password-prompt.png")) return Fail("cannot save password-prompt.png");
    prompt.close();

    AboutWindow about(data, &window);
    about.setModal(false);
    if (!Save(about, out / "about.png")) return Fail("cannot save about.png");
    about.close();

    // The schedule window, filled in for a job on every day but Sunday; that job and one that
    // runs once for the other identity are added, and listed in the job list.
    ScheduleWindow schedule({modReg, dialogs, scheduler, kJobProgram, data, {}}, &window);
    schedule.setModal(false);
    Tick(schedule, "backupitem", "11110101");
    dialogs.saveAnswers.push_back("/home/quillet/Backups/weekdays.qbk");
    QTest::mouseClick(&Find<QPushButton>(schedule, "cmdTargetFile"), Qt::LeftButton);
    Find<QCheckBox>(schedule, "ifprotect").setChecked(true);
    QTest::keyClicks(&Find<QLineEdit>(schedule, "txtPassword"), kPassword);
    QTest::keyClicks(&Find<QLineEdit>(schedule, "txtPassword2"), kPassword);
    Find<QCheckBox>(schedule, "chkDaily").setChecked(true);
    Find<QCheckBox>(schedule, "chkSunday").setChecked(false);
    if (!Save(schedule, out / "schedule.png")) return Fail("cannot save schedule.png");
    schedule.addTask();
    Find<QComboBox>(schedule, "cbSource").setCurrentIndex(1);
    Find<QCheckBox>(schedule, "chkDaily").setChecked(false);
    Tick(schedule, "backupitem", "00010000");
    dialogs.saveAnswers.push_back("/home/quillet/Backups/messages.qbk");
    QTest::mouseClick(&Find<QPushButton>(schedule, "cmdTargetFile"), Qt::LeftButton);
    Find<QComboBox>(schedule, "cmbStartTime").setEditText("23:30");
    schedule.addTask();
    schedule.close();
    if (scheduler.jobs.size() != 2) return Fail("the schedule window added no two jobs");

    JobListWindow jobList(scheduler, ListIdentities(modReg), dialogs, data, &window);
    jobList.setModal(false);
    if (!Save(jobList, out / "job-list.png")) return Fail("cannot save job-list.png");
    jobList.close();

    // The mail export window, filled in for the identity's mail as mbox; nothing is exported.
    MailExportWindow mailExport(
        {
            .dialogs = dialogs,
            .identities = ListIdentities(modReg),
            .identityMail = {},
            .backupMail =
                [] {
                    return Result<std::unique_ptr<mailstore::MailSource>>(
                        Status::Error("not exported here"));
                },
            // A fixed path, so the picture does not show the temporary folder.
            .backupFile = "/home/quillet/Backups/quillet01-02-24.qbk",
            .dataFolder = data,
        },
        &window);
    mailExport.setModal(false);
    QTest::keyClicks(&Find<QLineEdit>(mailExport, "txtOutputFolder"), "/home/quillet/Mail");
    if (!Save(mailExport, out / "export-mail.png")) return Fail("cannot save export-mail.png");
    mailExport.close();

    // The move to Thunderbird of the main identity, made into a profile beside the backups, with
    // its report.
    ThunderbirdWindow move(
        {
            .dialogs = dialogs,
            .identities = ListIdentities(modReg),
            .identitySource =
                [&wine](const Identity& identity) {
                    return thunderbird::IdentityProfileSource(wine, identity);
                },
            .dataFolder = data,
        },
        &window);
    move.setModal(false);
    move.show();
    QTest::keyClicks(&Find<QLineEdit>(move, "txtProfileFolder"),
                     QString::fromStdString((backups / "Thunderbird").string()));
    move.moveIdentity();
    if (Find<QPlainTextEdit>(move, "txtReport").toPlainText().isEmpty()) {
        return Fail("the move to Thunderbird made no profile");
    }
    if (!Save(move, out / "move-to-thunderbird.png")) {
        return Fail("cannot save move-to-thunderbird.png");
    }
    move.close();

    // The main identity's contacts exported from the prefix's address book, with the summary.
    ContactsWindow contacts(
        {
            .dialogs = dialogs,
            .systemBook = [&wine] { return SystemAddressBook(wine); },
            .dataFolder = data,
        },
        &window);
    contacts.setModal(false);
    contacts.show();
    QTest::keyClicks(&Find<QLineEdit>(contacts, "txtOutFile"),
                     QString::fromStdString((backups / "contacts.vcf").string()));
    contacts.exportContacts();
    if (Find<QPlainTextEdit>(contacts, "txtReport").toPlainText().isEmpty()) {
        return Fail("the contacts export wrote no file");
    }
    if (!Save(contacts, out / "export-contacts.png")) {
        return Fail("cannot save export-contacts.png");
    }
    contacts.close();
    if (!SaveEraseWindow(window, dialogs, out / "erase.png")) return Fail("cannot save erase.png");
    if (!SaveDiscWriter(window, dialogs, data, backup, out / "disc-writer.png")) {
        return Fail("cannot save disc-writer.png");
    }

    const std::vector<std::string> problems = dialogs.problems();
    return problems.empty() ? 0 : Fail(problems.front());
}

}  // namespace
}  // namespace quillet

int main(int argc, char** argv) {
    std::map<std::string, std::string> options;
    for (int i = 1; i + 1 < argc; i += 2) options[argv[i]] = argv[i + 1];
    if (argc % 2 != 1 || !options.contains("--prefix") || !options.contains("--data") ||
        !options.contains("--backups") || !options.contains("--out")) {
        std::cerr << "usage: quillet_screenshots --prefix DIR --data DIR --backups DIR --out DIR\n";
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName("Quillet");
    return quillet::TakeScreenshots(options);
}
