#pragma once

#include <functional>
#include <string>

namespace quillet {

enum class MessageIcon { None, Information, Exclamation, Critical, Question };
enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageAnswer { Ok, Cancel, Yes, No };

// Shows a modal message box titled with the program's title. The desktop program shows a real
// dialog; the command line prints the text on stderr; tests record what was asked and answer
// from a script. Called from the user-interface thread only.
class MessageService {
  public:
    virtual ~MessageService() = default;
    virtual MessageAnswer showMessage(const std::string& text, MessageIcon icon,
                                      MessageButtons buttons) = 0;
};

// Shows each text it is given in a message box without an icon and with an OK button: for a
// part below the user interface that only tells, such as the registry's bad-key-path listener.
// `messages` must outlive the function.
inline std::function<void(const std::string&)> PlainMessages(MessageService& messages) {
    return [&messages](const std::string& text) {
        messages.showMessage(text, MessageIcon::None, MessageButtons::Ok);
    };
}

}  // namespace quillet
