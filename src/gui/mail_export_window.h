#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "backup/identity_list.h"
#include "gui/dialog_service.h"
#include "mailstore/mail_export.h"
#include "mailstore/mail_source.h"
#include "platform/status.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace quillet {

class ImapTargetBox;

// What the "Export Mail" window works with; the main window fills it from the open system and
// the backup open on its restore tab.
struct MailExportServices {
    DialogService& dialogs;
    // The identities of the open system, in the main window's order.
    std::vector<Identity> identities;
    // The message stores of one of those identities.
    std::function<Result<std::unique_ptr<mailstore::MailSource>>(const std::string& identityKey)>
        identityMail;
    // The message stores of the open backup; empty when no backup is open (its choice is then
    // disabled).
    std::function<Result<std::unique_ptr<mailstore::MailSource>>()> backupMail{};
    std::string backupFile{};                  // the open backup's path, shown beside its choice
    std::filesystem::path dataFolder{};        // the skin
    std::filesystem::path uploadLockFolder{};  // imap::UploadOptions::lockFolder
};

// The "Export Mail" window: the mail of an identity, of the open backup or of a folder of loose
// message stores (LooseStoreFolder, chosen by clicking its choice), exported to a folder as mbox
// files, eml files or a Maildir (ExportMail), or uploaded to an IMAP account (UploadMail, when its
// box is ticked), with its progress and, at the end, its summary. The window stays open after an
// export, so several can be made in one visit. Shown modally.
//
// The export or upload runs on the user-interface thread; its progress keeps the window responsive
// (an upload yields between messages). While
// it runs, every control but "Close" is disabled, and closing the window (the button, the close
// box, Escape) asks the export to stop: the window closes when it has.
class MailExportWindow : public QDialog {
    Q_OBJECT
  public:
    explicit MailExportWindow(MailExportServices services, QWidget* parent = nullptr);
    ~MailExportWindow() override;

    // "Export": the checks (an identity when that is the source, an output folder), each
    // stopping with its message, and the folder of stores asked for when that is the source and
    // none was chosen yet (cancelled, nothing runs); then the export. A failure shows its reason in
    // a critical message; a completed export fills the summary box.
    void exportMail();
    bool isBusy() const { return m_busy; }

    // Closing: refused while an export runs, which is asked to stop instead.
    void done(int result) override;

  private:
    class UploadProgress;

    void chooseOutputFolder();
    // Asks for the folder of loose stores; cancelled before any was chosen, the identity is the
    // source again.
    void chooseStoreFolder();
    Result<std::unique_ptr<mailstore::MailSource>> openSource();
    // Opens the chosen source and exports it; `description` receives the source's.
    Result<mailstore::ExportSummary> runExport(const mailstore::ExportOptions& options,
                                               std::string* description);
    void setBusy(bool busy);
    mailstore::ExportFormat formatChosen() const;
    // The upload of the chosen source to the IMAP account of m_imap.
    void uploadMail();

    MailExportServices m_services;
    bool m_busy = false;
    bool m_closeRequested = false;

    QGroupBox* m_source;
    QRadioButton* m_fromIdentity;
    QComboBox* m_identity;
    QRadioButton* m_fromBackup;
    QRadioButton* m_fromStoreFolder;
    QLabel* m_storeFolder;
    std::string m_storeFolderPath;
    QLineEdit* m_outputFolder;
    QPushButton* m_browse;
    QComboBox* m_format;
    QCheckBox* m_recover;
    QCheckBox* m_replace;
    QCheckBox* m_keepBytes;
    ImapTargetBox* m_imap;
    QProgressBar* m_progress;
    QPlainTextEdit* m_summary;
    QPushButton* m_export;
    QPushButton* m_close;
};

}  // namespace quillet
