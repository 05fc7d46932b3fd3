#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "imap/imap_address.h"
#include "imap/message_key.h"
#include "platform/status.h"

namespace quillet::imap {

// One logged-in IMAP session, through libetpan. Every failure comes back as a one-line reason
// that names the server and what it refused, with the server's own words when it gave any: a
// refused certificate and a refused login are kAccessDenied, a lost or failed connection kIo, a
// mailbox the server will not take a message into (no permission, over quota) kAccessDenied or
// kDiskFull. One thread.
class ImapConnection {
  public:
    // Connects with TLS (implicit or STARTTLS as `address` says), checks the server's certificate
    // (CheckServerCertificate, with `caFile` when not empty) before anything else is sent, and
    // logs in. The password is only sent, never kept.
    static Result<std::unique_ptr<ImapConnection>> Open(const ImapAddress& address,
                                                        const std::string& password,
                                                        const std::string& caFile);
    ~ImapConnection();
    ImapConnection(const ImapConnection&) = delete;
    ImapConnection& operator=(const ImapConnection&) = delete;

    // The server's hierarchy delimiter (LIST "" ""); '\0' when it has none.
    char delimiter() const { return m_delimiter; }

    // Creates the mailbox (modified UTF-7 name) unless LIST shows it is there; a CREATE that fails
    // because another client made it meanwhile is no failure.
    Status ensureMailbox(const std::string& name);

    // The keys of the messages in the mailbox (selected for what follows), fetched in batches.
    // Fails (kCorrupt) when the server does not send as many messages as it says the mailbox
    // holds; memory is taken only for what it sent.
    Result<std::vector<MessageKey>> keysIn(const std::string& name);

    // Appends one message, byte for byte, with its flags and internal date (none: the server's
    // time).
    Status append(const std::string& mailbox, std::string_view message, const ImapFlags& flags,
                  std::optional<std::int64_t> date);

  private:
    // Whether LIST shows the mailbox.
    Result<bool> mailboxExists(const std::string& name);
    struct Session;
    explicit ImapConnection(std::unique_ptr<Session> session);
    std::unique_ptr<Session> m_session;
    char m_delimiter = '\0';
};

}  // namespace quillet::imap
