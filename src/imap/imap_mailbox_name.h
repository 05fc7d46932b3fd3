#pragma once

#include <string>
#include <vector>

#include "platform/status.h"

namespace quillet::imap {

// A level's name (UTF-8) as a server whose hierarchy delimiter is `delimiter` can hold it as one
// level: the delimiter inside it replaced by "_" so that it never makes a level of its own, and so
// is the other of "." and "/" when the delimiter is one of them (servers that keep mailboxes as
// folders take it as a level too). A server without hierarchy ('\0') takes it as it is. Pure.
std::string ImapLevelName(std::string level, char delimiter);

// The name of the mailbox at `levels` (UTF-8, from the top) on a server whose hierarchy delimiter
// is `delimiter` (from LIST; '\0' for a server without hierarchy, whose levels are joined with
// "/"): each level as ImapLevelName makes it, in modified UTF-7 (mailstore::ToImapUtf7). Pure.
std::string ImapMailboxPath(const std::vector<std::string>& levels, char delimiter);

// The levels of the folder an upload goes into, given with "/" between them (empty levels
// dropped). Fails (kBadInput) when none is left ("/", ""): the folders would go to the account's
// root, where the Inbox is the server's own. Pure.
Result<std::vector<std::string>> UploadFolderLevels(const std::string& folder);

}  // namespace quillet::imap
