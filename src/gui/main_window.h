#pragma once

#include <QMainWindow>
#include <QSize>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "backup/identity_list.h"
#include "backup/item_context.h"
#include "backup/opened_backup.h"
#include "gui/dialog_service.h"
#include "gui/disc_pending_file.h"
#include "platform/message_service.h"
#include "platform/work_folder.h"
#include "schedule/scheduler.h"
#include "system/windows_system.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;

namespace quillet {
namespace disc {
class DiscEngine;
}

// What the main window works with; main() fills it with the real things, tests with fakes.
struct MainWindowServices {
    // The open system: its registry, drives and facts, and the name the window's title gives it.
    // On a system that is a source only (a Windows disk) the restore tab and "Restore Now" are
    // off.
    system::WindowsSystem& system;
    archive::Archive& archive;
    DialogService& dialogs;
    std::filesystem::path dataFolder;  // skins and help
    // A private work folder for one run, removed when the returned object goes.
    std::function<Result<WorkFolder>()> makeWorkFolder;
    // Opens an address or a document with the desktop's default program.
    std::function<void(const std::string& target)> shellOpen;
    // The date and time a backup records.
    std::function<std::string()> timeText;
    // Today's date as "MM-DD-YY", for the proposed backup file name.
    std::function<std::string()> todayText;
    // How long the window pauses after each file added or extracted, so that the file's name
    // can be read; tests set it to zero.
    int entryPauseMs = kEntryPauseMs;
    // Where "Task Scheduler" registers backup jobs, and the program they start; without a
    // scheduler the entry is disabled.
    Scheduler* scheduler = nullptr;
    std::string programPath;
    // The disc engine the disc writer works with; none: the disc writer cannot be opened.
    disc::DiscEngine* discEngine = nullptr;
    // The backup file the next opening of the disc writer puts into its image.
    PendingDiscFile pendingDisc;
    // Ends the whole program (the disc writer does when its devices cannot be initialised).
    std::function<void()> endProgram;
    // "Open Wine Prefix..." and "Open Windows Disk..." in the "File" menu: re-open the program on
    // another system (which may replace this window); may be empty.
    std::function<void()> openWinePrefix{};
    std::function<void()> openWindowsDisk{};
    // Where IMAP uploads take their locks (imap::UploadOptions::lockFolder).
    std::filesystem::path uploadLockFolder{};
    // Where Thunderbird profiles made here are registered; empty: they are not.
    std::filesystem::path thunderbirdProfiles{};

    static constexpr int kEntryPauseMs = 1000;
};

// The main window: the "Backup" and "Restore" tabs, the menus and the two runs.
class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(MainWindowServices services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The backup run of the "Backup" tab, as the action button and "Backup Now" start it.
    void RunBackup();
    // Opening a backup file on the "Restore" tab ("Browse...").
    void OpenBackupFile();
    // The restore run, without the confirmation ("Restore Now" in the "File" menu).
    void RunRestore();
    // The action button: the backup run on the "Backup" tab, else the confirmation and restore.
    void actionClicked();
    // The disc writer, modal; it adds the pending backup file, if any, to its image.
    void showDiscWriter();

    // Asked after a completed backup; OK opens the disc writer with the new backup file.
    static constexpr char kDiscQuestion[] = "Do you need to backup your data to CD-R/RW or DVD?";

    const std::string& backupFilePath() const { return m_backupFilePath; }
    const std::string& restorePassword() const { return m_restorePassword; }
    const std::vector<Identity>& identityList() const { return m_identityList; }
    const PendingDiscFile& pendingDisc() const { return m_services.pendingDisc; }

    // What the restore tab says on a system that is a source only.
    static constexpr char kSourceOnlyText[] =
        "This Windows disk is a source only: Quillet backs up from it and never changes it. "
        "Restore a backup into a Wine prefix (File, Open Wine Prefix...).";

  private:
    void buildBackupTab(QWidget* tab);
    void buildRestoreTab(QWidget* tab);
    void buildMenus();
    void buildProgressPanel(QWidget* parent);
    void loadIdentities();
    void openScheduleWindow();
    // "Export Mail...": the mail of an identity, or of the backup open on the restore tab.
    void openMailExportWindow();
    void openThunderbirdWindow();
    void openContactsWindow();
    void evaluateItems();
    void setProtected(bool on);
    void chooseBackupFile();
    void resetRestoreTab();
    void showProgressPanel();
    void hideProgressPanel();
    void pauseForEntry();
    ItemContext runContext(const WorkFolder& work);
    void popUpSelectMenu(QGroupBox* frame, std::array<QCheckBox*, kItemCount>& boxes,
                         const char* selectName, const char* deselectName, const QPoint& at);

    friend class WindowProgress;

    MainWindowServices m_services;
    std::unique_ptr<WorkFolder> m_sessionFolder;  // where the opened backup's files are read
    std::unique_ptr<OpenedBackup> m_openedBackup;
    std::vector<Identity> m_identityList;
    bool m_noIdentity = false;
    std::string m_backupFilePath;
    std::string m_restorePassword;

    QTabWidget* m_tabs;
    QComboBox* m_sourceIdentity;
    QComboBox* m_targetIdentity;
    std::array<QCheckBox*, kItemCount> m_backupItems{};
    std::array<QCheckBox*, kItemCount> m_restoreItems{};
    QGroupBox* m_backupFrame;
    QGroupBox* m_restoreFrame;
    QLineEdit* m_backupFileField;
    QPlainTextEdit* m_description;
    QCheckBox* m_protect;
    QLineEdit* m_backupPassword;
    QLineEdit* m_backupPasswordAgain;
    QLineEdit* m_restoreFileField;
    QPlainTextEdit* m_backupOrigin;
    QPlainTextEdit* m_backupDescription;
    QPushButton* m_actionButton;
    QFrame* m_progressPanel;
    QProgressBar* m_progressBar;
    QLabel* m_statusLabel;
    QLabel* m_writeProgressLabel;
    QLabel* m_currentFileLabel;
    QSize m_sizeWithoutPanel;
};

}  // namespace quillet
