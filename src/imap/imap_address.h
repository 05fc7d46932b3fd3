#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace quillet::imap {

// The IMAP account to upload to, as "imaps://USER@HOST[:PORT]" names it. TLS is always used:
// implicit TLS (port 993 by default), or STARTTLS on a plain connection (port 143 by default).
struct ImapAddress {
    std::string user;  // "%40" in the address stands for "@" (so does a "@" before the last)
    std::string host;  // also what the server's certificate is checked against
    std::uint16_t port = 0;
    bool startTls = false;

    // "imaps://USER@HOST:PORT" ("imap://" with STARTTLS), for messages and the summary.
    std::string text() const;
};

inline constexpr std::uint16_t kImapsPort = 993;
inline constexpr std::uint16_t kImapPort = 143;

// Parses `url`; `startTls` asks for STARTTLS instead of implicit TLS. "imap://" is taken only
// with STARTTLS, since nothing is ever sent in the clear. Fails with kBadInput and the reason.
Result<ImapAddress> ParseImapAddress(std::string_view url, bool startTls);

}  // namespace quillet::imap
