#include "gui/password_window.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/password_field.h"
#include "gui/skin.h"

namespace quillet {

PasswordWindow::PasswordWindow(const std::filesystem::path& dataFolder, QWidget* parent)
    : QDialog(parent) {
    setObjectName("PasswordWindow");
    setWindowTitle("Please enter password");
    setModal(true);

    auto* frame = new QGroupBox("Security", this);
    auto* label = new QLabel("Please enter password:", frame);
    label->setObjectName("SkinLabel1");
    m_password = new QLineEdit(frame);
    m_password->setObjectName("txtPassword");
    MakePasswordField(*m_password, kMaxPasswordLength);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->addWidget(label);
    frameLayout->addWidget(m_password);

    auto* ok = new QPushButton("OK", this);
    ok->setObjectName("cmdOK");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("cmdExit");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_password, &QLineEdit::returnPressed, this, &QDialog::accept);

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

std::string PasswordWindow::password() const { return m_password->text().toStdString(); }

}  // namespace quillet
