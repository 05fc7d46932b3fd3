#include "gui/contacts_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gui/app_icon.h"
#include "gui/contacts_texts.h"
#include "gui/skin.h"
#include "wab/vcard_export.h"

namespace quillet {

namespace texts = contacts_texts;

namespace {

// A line edit with a "Browse..." button that fills it from a dialog.
QHBoxLayout* BrowseRow(QLineEdit* edit, QPushButton* browse, std::function<void()> choose) {
    QObject::connect(browse, &QPushButton::clicked, browse, std::move(choose));
    auto* row = new QHBoxLayout;
    row->addWidget(edit);
    row->addWidget(browse);
    return row;
}

}  // namespace

ContactsWindow::ContactsWindow(ContactsServices services, QWidget* parent)
    : QDialog(parent), m_services(std::move(services)) {
    setObjectName("frmContacts");
    setWindowTitle(texts::kWindowTitle);
    setWindowIcon(AppIcon());
    setModal(true);

    auto* source = new QGroupBox("Address book", this);
    source->setObjectName("fraSource");
    m_fromSystem = new QRadioButton("Address book of this system", source);
    m_fromSystem->setObjectName("optSystem");
    m_fromBackup = new QRadioButton("Backup file", source);
    m_fromBackup->setObjectName("optBackup");
    auto* backupFile = new QLabel(QString::fromStdString(m_services.backupFile), source);
    backupFile->setObjectName("lblBackupFile");
    const bool backupOpen = static_cast<bool>(m_services.backupBook);
    m_fromBackup->setEnabled(backupOpen);
    backupFile->setEnabled(backupOpen);
    m_fromFile = new QRadioButton("Address book file", source);
    m_fromFile->setObjectName("optFile");
    m_wabFile = new QLineEdit(source);
    m_wabFile->setObjectName("txtWabFile");
    auto* browseWab = new QPushButton("Browse...", source);
    browseWab->setObjectName("cmdBrowseWab");
    m_fromSystem->setChecked(true);
    auto* sourceGrid = new QGridLayout(source);
    sourceGrid->addWidget(m_fromSystem, 0, 0, 1, 2);
    sourceGrid->addWidget(m_fromBackup, 1, 0);
    sourceGrid->addWidget(backupFile, 1, 1);
    sourceGrid->addWidget(m_fromFile, 2, 0);
    sourceGrid->addLayout(BrowseRow(m_wabFile, browseWab,
                                    [this] {
                                        const auto chosen = m_services.dialogs.openFileName(
                                            texts::kWabDialogTitle, texts::kWabFilter);
                                        if (!chosen) return;
                                        m_wabFile->setText(QString::fromStdString(*chosen));
                                        m_fromFile->setChecked(true);
                                    }),
                          2, 1);
    sourceGrid->setColumnStretch(1, 1);

    m_outFile = new QLineEdit(this);
    m_outFile->setObjectName("txtOutFile");
    auto* browseOut = new QPushButton("Browse...", this);
    browseOut->setObjectName("cmdBrowseOut");
    m_salvage = new QCheckBox("Read past damage, and recover deleted contacts", this);
    m_salvage->setObjectName("chkSalvage");
    auto* form = new QFormLayout;
    form->addRow("vCard file", BrowseRow(m_outFile, browseOut, [this] {
                     const auto chosen = m_services.dialogs.saveFileName(
                         texts::kOutDialogTitle, texts::kOutFilter, texts::kProposedOutName);
                     if (chosen) m_outFile->setText(QString::fromStdString(*chosen));
                 }));
    form->addRow(m_salvage);

    m_report = new QPlainTextEdit(this);
    m_report->setObjectName("txtReport");
    m_report->setReadOnly(true);

    auto* exportButton = new QPushButton("Export", this);
    exportButton->setObjectName("cmdExport");
    exportButton->setDefault(true);
    connect(exportButton, &QPushButton::clicked, this, &ContactsWindow::exportContacts);
    auto* close = new QPushButton("Close", this);
    close->setObjectName("cmdClose");
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(exportButton);
    buttons->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(source);
    layout->addLayout(form);
    layout->addWidget(m_report);
    layout->addLayout(buttons);
    setMinimumWidth(520);

    ApplySkin(*this, m_services.dataFolder);
}

ContactsWindow::~ContactsWindow() = default;

Result<AddressBookSource> ContactsWindow::openChosenBook() {
    if (m_fromBackup->isChecked() && m_services.backupBook) return m_services.backupBook();
    if (m_fromFile->isChecked()) return AddressBookFile(m_wabFile->text().trimmed().toStdString());
    return m_services.systemBook();
}

void ContactsWindow::exportContacts() {
    DialogService& dialogs = m_services.dialogs;
    if (m_fromFile->isChecked() && m_wabFile->text().trimmed().isEmpty()) {
        dialogs.showMessage(texts::kNoWabFileMessage, MessageIcon::Exclamation, MessageButtons::Ok);
        return;
    }
    const std::string outFile = m_outFile->text().trimmed().toStdString();
    if (outFile.empty()) {
        dialogs.showMessage(texts::kNoOutFileMessage, MessageIcon::Exclamation, MessageButtons::Ok);
        return;
    }
    m_report->clear();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::string description;
    const Result<wab::VCardExport> exported = [&]() -> Result<wab::VCardExport> {
        auto book = openChosenBook();
        if (!book) return book.status();
        description = book->description;
        const auto mode = m_salvage->isChecked() ? wab::ReadMode::kSalvage : wab::ReadMode::kStrict;
        return wab::ExportVCards(*book->bytes, mode, outFile);
    }();
    QApplication::restoreOverrideCursor();

    if (!exported) {
        const bool damaged = exported.status().is(ErrorKind::kCorrupt) && !m_salvage->isChecked();
        dialogs.showMessage(
            texts::kFailurePrefix + exported.reason() + (damaged ? texts::kSalvageHint : ""),
            MessageIcon::Critical, MessageButtons::Ok);
    } else if (exported->written == 0) {
        dialogs.showMessage(texts::kNoContactsMessage, MessageIcon::Information,
                            MessageButtons::Ok);
    } else {
        m_report->setPlainText(
            QString::fromStdString(wab::VCardExportText(*exported, description, outFile)));
    }
}

}  // namespace quillet
