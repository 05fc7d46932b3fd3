#include "archive/entry_name.h"

#include <string>

#include "platform/case_fold.h"

namespace quillet::archive {

Status CheckEntryName(std::string_view name) {
    const std::string quoted = "\"" + std::string(name) + "\"";
    if (name.empty()) return Status::Error("an entry has an empty name");
    if (name == "." || name == "..") {
        return Status::Error("the entry name " + quoted + " names a folder, not a file");
    }
    // Windows drops a name's trailing dots and blanks: "Inbox.dbx." would be "Inbox.dbx" there.
    if (name.back() == '.' || name.back() == ' ') {
        return Status::Error("the entry name " + quoted +
                             " ends with a dot or blank, which Windows would drop");
    }
    for (char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\') {
            return Status::Error("the entry name " + quoted + " is a path, not a plain file name");
        }
        if (c == ':') {
            return Status::Error("the entry name " + quoted + " holds a drive or stream prefix");
        }
        if (byte < 0x20 || byte == 0x7f) {
            return Status::Error("an entry name holds a control character");
        }
    }
    return Status::Ok();
}

bool EntryNamesCollide(std::string_view first, std::string_view second) {
    if (first.size() != second.size()) return false;
    for (std::size_t i = 0; i < first.size(); ++i) {
        if (AsciiLower(first[i]) != AsciiLower(second[i])) return false;
    }
    return true;
}

}  // namespace quillet::archive
