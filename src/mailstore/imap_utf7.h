#pragma once

#include <string>
#include <string_view>

namespace quillet::mailstore {

// A mailbox name in IMAP's modified UTF-7 (RFC 3501, 5.1.3), as IMAP servers and Dovecot's
// Maildir++ folders spell names: printable US-ASCII stands for itself, "&" is "&-", and each run
// of other characters is "&" + the modified base64 (",", not "/"; no padding) of its UTF-16BE
// + "-". Bytes that are not UTF-8 are taken as Windows-1252 characters (Utf8ToUtf16), so every
// input has a name. Does not split at a hierarchy separator: the caller encodes each level.
// Pure; safe from any thread.
std::string ToImapUtf7(std::string_view utf8);

}  // namespace quillet::mailstore
