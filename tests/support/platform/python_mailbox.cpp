#include "support/platform/python_mailbox.h"

#include <gtest/gtest.h>

#include "support/platform/folder_snapshot.h"
#include "support/platform/shell_command.h"
#include "support/platform/temp_dir.h"

namespace quillet::testing {

std::map<std::string, PythonFolder> ReadMailWithPython(std::string_view kind,
                                                       const std::filesystem::path& mailbox,
                                                       const std::filesystem::path& scratch) {
    std::filesystem::remove_all(scratch);
    std::filesystem::create_directories(scratch);
    std::string output;
    const int status =
        RunCommand("python3 " + ShellQuote((TestDataDir() / "read_mail.py").string()) + " " +
                       std::string(kind) + " " + ShellQuote(mailbox.string()) + " " +
                       ShellQuote(scratch.string()),
                   &output);
    EXPECT_EQ(status, 0) << output;
    std::map<std::string, PythonFolder> folders;
    for (const std::string& folder : FolderListing(scratch)) {
        PythonFolder& read = folders[folder];
        for (const auto& [name, bytes] : FilesIn(scratch / folder)) {
            read.messages.push_back(bytes);
            read.flags.push_back(name.substr(name.find(' ') + 1));
        }
    }
    std::filesystem::remove_all(scratch);
    return folders;
}

}  // namespace quillet::testing
