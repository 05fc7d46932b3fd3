#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::testing {

// The messages of one folder as Python's mailbox module reads them (tests/data/read_mail.py):
// their bytes, the mboxrd quoting undone, and their flags (mboxMessage's "ROFA" letters,
// MaildirMessage's "FPRS").
struct PythonFolder {
    std::vector<std::string> messages;
    std::vector<std::string> flags;
    bool operator==(const PythonFolder&) const = default;
};

// The one folder of an mbox file, and a Maildir's root (its Inbox).
inline constexpr std::string_view kPythonRootFolder = "=";

// Reads `mailbox` ("mbox": one file; "maildir": a Maildir++ folder and the folders in it) with
// Python, into a scratch folder below `scratch` that is removed again. Folder name -> messages;
// a failure of Python fails the calling test.
std::map<std::string, PythonFolder> ReadMailWithPython(std::string_view kind,
                                                       const std::filesystem::path& mailbox,
                                                       const std::filesystem::path& scratch);

}  // namespace quillet::testing
