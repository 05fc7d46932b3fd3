#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/message_service.h"

namespace quillet::testing {

// Records every message asked for and answers from a script (Ok when the script is empty).
class RecordingMessageService : public MessageService {
  public:
    struct Shown {
        std::string text;
        MessageIcon icon;
        MessageButtons buttons;
    };

    MessageAnswer showMessage(const std::string& text, MessageIcon icon,
                              MessageButtons buttons) override {
        shown.push_back(Shown{text, icon, buttons});
        if (answers.empty()) return MessageAnswer::Ok;
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::vector<Shown> shown;
    std::deque<MessageAnswer> answers;
};

}  // namespace quillet::testing
