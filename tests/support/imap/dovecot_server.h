#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillet::testing {

struct DovecotOptions {
    std::optional<std::uint64_t> quotaKilobytes{};  // on the account's mail; none by default
    char separator = '.';                           // the hierarchy delimiter of its namespace
    std::filesystem::path maildir{};  // the account's Maildir (an export's); empty: a new one
};

// One message as Python's imaplib reads it back from the server.
struct ImapReadMessage {
    std::string mailbox;  // as the server names it (modified UTF-7, its own delimiter)
    std::string flags;    // the flags in ascending order, space-separated ("$Forwarded \Seen")
    std::int64_t internalDate = 0;  // seconds since 1970
    std::string bytes;              // the whole message (BODY.PEEK[])
};

// A Dovecot of the test's own on free ports of 127.0.0.1, with everything (its configuration, a
// self-signed certificate for 127.0.0.1, a passwd-file user, the account's mail, its log) in
// `folder`. It takes TLS only: implicit TLS on port(), STARTTLS on startTlsPort(). As root it runs
// as its own unprivileged users. It runs as a child of the test (dovecot -F), stopped by its
// process id on destruction.
class DovecotServer {
  public:
    static constexpr char kUser[] = "quillet@example.org";
    static constexpr char kPassword[] = "imap password";

    explicit DovecotServer(const std::filesystem::path& folder, const DovecotOptions& options = {});
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    // Empty when it runs; else why it did not start (with its log).
    const std::string& failure() const { return m_failure; }
    std::uint16_t port() const { return m_port; }
    std::uint16_t startTlsPort() const { return m_startTlsPort; }
    // The server's certificate, the only one a client must trust for it.
    std::filesystem::path certificate() const { return m_folder / "server.pem"; }
    std::filesystem::path key() const { return m_folder / "server.key"; }

    // Every message of every mailbox, read with imaplib (mailboxes in LIST order, messages in
    // sequence order); none, and the test failed, when the reader failed.
    std::vector<ImapReadMessage> readBack() const;

  private:
    std::string start(const DovecotOptions& options);

    std::filesystem::path m_folder;
    std::uint16_t m_port = 0;
    std::uint16_t m_startTlsPort = 0;
    pid_t m_pid = -1;
    std::string m_failure;
};

}  // namespace quillet::testing
