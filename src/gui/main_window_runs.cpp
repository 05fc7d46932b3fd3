// The main window's runs: backup, opening a backup file, restore.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>

#include "backup/backup_run.h"
#include "backup/information_file.h"
#include "backup/restore_run.h"
#include "gui/main_window.h"
#include "gui/window_texts.h"

namespace quillet {

// Shows a run's progress on the window's progress panel.
class WindowProgress : public BackupProgress {
  public:
    explicit WindowProgress(MainWindow& window) : m_window(window) {}

    void status(const std::string& text) override {
        m_window.m_statusLabel->setText(QString::fromStdString(text));
        QApplication::processEvents();
    }
    void progress(int value) override {
        m_window.m_progressBar->setValue(std::min(value, m_window.m_progressBar->maximum()));
        QApplication::processEvents();
    }
    void EntryAdding(const std::string& name) override {
        QApplication::processEvents();
        m_window.m_currentFileLabel->setText(QString::fromStdString("Adding File " + name));
        m_window.pauseForEntry();
    }
    void EntryExtracting(const std::string& name) override {
        QApplication::processEvents();
        m_window.m_currentFileLabel->setText(QString::fromStdString("Unzip File " + name));
        m_window.pauseForEntry();
    }
    void SaveProgress(int percent) override {
        QApplication::processEvents();
        m_window.m_writeProgressLabel->setText(QString("Write File %1%").arg(percent));
    }

  private:
    MainWindow& m_window;
};

void MainWindow::pauseForEntry() {
    QApplication::processEvents();
    if (m_services.entryPauseMs <= 0) return;
    // The window stays painted and responsive while the file's name can be read.
    QEventLoop wait;
    QTimer::singleShot(m_services.entryPauseMs, &wait, &QEventLoop::quit);
    wait.exec();
}

ItemContext MainWindow::runContext(const WorkFolder& work) {
    return ItemContext{m_services.system, m_services.archive, work.path(),
                       work.path() / kInformationFileName, [] { QApplication::processEvents(); }};
}

void MainWindow::resetRestoreTab() {
    for (QCheckBox* box : m_restoreItems) {
        box->setChecked(false);
        box->setEnabled(false);
    }
    m_restoreFileField->clear();
    m_backupDescription->clear();
    m_backupOrigin->clear();
}

void MainWindow::RunBackup() {
    m_openedBackup->clear();
    resetRestoreTab();

    DialogService& dialogs = m_services.dialogs;
    if (m_backupFilePath.empty()) {
        dialogs.showMessage(kInvalidBackupFileNameMessage, MessageIcon::Exclamation,
                            MessageButtons::Ok);
        return;
    }
    ItemMask items{};
    for (int i = 0; i < kItemCount; ++i) items[i] = m_backupItems[i]->isChecked();
    // The item check comes before the password checks, so the window asks before the run does.
    if (Status selected = CheckItemSelected(items); !selected) {
        dialogs.showMessage(selected.reason(), MessageIcon::Exclamation, MessageButtons::Ok);
        return;
    }
    const bool protect = m_protect->isChecked();
    if (protect && m_backupPassword->text().isEmpty() && m_backupPasswordAgain->text().isEmpty()) {
        dialogs.showMessage(kEnterPasswordMessage, MessageIcon::Critical, MessageButtons::Ok);
        return;
    }
    if (protect && m_backupPassword->text() != m_backupPasswordAgain->text()) {
        dialogs.showMessage(kPasswordMismatchMessage, MessageIcon::Critical, MessageButtons::Ok);
        return;
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::string password = protect ? m_backupPassword->text().toStdString() : std::string();
    showProgressPanel();
    QApplication::processEvents();

    BackupOutcome outcome;
    auto work = m_services.makeWorkFolder ? m_services.makeWorkFolder()
                                          : Result<WorkFolder>(Status::Error("no work folder"));
    if (work) {
        const int row = m_sourceIdentity->currentIndex();
        const bool haveIdentity = row >= 0 && row < static_cast<int>(m_identityList.size());
        BackupRequest request;
        request.identityKey = haveIdentity ? m_identityList[row].key : std::string();
        request.headerLines =
            InteractiveHeader(m_services.system.computerName(), m_services.system.logonUser(),
                              m_sourceIdentity->currentText().toStdString(),
                              m_services.timeText ? m_services.timeText() : BackupTimeText(),
                              m_description->toPlainText().toStdString());
        request.items = items;
        request.password = password;
        request.backupFile = m_backupFilePath;
        ItemContext context = runContext(*work);
        WindowProgress progress(*this);
        outcome = quillet::RunBackup(context, request, &progress);
    } else {
        outcome.writeFailure = work.reason();
    }

    m_progressBar->setValue(m_progressBar->maximum());
    m_statusLabel->setText("Operation complete!");
    m_writeProgressLabel->clear();
    m_currentFileLabel->clear();
    QApplication::restoreOverrideCursor();
    hideProgressPanel();

    if (outcome.written) {
        const std::string note = outcome.keptPreviousNote();
        dialogs.showMessage("The Backup was Completed!\r\n" + outcome.report() +
                                (note.empty() ? std::string() : "\r\n\r\n" + note),
                            MessageIcon::Information, MessageButtons::Ok);
        if (dialogs.showMessage(kDiscQuestion, MessageIcon::Information,
                                MessageButtons::OkCancel) == MessageAnswer::Ok) {
            m_services.pendingDisc.PendingDiscFileName = outcome.writtenFile.filename().string();
            m_services.pendingDisc.PendingDiscFilePath = outcome.writtenFile.string();
            showDiscWriter();
        }
    } else {
        // A backup that could not be written is never reported as completed.
        dialogs.showMessage("The Backup was not written: " + outcome.writeFailure +
                                "\r\nThe previous backup file, if any, is unchanged.\r\n" +
                                outcome.report(),
                            MessageIcon::Critical, MessageButtons::Ok);
    }
}

void MainWindow::OpenBackupFile() {
    m_openedBackup->clear();
    resetRestoreTab();
    DialogService& dialogs = m_services.dialogs;
    const auto chosen =
        dialogs.openFileName("Restore Data from a Backup file", "Quillet File(*.qbk)");
    if (!chosen || chosen->empty()) return;
    if (!m_sessionFolder) {
        // Without a private folder the information file would land in the current folder.
        dialogs.showMessage("Cannot open a backup file: no private work folder could be made.",
                            MessageIcon::Critical, MessageButtons::Ok);
        return;
    }

    if (m_openedBackup->ArchiveHasPassword(*chosen)) {
        // Cancel keeps the password typed before, which is then tried.
        dialogs.askPassword(&m_restorePassword);
    }
    const Status opened = m_openedBackup->open(*chosen, m_restorePassword);
    if (opened.is(ErrorKind::kAccessDenied)) {
        dialogs.showMessage(opened.reason(), MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    m_restoreFileField->setText(QString::fromStdString(*chosen));
    m_backupOrigin->setPlainText(QString::fromStdString(m_openedBackup->originText()));
    m_backupDescription->setPlainText(QString::fromStdString(m_openedBackup->description()));
    if (!opened) {
        // The window keeps its own words for an invalid backup; the reason is for quillet-cli.
        const std::string message =
            opened.is(ErrorKind::kCorrupt) ? kInvalidBackupMessage : opened.reason();
        dialogs.showMessage(message, MessageIcon::Critical, MessageButtons::Ok);
        return;
    }
    for (int i = 0; i < kItemCount; ++i) m_restoreItems[i]->setEnabled(m_openedBackup->holds(i));
}

void MainWindow::RunRestore() {
    // A source is never written; its restore controls are disabled.
    if (m_services.system.sourceOnly()) return;
    DialogService& dialogs = m_services.dialogs;
    RestoreRequest request;
    const int row = m_targetIdentity->currentIndex();
    if (row >= 0 && row < static_cast<int>(m_identityList.size())) {
        request.identityKey = m_identityList[row].key;
    }
    for (int i = 0; i < kItemCount; ++i) request.ticked[i] = m_restoreItems[i]->isChecked();

    auto work = m_services.makeWorkFolder ? m_services.makeWorkFolder()
                                          : Result<WorkFolder>(Status::Error("no work folder"));
    if (!work) {
        dialogs.showMessage("Cannot restore: " + work.reason(), MessageIcon::Critical,
                            MessageButtons::Ok);
        return;
    }
    ItemContext context = runContext(*work);
    WindowProgress progress(*this);
    showProgressPanel();
    const RestoreOutcome outcome =
        quillet::RunRestore(context, *m_openedBackup, request, &progress);
    m_statusLabel->setText("Operation complete!");
    m_currentFileLabel->clear();
    hideProgressPanel();

    if (!outcome.started) {
        // Nothing ticked is the user's slip, a warning; the other refusals are errors.
        const bool slip = outcome.started.is(ErrorKind::kBadInput);
        dialogs.showMessage(outcome.started.reason(),
                            slip ? MessageIcon::Exclamation : MessageIcon::Critical,
                            MessageButtons::Ok);
        return;
    }
    dialogs.showMessage("The Restore was Completed!\r\n" + outcome.report(),
                        MessageIcon::Information, MessageButtons::Ok);
}

}  // namespace quillet
