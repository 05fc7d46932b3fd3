#include "gui/thunderbird_window.h"

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
#include "gui/skin.h"
#include "gui/thunderbird_texts.h"

namespace quillet {

namespace texts = thunderbird_texts;

ThunderbirdWindow::ThunderbirdWindow(ThunderbirdServices services, QWidget* parent)
    : QDialog(parent), m_services(std::move(services)) {
    setObjectName("frmThunderbird");
    setWindowTitle(texts::kWindowTitle);
    setWindowIcon(AppIcon());
    setModal(true);

    auto* source = new QGroupBox("Identity to move", this);
    source->setObjectName("fraSource");
    m_fromIdentity = new QRadioButton("Identity", source);
    m_fromIdentity->setObjectName("optIdentity");
    m_identity = new QComboBox(source);
    m_identity->setObjectName("cboIdentity");
    for (const Identity& identity : m_services.identities) {
        m_identity->addItem(QString::fromStdString(identity.userName));
    }
    m_fromBackup = new QRadioButton("Backup file", source);
    m_fromBackup->setObjectName("optBackup");
    auto* backupFile = new QLabel(QString::fromStdString(m_services.backupFile), source);
    backupFile->setObjectName("lblBackupFile");
    const bool backupOpen = static_cast<bool>(m_services.backupSource);
    m_fromBackup->setEnabled(backupOpen);
    backupFile->setEnabled(backupOpen);
    m_fromIdentity->setChecked(true);
    connect(m_fromIdentity, &QRadioButton::toggled, m_identity, &QWidget::setEnabled);
    auto* sourceGrid = new QGridLayout(source);
    sourceGrid->addWidget(m_fromIdentity, 0, 0);
    sourceGrid->addWidget(m_identity, 0, 1);
    sourceGrid->addWidget(m_fromBackup, 1, 0);
    sourceGrid->addWidget(backupFile, 1, 1);
    sourceGrid->setColumnStretch(1, 1);

    m_folder = new QLineEdit(this);
    m_folder->setObjectName("txtProfileFolder");
    m_browse = new QPushButton("Browse...", this);
    m_browse->setObjectName("cmdBrowse");
    connect(m_browse, &QPushButton::clicked, this, &ThunderbirdWindow::chooseFolder);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(m_folder);
    folderRow->addWidget(m_browse);
    m_name = new QLineEdit(this);
    m_name->setObjectName("txtProfileName");
    m_name->setPlaceholderText(QString(thunderbird::kDefaultProfileName) + "identity");
    m_register = new QCheckBox("Offer it in Thunderbird's profile manager", this);
    m_register->setObjectName("chkRegister");
    m_register->setChecked(!m_services.profilesIni.empty());
    m_register->setEnabled(!m_services.profilesIni.empty());
    auto* form = new QFormLayout;
    form->addRow("Profile folder", folderRow);
    form->addRow("Profile name", m_name);
    form->addRow(m_register);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName("prgMove");
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_report = new QPlainTextEdit(this);
    m_report->setObjectName("txtReport");
    m_report->setReadOnly(true);

    m_move = new QPushButton("Move", this);
    m_move->setObjectName("cmdMove");
    m_move->setDefault(true);
    connect(m_move, &QPushButton::clicked, this, &ThunderbirdWindow::moveIdentity);
    m_close = new QPushButton("Close", this);
    m_close->setObjectName("cmdClose");
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_move);
    buttons->addWidget(m_close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(source);
    layout->addLayout(form);
    layout->addWidget(m_progress);
    layout->addWidget(m_report);
    layout->addLayout(buttons);
    setMinimumWidth(520);

    ApplySkin(*this, m_services.dataFolder);
}

ThunderbirdWindow::~ThunderbirdWindow() = default;

void ThunderbirdWindow::done(int result) {
    if (m_busy) {
        // The making asks between messages; the window closes once it has stopped.
        m_closeRequested = true;
        return;
    }
    QDialog::done(result);
}

void ThunderbirdWindow::chooseFolder() {
    const auto chosen = m_services.dialogs.chooseFolder(texts::kFolderDialogTitle);
    if (chosen) m_folder->setText(QString::fromStdString(*chosen));
}

void ThunderbirdWindow::setBusy(bool busy) {
    m_busy = busy;
    for (QWidget* control : std::initializer_list<QWidget*>{m_fromIdentity, m_fromBackup, m_folder,
                                                            m_browse, m_name, m_move}) {
        control->setEnabled(!busy && (control != m_fromBackup || m_services.backupSource));
    }
    m_identity->setEnabled(!busy && m_fromIdentity->isChecked());
    m_register->setEnabled(!busy && !m_services.profilesIni.empty());
}

void ThunderbirdWindow::moveIdentity() {
    if (m_busy) return;
    DialogService& dialogs = m_services.dialogs;
    const int row = m_identity->currentIndex();
    const bool fromBackup = m_fromBackup->isChecked() && m_services.backupSource;
    if (!fromBackup && (row < 0 || row >= static_cast<int>(m_services.identities.size()) ||
                        !m_services.identitySource)) {
        dialogs.showMessage(texts::kNoIdentityMessage, MessageIcon::Exclamation,
                            MessageButtons::Ok);
        return;
    }
    const std::string folder = m_folder->text().trimmed().toStdString();
    if (folder.empty()) {
        dialogs.showMessage(texts::kNoFolderMessage, MessageIcon::Exclamation, MessageButtons::Ok);
        return;
    }
    thunderbird::ProfileOptions options;
    options.folder = folder;
    options.name = m_name->text().trimmed().toStdString();
    if (m_register->isChecked()) options.profilesIni = m_services.profilesIni;

    m_report->clear();
    m_progress->setValue(0);
    setBusy(true);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const Result<thunderbird::ProfileReport> made = [&]() -> Result<thunderbird::ProfileReport> {
        std::unique_ptr<thunderbird::ProfileSource> source;
        if (fromBackup) {
            auto opened = m_services.backupSource();
            if (!opened) return opened.status();
            source = std::move(opened.value());
        } else {
            source =
                m_services.identitySource(m_services.identities[static_cast<std::size_t>(row)]);
        }
        BarMailProgress progress(*m_progress, m_closeRequested);
        return thunderbird::MakeThunderbirdProfile(*source, options, &progress);
    }();
    QApplication::restoreOverrideCursor();
    setBusy(false);
    m_progress->setFormat("%p%");

    if (made) {
        m_progress->setValue(m_progress->maximum());
        m_report->setPlainText(QString::fromStdString(thunderbird::ProfileReportText(*made)));
    } else if (!made.status().is(ErrorKind::kCancelled)) {
        m_progress->setValue(0);
        dialogs.showMessage(texts::kFailurePrefix + made.reason(), MessageIcon::Critical,
                            MessageButtons::Ok);
    }
    if (m_closeRequested) QDialog::done(QDialog::Rejected);
}

}  // namespace quillet
