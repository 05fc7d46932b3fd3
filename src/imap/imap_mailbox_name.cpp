#include "imap/imap_mailbox_name.h"

#include "mailstore/imap_utf7.h"

namespace quillet::imap {

std::string ImapMailboxPath(const std::vector<std::string>& levels, char delimiter) {
    const char joint = delimiter == '\0' ? '/' : delimiter;
    // Servers that keep mailboxes as folders misread the other of "." and "/" too: Dovecot's
    // Maildir++ layout under "/" makes "a.b" the level b below a, and "/" is the file system's.
    const char other = delimiter == '.' ? '/' : delimiter == '/' ? '.' : delimiter;
    std::string path;
    for (std::string level : levels) {
        if (delimiter != '\0') {
            for (char& c : level) {
                if (c == delimiter || c == other) c = '_';
            }
        }
        if (!path.empty()) path += joint;
        path += mailstore::ToImapUtf7(level);
    }
    return path;
}

}  // namespace quillet::imap
