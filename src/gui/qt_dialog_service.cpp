#include "gui/qt_dialog_service.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

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

std::optional<std::string> QtDialogService::chooseFolder(const std::string& title) {
    const QString chosen =
        QFileDialog::getExistingDirectory(m_parent, QString::fromStdString(title));
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

std::optional<std::size_t> QtDialogService::chooseFromList(const std::string& prompt,
                                                           const std::vector<std::string>& items) {
    QDialog dialog(m_parent);
    dialog.setObjectName("frmChoose");
    dialog.setWindowTitle(kTitle);
    auto* text = new QLabel(QString::fromStdString(prompt), &dialog);
    text->setWordWrap(true);
    auto* list = new QListWidget(&dialog);
    list->setObjectName("lstChoices");
    for (const std::string& item : items) list->addItem(QString::fromStdString(item));
    list->setCurrentRow(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(text);
    layout->addWidget(list);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0) return std::nullopt;
    return static_cast<std::size_t>(list->currentRow());
}

}  // namespace quillet
