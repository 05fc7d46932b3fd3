#include "gui/imap_target_box.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLineEdit>

#include "gui/password_field.h"

namespace quillet {

namespace texts = imap_target_texts;

namespace {

constexpr int kPasswordLength = 256;

QLineEdit* Field(QWidget* parent, const char* name, const QString& text = {}) {
    auto* field = new QLineEdit(text, parent);
    field->setObjectName(name);
    return field;
}

}  // namespace

ImapTargetBox::ImapTargetBox(QWidget* parent) : QGroupBox(texts::kTitle, parent) {
    setObjectName("fraImap");
    setCheckable(true);
    setChecked(false);
    m_server = Field(this, "txtImapServer");
    m_server->setPlaceholderText("imap.example.org");
    m_user = Field(this, "txtImapUser");
    m_folder = Field(
        this, "txtImapFolder",
        QString::fromUtf8(imap::kDefaultUploadFolder.data(), imap::kDefaultUploadFolder.size()));
    m_password = Field(this, "txtImapPassword");
    MakePasswordField(*m_password, kPasswordLength);
    m_caFile = Field(this, "txtImapCaFile");
    m_caFile->setPlaceholderText("the system's trusted certificates");
    m_startTls = new QCheckBox("Start TLS on a plain connection (STARTTLS, port 143)", this);
    m_startTls->setObjectName("chkImapStartTls");
    auto* form = new QFormLayout(this);
    form->addRow("Server", m_server);
    form->addRow("User", m_user);
    form->addRow("Folder", m_folder);
    form->addRow("Password", m_password);
    form->addRow("Trusted certificate", m_caFile);
    form->addRow(m_startTls);
}

Result<imap::UploadOptions> ImapTargetBox::options() const {
    const std::string server = m_server->text().trimmed().toStdString();
    const std::string user = m_user->text().trimmed().toStdString();
    if (server.empty() || user.empty()) {
        return Status::Error(texts::kNoServerMessage, ErrorKind::kBadInput);
    }
    if (m_password->text().isEmpty()) {
        return Status::Error(texts::kNoPasswordMessage, ErrorKind::kBadInput);
    }
    auto address = imap::ParseImapAddress("imaps://user@" + server, m_startTls->isChecked());
    if (!address) return address.status();
    address->user = user;
    imap::UploadOptions options;
    options.address = *address;
    options.password = m_password->text().toStdString();
    options.caFile = m_caFile->text().trimmed().toStdString();
    const std::string folder = m_folder->text().trimmed().toStdString();
    if (!folder.empty()) options.folder = folder;
    return options;
}

}  // namespace quillet
