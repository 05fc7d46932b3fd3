#pragma once

#include <deque>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "gui/dialog_service.h"

namespace quillet::testing {

// A dialog service for window tests: records every message and dialog the window asks for and
// answers from a script.
//
// - A message with only an OK button needs no scripted answer (it is answered OK). A question
//   (OK/Cancel, Yes/No) takes the next entry of `answers`; with none left it is an unexpected
//   prompt, answered Cancel or No.
// - The save and open dialogs take the next entry of their queues (nullopt = the user cancelled);
//   the password prompt takes the next entry of `passwords` (nullopt = Cancel). A dialog with an
//   empty queue is an unexpected prompt, answered as cancelled. So are the folder chooser
//   (`folderAnswers`) and the list (`listAnswers`, the index chosen).
// - problems() lists every unexpected prompt and every scripted answer left unused; a test
//   asserts that it is empty at the end, and asserts the exact lists recorded.
class ScriptedDialogs : public DialogService {
  public:
    struct Message {
        std::string text;
        MessageIcon icon;
        MessageButtons buttons;
        bool operator==(const Message&) const = default;
    };
    struct List {
        std::string prompt;
        std::vector<std::string> items;
        bool operator==(const List&) const = default;
    };
    struct FileDialog {
        std::string title;
        std::string filter;
        std::string proposedName;  // save dialog only
        bool operator==(const FileDialog&) const = default;
    };

    MessageAnswer showMessage(const std::string& text, MessageIcon icon,
                              MessageButtons buttons) override {
        messages.push_back(Message{text, icon, buttons});
        if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
        if (answers.empty()) {
            m_problems.push_back("unexpected question: " + text);
            return buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Cancel;
        }
        const MessageAnswer answer = answers.front();
        answers.pop_front();
        return answer;
    }

    MessageAnswer showTitledMessage(const std::string& title, const std::string& text,
                                    MessageIcon icon, MessageButtons buttons) override {
        messageTitles.push_back(title);
        return showMessage(text, icon, buttons);
    }

    std::optional<std::string> saveFileName(const std::string& title, const std::string& filter,
                                            const std::string& proposedName) override {
        saveDialogs.push_back(FileDialog{title, filter, proposedName});
        return next(saveAnswers, "save dialog: " + title);
    }

    std::optional<std::string> openFileName(const std::string& title,
                                            const std::string& filter) override {
        openDialogs.push_back(FileDialog{title, filter, {}});
        return next(openAnswers, "open dialog: " + title);
    }

    bool askPassword(std::string* password) override {
        ++passwordPrompts;
        const auto typed = next(passwords, "password prompt");
        if (!typed) return false;
        *password = *typed;
        return true;
    }

    std::optional<std::string> chooseFolder(const std::string& title) override {
        folderDialogs.push_back(title);
        return next(folderAnswers, "folder dialog: " + title);
    }

    std::optional<std::size_t> chooseFromList(const std::string& prompt,
                                              const std::vector<std::string>& items) override {
        lists.push_back(List{prompt, items});
        if (listAnswers.empty()) {
            m_problems.push_back("unexpected list: " + prompt);
            return std::nullopt;
        }
        const std::optional<std::size_t> answer = listAnswers.front();
        listAnswers.pop_front();
        return answer;
    }

    // Unexpected prompts, then scripted answers nobody asked for; one line each.
    std::vector<std::string> problems() const {
        std::vector<std::string> all = m_problems;
        const auto unused = [&all](std::size_t left, const char* what) {
            if (left > 0) all.push_back(std::to_string(left) + " unused " + what);
        };
        unused(answers.size(), "message answer(s)");
        unused(saveAnswers.size(), "save dialog answer(s)");
        unused(openAnswers.size(), "open dialog answer(s)");
        unused(passwords.size(), "password(s)");
        unused(folderAnswers.size(), "folder dialog answer(s)");
        unused(listAnswers.size(), "list answer(s)");
        return all;
    }

    // The script.
    std::deque<MessageAnswer> answers;
    std::deque<std::optional<std::string>> saveAnswers;
    std::deque<std::optional<std::string>> openAnswers;
    std::deque<std::optional<std::string>> passwords;
    std::deque<std::optional<std::string>> folderAnswers;
    std::deque<std::optional<std::size_t>> listAnswers;  // the chosen index; nullopt = Cancel

    // What was asked, in order.
    std::vector<Message> messages;
    std::vector<std::string> messageTitles;  // the captions of messages that have their own
    std::vector<FileDialog> saveDialogs;
    std::vector<FileDialog> openDialogs;
    int passwordPrompts = 0;
    std::vector<std::string> folderDialogs;  // their titles
    std::vector<List> lists;

    // Readable test failures: CR, LF and TAB are shown escaped.
    friend std::ostream& operator<<(std::ostream& out, const Message& message) {
        out << '"';
        for (const char c : message.text) {
            if (c == '\r') {
                out << "\\r";
            } else if (c == '\n') {
                out << "\\n";
            } else if (c == '\t') {
                out << "\\t";
            } else {
                out << c;
            }
        }
        return out << "\" icon " << static_cast<int>(message.icon) << " buttons "
                   << static_cast<int>(message.buttons);
    }
    friend std::ostream& operator<<(std::ostream& out, const List& list) {
        out << '"' << list.prompt << "\" [";
        for (const std::string& item : list.items) out << " \"" << item << '"';
        return out << " ]";
    }
    friend std::ostream& operator<<(std::ostream& out, const FileDialog& dialog) {
        return out << '"' << dialog.title << "\" \"" << dialog.filter << "\" \""
                   << dialog.proposedName << '"';
    }

  private:
    std::optional<std::string> next(std::deque<std::optional<std::string>>& queue,
                                    const std::string& what) {
        if (queue.empty()) {
            m_problems.push_back("unexpected " + what);
            return std::nullopt;
        }
        std::optional<std::string> answer = queue.front();
        queue.pop_front();
        return answer;
    }

    std::vector<std::string> m_problems;
};

}  // namespace quillet::testing
