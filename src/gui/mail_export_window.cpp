#include "gui/mail_export_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gui/app_icon.h"
#include "gui/bar_mail_progress.h"
#include "gui/imap_target_box.h"
#include "gui/mail_export_texts.h"
#include "gui/skin.h"
#include "mailstore/export_summary_text.h"
#include "mailstore/loose_mail_source.h"
#include "mailstore/mail_export.h"

namespace quillet {

namespace texts = mail_export_texts;

// An upload's progress as an export's, with the messages and bytes uploaded so far.
class MailExportWindow::UploadProgress : public imap::UploadProgress {
  public:
    explicit UploadProgress(MailExportWindow& window)
        : m_export(*window.m_progress, window.m_closeRequested), m_window(window) {}

    void storeStarted(const std::string& fileName, std::size_t position,
                      std::size_t count) override {
        m_store = QString::fromStdString(fileName);
        m_export.storeStarted(fileName, position, count);
    }
    void bytesDone(std::uint64_t done, std::uint64_t total) override {
        m_export.bytesDone(done, total);
    }
    void messagesDone(std::uint64_t messages, std::uint64_t bytes) override {
        m_window.m_progress->setFormat(m_store +
                                       QString("  %1 messages, %2 MB  %p%")
                                           .arg(messages)
                                           .arg(static_cast<double>(bytes) / 1e6, 0, 'f', 1));
        QApplication::processEvents();
    }
    bool cancelRequested() override { return m_export.cancelRequested(); }

  private:
    BarMailProgress m_export;
    MailExportWindow& m_window;
    QString m_store;
};

MailExportWindow::MailExportWindow(MailExportServices services, QWidget* parent)
    : QDialog(parent), m_services(std::move(services)) {
    setObjectName("frmExportMail");
    setWindowTitle(texts::kWindowTitle);
    setWindowIcon(AppIcon());
    setModal(true);

    m_source = new QGroupBox("Mail to export", this);
    m_source->setObjectName("fraSource");
    m_fromIdentity = new QRadioButton("Identity", m_source);
    m_fromIdentity->setObjectName("optIdentity");
    m_identity = new QComboBox(m_source);
    m_identity->setObjectName("cboIdentity");
    for (const Identity& identity : m_services.identities) {
        m_identity->addItem(QString::fromStdString(identity.userName));
    }
    m_fromBackup = new QRadioButton("Backup file", m_source);
    m_fromBackup->setObjectName("optBackup");
    auto* backupFile = new QLabel(QString::fromStdString(m_services.backupFile), m_source);
    backupFile->setObjectName("lblBackupFile");
    const bool backupOpen = static_cast<bool>(m_services.backupMail);
    m_fromBackup->setEnabled(backupOpen);
    backupFile->setEnabled(backupOpen);
    m_fromStoreFolder = new QRadioButton(texts::kStoreFolderCaption, m_source);
    m_fromStoreFolder->setObjectName("optStoreFolder");
    m_storeFolder = new QLabel(m_source);
    m_storeFolder->setObjectName("lblStoreFolder");
    connect(m_fromStoreFolder, &QRadioButton::clicked, this, &MailExportWindow::chooseStoreFolder);
    m_fromIdentity->setChecked(true);
    connect(m_fromIdentity, &QRadioButton::toggled, m_identity, &QWidget::setEnabled);
    auto* sourceGrid = new QGridLayout(m_source);
    sourceGrid->addWidget(m_fromIdentity, 0, 0);
    sourceGrid->addWidget(m_identity, 0, 1);
    sourceGrid->addWidget(m_fromBackup, 1, 0);
    sourceGrid->addWidget(backupFile, 1, 1);
    sourceGrid->addWidget(m_fromStoreFolder, 2, 0);
    sourceGrid->addWidget(m_storeFolder, 2, 1);
    sourceGrid->setColumnStretch(1, 1);

    m_outputFolder = new QLineEdit(this);
    m_outputFolder->setObjectName("txtOutputFolder");
    m_browse = new QPushButton("Browse...", this);
    m_browse->setObjectName("cmdBrowse");
    connect(m_browse, &QPushButton::clicked, this, &MailExportWindow::chooseOutputFolder);
    auto* outputRow = new QHBoxLayout;
    outputRow->addWidget(m_outputFolder);
    outputRow->addWidget(m_browse);

    m_format = new QComboBox(this);
    m_format->setObjectName("cboFormat");
    for (const texts::FormatChoice& choice : texts::kFormats) m_format->addItem(choice.caption);
    m_recover = new QCheckBox("Recover damaged stores", this);
    m_recover->setObjectName("chkRecover");
    m_replace = new QCheckBox("Replace existing files", this);
    m_replace->setObjectName("chkReplace");
    m_keepBytes = new QCheckBox(texts::kKeepBytesCaption, this);
    m_keepBytes->setObjectName("chkKeepBytes");
    connect(m_format, &QComboBox::currentIndexChanged, this, [this] {
        m_keepBytes->setEnabled(!m_busy && formatChosen() == mailstore::ExportFormat::kMbox);
    });

    auto* form = new QFormLayout;
    form->addRow("Output folder", outputRow);
    form->addRow("Format", m_format);
    form->addRow(m_keepBytes);
    form->addRow(m_recover);
    form->addRow(m_replace);

    m_imap = new ImapTargetBox(this);
    connect(m_imap, &QGroupBox::toggled, this, [this](bool upload) {
        const std::initializer_list<QWidget*> folderOnly = {m_outputFolder, m_browse, m_format,
                                                            m_replace};
        for (QWidget* control : folderOnly) control->setEnabled(!upload);
    });

    m_progress = new QProgressBar(this);
    m_progress->setObjectName("prgExport");
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_summary = new QPlainTextEdit(this);
    m_summary->setObjectName("txtSummary");
    m_summary->setReadOnly(true);

    m_export = new QPushButton("Export", this);
    m_export->setObjectName("cmdExport");
    m_export->setDefault(true);
    connect(m_export, &QPushButton::clicked, this, &MailExportWindow::exportMail);
    m_close = new QPushButton("Close", this);
    m_close->setObjectName("cmdClose");
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_export);
    buttons->addWidget(m_close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_source);
    layout->addLayout(form);
    layout->addWidget(m_imap);
    layout->addWidget(m_progress);
    layout->addWidget(m_summary);
    layout->addLayout(buttons);
    setMinimumWidth(480);

    ApplySkin(*this, m_services.dataFolder);
}

MailExportWindow::~MailExportWindow() = default;

void MailExportWindow::done(int result) {
    if (m_busy) {
        // The export asks between messages; the window closes once it has stopped.
        m_closeRequested = true;
        return;
    }
    QDialog::done(result);
}

void MailExportWindow::chooseOutputFolder() {
    const auto chosen = m_services.dialogs.chooseFolder(texts::kFolderDialogTitle);
    if (chosen) m_outputFolder->setText(QString::fromStdString(*chosen));
}

void MailExportWindow::chooseStoreFolder() {
    const auto chosen = m_services.dialogs.chooseFolder(texts::kStoreFolderDialogTitle);
    if (chosen) {
        m_storeFolderPath = *chosen;
        m_storeFolder->setText(QString::fromStdString(*chosen));
    } else if (m_storeFolderPath.empty()) {
        m_fromIdentity->setChecked(true);
    }
}

Result<std::unique_ptr<mailstore::MailSource>> MailExportWindow::openSource() {
    if (m_fromStoreFolder->isChecked()) return mailstore::LooseStoreFolder(m_storeFolderPath);
    if (m_fromBackup->isChecked() && m_services.backupMail) return m_services.backupMail();
    const int row = m_identity->currentIndex();
    return m_services.identityMail(m_services.identities[static_cast<std::size_t>(row)].key);
}

void MailExportWindow::setBusy(bool busy) {
    m_busy = busy;
    // The identity list keeps its own state: it stays off while the backup is the source.
    const bool toFolder = !m_imap->isChecked();
    const std::initializer_list<QWidget*> always = {m_source, m_recover, m_imap, m_export};
    for (QWidget* control : always) control->setEnabled(!busy);
    const std::initializer_list<QWidget*> folderOnly = {m_outputFolder, m_browse, m_format,
                                                        m_replace};
    for (QWidget* control : folderOnly) control->setEnabled(!busy && toFolder);
    m_keepBytes->setEnabled(!busy && toFolder && formatChosen() == mailstore::ExportFormat::kMbox);
}

mailstore::ExportFormat MailExportWindow::formatChosen() const {
    return texts::kFormats[static_cast<std::size_t>(m_format->currentIndex())].format;
}

Result<mailstore::ExportSummary> MailExportWindow::runExport(
    const mailstore::ExportOptions& options, std::string* description) {
    auto source = openSource();
    if (!source) return source.status();
    *description = (*source)->description();
    BarMailProgress progress(*m_progress, m_closeRequested);
    return mailstore::ExportMail(**source, options, &progress);
}

void MailExportWindow::exportMail() {
    if (m_busy) return;
    DialogService& dialogs = m_services.dialogs;
    const int row = m_identity->currentIndex();
    const bool haveIdentity = row >= 0 && row < static_cast<int>(m_services.identities.size());
    const bool fromIdentity = m_fromIdentity->isChecked();
    if (fromIdentity && (!haveIdentity || !m_services.identityMail)) {
        dialogs.showMessage(texts::kNoIdentityMessage, MessageIcon::Exclamation,
                            MessageButtons::Ok);
        return;
    }
    // The choice checked from the keyboard has asked for no folder yet.
    if (m_fromStoreFolder->isChecked() && m_storeFolderPath.empty()) {
        chooseStoreFolder();
        if (m_storeFolderPath.empty()) return;
    }
    if (m_imap->isChecked()) {
        uploadMail();
        return;
    }
    const std::string outFolder = m_outputFolder->text().trimmed().toStdString();
    if (outFolder.empty()) {
        dialogs.showMessage(texts::kNoOutputFolderMessage, MessageIcon::Exclamation,
                            MessageButtons::Ok);
        return;
    }

    mailstore::ExportOptions options;
    options.outFolder = outFolder;
    options.format = formatChosen();
    options.keepBytes =
        options.format == mailstore::ExportFormat::kMbox && m_keepBytes->isChecked();
    options.mode =
        m_recover->isChecked() ? mailstore::ReadMode::kSalvage : mailstore::ReadMode::kStrict;
    options.force = m_replace->isChecked();

    m_summary->clear();
    m_progress->setValue(0);
    setBusy(true);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::string description;
    const Result<mailstore::ExportSummary> exported = runExport(options, &description);
    QApplication::restoreOverrideCursor();
    setBusy(false);
    m_progress->setFormat("%p%");

    if (exported) {
        m_progress->setValue(m_progress->maximum());
        m_summary->setPlainText(QString::fromStdString(
            mailstore::ExportSummaryText(description, outFolder, *exported)));
    } else if (!exported.status().is(ErrorKind::kCancelled)) {
        m_progress->setValue(0);
        dialogs.showMessage(texts::kFailurePrefix + exported.reason(), MessageIcon::Critical,
                            MessageButtons::Ok);
    }
    if (m_closeRequested) QDialog::done(QDialog::Rejected);
}

void MailExportWindow::uploadMail() {
    DialogService& dialogs = m_services.dialogs;
    auto options = m_imap->options();
    if (!options) {
        dialogs.showMessage(options.reason(), MessageIcon::Exclamation, MessageButtons::Ok);
        return;
    }
    options->mode =
        m_recover->isChecked() ? mailstore::ReadMode::kSalvage : mailstore::ReadMode::kStrict;
    options->lockFolder = m_services.uploadLockFolder;

    m_summary->clear();
    m_progress->setValue(0);
    setBusy(true);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::string description;
    Result<mailstore::ExportSummary> uploaded = [&]() -> Result<mailstore::ExportSummary> {
        auto source = openSource();
        if (!source) return source.status();
        description = (*source)->description();
        UploadProgress progress(*this);
        return imap::UploadMail(**source, *options, &progress);
    }();
    options->password.assign(options->password.size(), '\0');
    QApplication::restoreOverrideCursor();
    setBusy(false);
    m_progress->setFormat("%p%");

    if (uploaded) {
        m_progress->setValue(m_progress->maximum());
        m_summary->setPlainText(QString::fromStdString(
            mailstore::ExportSummaryText(description, imap::UploadTarget(*options), *uploaded)));
    } else if (!uploaded.status().is(ErrorKind::kCancelled)) {
        m_progress->setValue(0);
        dialogs.showMessage(imap_target_texts::kFailurePrefix + uploaded.reason(),
                            MessageIcon::Critical, MessageButtons::Ok);
    }
    if (m_closeRequested) QDialog::done(QDialog::Rejected);
}

}  // namespace quillet
