#include "gui/qt_dialog_service.h"

#include <QFileDialog>
#include <QMessageBox>

#include "gui/password_window.h"

namespace quillet {
namespace {

constexpr char kTitle[] = "Quillet";

}  // namespace

MessageAnswer QtDialogService::showMessage(const std::string& text, MessageIcon icon,
                                           MessageButtons buttons) {
    return showTitledMessage(kTitle, text, icon, buttons);
}

MessageAnswer QtDialogService::showTitledMessage(const std::string& title, const std::string& text,
                                                 MessageIcon icon, MessageButtons buttons) {
    QMessageBox box(m_parent);
    box.setWindowTitle(QString::fromStdString(title));
    box.setText(QString::fromStdString(text));
    switch (icon) {
        case MessageIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MessageIcon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case MessageIcon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
        case MessageIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MessageIcon::None:
            break;
    }
    switch (buttons) {
        case MessageButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MessageButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MessageButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
    }
    switch (box.exec()) {
        case QMessageBox::Ok:
            return MessageAnswer::Ok;
        case QMessageBox::Yes:
            return MessageAnswer::Yes;
        case QMessageBox::No:
            return MessageAnswer::No;
        default:
            return MessageAnswer::Cancel;
    }
}

std::optional<std::string> QtDialogService::saveFileName(const std::string& title,
                                                         const std::string& filter,
                                                         const std::string& proposedName) {
    // Qt's dialog asks before overwriting and adds no extension of its own.
    const QString chosen = QFileDialog::getSaveFileName(m_parent, QString::fromStdString(title),
                                                        QString::fromStdString(proposedName),
                                                        QString::fromStdString(filter));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

std::optional<std::string> QtDialogService::openFileName(const std::string& title,
                                                         const std::string& filter) {
    const QString chosen = QFileDialog::getOpenFileName(m_parent, QString::fromStdString(title),
                                                        QString(), QString::fromStdString(filter));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

bool QtDialogService::askPassword(std::string* password) {
    PasswordWindow prompt(m_dataFolder, m_parent);
    if (prompt.exec() != QDialog::Accepted) return false;
    *password = prompt.password();
    return true;
}

}  // namespace quillet
