#pragma once

#include <string>
#include <vector>

namespace quillet::imap {

// The name of the mailbox at `levels` (UTF-8, from the top) on a server whose hierarchy delimiter
// is `delimiter` (from LIST; '\0' for a server without hierarchy, whose levels are joined with
// "/"): each level in modified UTF-7 (mailstore::ToImapUtf7), the delimiter inside a level replaced
// by "_" so that it never makes a level of its own, and so is the other of "." and "/" when the
// delimiter is one of them (servers that keep mailboxes as folders take it as a level too). Pure.
std::string ImapMailboxPath(const std::vector<std::string>& levels, char delimiter);

}  // namespace quillet::imap
