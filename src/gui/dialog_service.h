#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/message_service.h"

namespace quillet {

// Everything a window asks the user through a dialog: message boxes, the file and folder
// dialogs, the password prompt and a choice from a list. The desktop program shows real dialogs;
// tests answer from a script.
class DialogService : public MessageService {
  public:
    // A message box with its own caption in place of the program's title.
    virtual MessageAnswer showTitledMessage(const std::string& title, const std::string& text,
                                            MessageIcon icon, MessageButtons buttons) {
        (void)title;
        return showMessage(text, icon, buttons);
    }
    // The save-file dialog with an overwrite confirmation and no default extension; the chosen
    // path, or nullopt when cancelled. `filter` is "Caption (*.ext)".
    virtual std::optional<std::string> saveFileName(const std::string& title,
                                                    const std::string& filter,
                                                    const std::string& proposedName) = 0;
    // The open-file dialog (the file need not exist); nullopt when cancelled.
    virtual std::optional<std::string> openFileName(const std::string& title,
                                                    const std::string& filter) = 0;
    // The password prompt: true and the typed text (possibly empty) on OK or Enter; false on
    // Cancel or the close box, leaving *password as it was.
    virtual bool askPassword(std::string* password) = 0;
    // The folder chooser; the chosen folder, or nullopt when cancelled.
    virtual std::optional<std::string> chooseFolder(const std::string& title) = 0;
    // A list to choose one entry from, under the text `prompt`; the chosen entry's index, or
    // nullopt on Cancel or the close box.
    virtual std::optional<std::size_t> chooseFromList(const std::string& prompt,
                                                      const std::vector<std::string>& items) = 0;
};

}  // namespace quillet
