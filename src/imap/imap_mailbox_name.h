#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillet::imap {

// A mailbox name as IMAP sends it: UTF-8 turned into modified UTF-7 (printable ASCII as it is,
// "&" as "&-", everything else as "&" + base64 of its UTF-16 with "," for "/" + "-"). Bytes that
// are not UTF-8 become U+FFFD. Pure.
std::string ImapMailboxUtf7(std::string_view utf8);

// The name of the mailbox at `levels` (UTF-8, from the top) on a server whose hierarchy delimiter
// is `delimiter` (from LIST; '\0' for a server without hierarchy, whose levels are joined with
// "/"): each level in modified UTF-7, the delimiter inside a level replaced by "_" so that it
// never makes a level of its own, and so is the other of "." and "/" when the delimiter is one of
// them (servers that keep mailboxes as folders take it as a level too). Pure.
std::string ImapMailboxPath(const std::vector<std::string>& levels, char delimiter);

}  // namespace quillet::imap
