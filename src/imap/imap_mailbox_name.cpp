#include "imap/imap_mailbox_name.h"

#include "mailstore/imap_utf7.h"

namespace quillet::imap {

std::string ImapLevelName(std::string level, char delimiter) {
    // Dovecot's Maildir++ layout under "/" makes "a.b" the level b below a, and "/" is the file
    // system's.
    const char other = delimiter == '.' ? '/' : delimiter == '/' ? '.' : delimiter;
    if (delimiter != '\0') {
        for (char& c : level) {
            if (c == delimiter || c == other) c = '_';
        }
    }
    return level;
}

std::string ImapMailboxPath(const std::vector<std::string>& levels, char delimiter) {
    const char joint = delimiter == '\0' ? '/' : delimiter;
    std::string path;
    for (const std::string& level : levels) {
        if (!path.empty()) path += joint;
        path += mailstore::ToImapUtf7(ImapLevelName(level, delimiter));
    }
    return path;
}

Result<std::vector<std::string>> UploadFolderLevels(const std::string& folder) {
    std::vector<std::string> levels;
    for (std::size_t start = 0; start <= folder.size();) {
        const std::size_t end = std::min(folder.find('/', start), folder.size());
        if (end > start) levels.push_back(folder.substr(start, end - start));
        start = end + 1;
    }
    if (levels.empty()) {
        return Status::Error("The folder to upload into needs a name (\"" + folder +
                                 "\" has none): the folders cannot go to the account's root",
                             ErrorKind::kBadInput);
    }
    return levels;
}

}  // namespace quillet::imap
