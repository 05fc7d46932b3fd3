#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillet::testing {

struct DovecotOptions {
    // A quota on the account's mailboxes (Dovecot's quota plugin); none by default.
    std::optional<std::uint64_t> quotaKilobytes;
    char separator = '.';  // the hierarchy delimiter of the account's namespace
    // The account's Maildir (an export's, say; Dovecot then writes its own files into it); empty:
    // a new one in the account's home.
    std::filesystem::path maildir{};
};

// One message as Python's imaplib reads it back from the server.
struct ImapReadMessage {
    std::string mailbox;  // as the server names it (modified UTF-7, its own delimiter)
    std::string flags;    // the flags in ascending order, space-separated ("$Forwarded \Seen")
    std::int64_t internalDate = 0;  // seconds since 1970
    std::string bytes;              // the whole message (BODY.PEEK[])
};

// A Dovecot of the test's own on 127.0.0.1 (a free port), with everything in `folder`: its
// configuration, a self-signed certificate for 127.0.0.1 made with openssl, a passwd-file user,
// the account's Maildir, its base_dir and state_dir and its log. It accepts TLS only: implicit TLS
// on port(), and STARTTLS on startTlsPort() (logins before STARTTLS are refused). Dovecot runs as
// the invoking user; as root, whose mail Dovecot refuses, as its own unprivileged users. The
// server runs as a child of the test (dovecot -F) and is stopped by its process id, and waited
// for, on destruction.
class DovecotServer {
  public:
    static constexpr char kUser[] = "quillet@example.org";
    static constexpr char kPassword[] = "imap password";

    explicit DovecotServer(const std::filesystem::path& folder, const DovecotOptions& options = {});
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    // Empty when it runs; else why it did not start (with the log's end).
    const std::string& failure() const { return m_failure; }
    std::uint16_t port() const { return m_port; }
    std::uint16_t startTlsPort() const { return m_startTlsPort; }
    // The server's certificate, the only one a client must trust for it.
    std::filesystem::path certificate() const { return m_folder / "server.pem"; }
    // What the server logged, to tell why a test failed.
    std::string log() const;

    // Every message of every mailbox, read with imaplib (mailboxes in LIST order, messages in
    // sequence order). Nullopt, with the reason in `error`, when the reader failed.
    std::optional<std::vector<ImapReadMessage>> readBack(std::string* error = nullptr) const;

  private:
    std::string start(const DovecotOptions& options);

    std::filesystem::path m_folder;
    std::uint16_t m_port = 0;
    std::uint16_t m_startTlsPort = 0;
    pid_t m_pid = -1;
    std::string m_failure;
};

}  // namespace quillet::testing
