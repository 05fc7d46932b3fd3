#include "shell/frm_pwd.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "shell/password_field.h"
#include "shell/skin.h"

namespace quillet {

frmPwd::frmPwd(const std::filesystem::path& dataFolder, QWidget* parent) : QDialog(parent) {
    setObjectName("frmPwd");
    setWindowTitle("Please enter password");
    setModal(true);

    auto* frame = new QGroupBox("Security", this);
    auto* label = new QLabel("Please enter password:", frame);
    label->setObjectName("SkinLabel1");
    m_txtPassword = new QLineEdit(frame);
    m_txtPassword->setObjectName("txtPassword");
    MakePasswordField(*m_txtPassword, kMaxPasswordLength);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(label);
    frameLayout->addWidget(m_txtPassword);

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("cmdOK");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("cmdExit");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_txtPassword, &QLineEdit::returnPressed, this, &QDialog::accept);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    setMinimumWidth(320);
    ApplySkin(*this, dataFolder);
}

std::string frmPwd::password() const { return m_txtPassword->text().toStdString(); }

}  // namespace quillet
