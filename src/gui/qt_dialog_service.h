#pragma once

#include <QPointer>
#include <QWidget>
#include <filesystem>

#include "gui/dialog_service.h"

namespace quillet {

// The real dialogs: message boxes titled "Quillet", Qt's file and folder dialogs, the password
// prompt and a list to choose from.
class QtDialogService : public DialogService {
  public:
    explicit QtDialogService(std::filesystem::path dataFolder)
        : m_dataFolder(std::move(dataFolder)) {}

    // The window the dialogs belong to.
    void setParent(QWidget* parent) { m_parent = parent; }

    MessageAnswer showMessage(const std::string& text, MessageIcon icon,
                              MessageButtons buttons) override;
    MessageAnswer showTitledMessage(const std::string& title, const std::string& text,
                                    MessageIcon icon, MessageButtons buttons) override;
    std::optional<std::string> saveFileName(const std::string& title, const std::string& filter,
                                            const std::string& proposedName) override;
    std::optional<std::string> openFileName(const std::string& title,
                                            const std::string& filter) override;
    bool askPassword(std::string* password) override;
    std::optional<std::string> chooseFolder(const std::string& title) override;
    std::optional<std::size_t> chooseFromList(const std::string& prompt,
                                              const std::vector<std::string>& items) override;

  private:
    std::filesystem::path m_dataFolder;
    QPointer<QWidget> m_parent;
};

}  // namespace quillet
