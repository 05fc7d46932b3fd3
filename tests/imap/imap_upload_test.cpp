// The upload against a real Dovecot of the test's own, read back with Python's imaplib.

#include "imap/imap_upload.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "imap/imap_mailbox_name.h"
#include "mailstore/dbx_builder.h"
#include "mailstore/loose_mail_source.h"
#include "mailstore/message_state.h"
#include "support/imap/dovecot_server.h"
#include "support/platform/child_process.h"
#include "support/platform/shell_command.h"
#include "support/platform/temp_dir.h"

namespace quillet::imap {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::DovecotServer;

// "mailbox|flags|internal date|bytes" of each message, sorted.
using Held = std::vector<std::string>;
std::string Line(const std::string& mailbox, const std::string& flags, std::int64_t date,
                 const std::string& bytes) {
    return mailbox + "|" + flags + "|" + std::to_string(date) + "|" + bytes;
}

constexpr std::int64_t kDateHeaderTime = 1709629200;  // the Date: below, 09:00 UTC
constexpr std::uint64_t kFileTimeOf1970 = 116444736000000000ull;
constexpr char kNoStore[] = "Notes.dbx";  // a text file: left out and named
// The servers' delimiter: not the "." Dovecot has by default, so the upload must take the LIST's.
constexpr char kDelimiter = '/';

class ImapUploadTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(server.failure(), ""); }

    // `count` messages in Inbox and in a folder below it whose name holds "." and a letter beyond
    // ASCII; some unread, flagged, answered, forwarded, some without a
    // received time or a Message-ID, two alike; and kNoStore. Returns what the server must then
    // hold below the upload's folder.
    Held writeStores(std::size_t count) {
        fs::create_directories(stores);
        testing::WriteFileBytes(stores / kNoStore, "no store");
        testing::WriteDbxFolderList(stores / "Folders.dbx",
                                    {{0, 0xFFFFFFFF, "Outlook Express", "", 0},
                                     {1, 0, "Inbox", "Inbox.dbx", 1},
                                     {7, 1, "R\xe9unions 2024.Q1", "Meet.dbx", 0}});
        const std::string inbox = ImapMailboxPath({"Inbox"}, kDelimiter);
        const std::string below = ImapMailboxPath({"Inbox", "R\xc3\xa9unions 2024.Q1"}, kDelimiter);
        testing::DbxStoreBuilder first(stores / "Inbox.dbx"), second(stores / "Meet.dbx");
        Held expected;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t n = i == 51 ? 50 : i;  // 51 is 50 again
            const std::string message =
                "From: sender" + std::to_string(n % 7) + "@example.org\r\nSubject: Message " +
                std::to_string(n) + "\r\n" +
                (n % 17 == 0 ? "" : "Message-ID: <" + std::to_string(n) + "@example.org>\r\n") +
                "Date: Tue, 05 Mar 2024 10:00:00 +0100\r\n\r\n" +
                std::string(1000 + n * 13 % 900, 'x') + "\r\n";
            testing::DbxMessageOptions options;
            options.flags = 0x01 | (n % 7 == 0 ? 0 : mailstore::kMessageRead) |
                            (n % 5 == 0 ? mailstore::kMessageFlagged : 0) |
                            (n % 11 == 0 ? mailstore::kMessageAnswered : 0) |
                            (n % 13 == 0 ? mailstore::kMessageForwarded : 0);
            const std::int64_t received = kDateHeaderTime + static_cast<std::int64_t>(n) * 60;
            if (n % 9 != 0) options.receivedTime = kFileTimeOf1970 + received * 10'000'000ull;
            std::string flags = std::string(n % 13 == 0 ? " $Forwarded" : "") +
                                (n % 11 == 0 ? " \\Answered" : "") +
                                (n % 5 == 0 ? " \\Flagged" : "") + (n % 7 != 0 ? " \\Seen" : "");
            (i % 3 == 2 ? second : first).addMessage(message, options);
            expected.push_back(Line(i % 3 == 2 ? below : inbox, flags.substr(flags.empty() ? 0 : 1),
                                    n % 9 != 0 ? received : kDateHeaderTime, message));
        }
        first.finish();
        second.finish();
        std::sort(expected.begin(), expected.end());
        return expected;
    }

    UploadOptions options(const std::string& under, const DovecotServer* at = nullptr) const {
        at = at != nullptr ? at : &server;
        return {{DovecotServer::kUser, "127.0.0.1", at->port(), false},
                DovecotServer::kPassword,
                at->certificate().string(),
                under};
    }

    // The upload of the stores, read as loose stores (each store's kind from its header).
    Result<mailstore::ExportSummary> upload(const UploadOptions& options) const {
        auto source = mailstore::LooseStoreFolder(stores);
        if (!source) return source.status();
        return UploadMail(**source, options, nullptr);
    }

    // What `at` holds in the mailboxes below `under`, without `under` and its delimiter.
    static Held held(const DovecotServer& at, const std::string& under) {
        Held lines;
        for (const auto& m : at.readBack()) {
            if (!m.mailbox.starts_with(under + kDelimiter)) continue;
            lines.push_back(
                Line(m.mailbox.substr(under.size() + 1), m.flags, m.internalDate, m.bytes));
        }
        std::sort(lines.begin(), lines.end());
        return lines;
    }

    testing::TempDir temp;
    DovecotServer server{temp / "dovecot", {.separator = kDelimiter}};
    fs::path stores = temp / "stores";
};

// Relays one connection from `listener` to the server until the client has sent `cutAt` bytes,
// then kills the client (or, without `kill`, only cuts the connection).
void RelayUntil(int listener, std::uint16_t serverPort, std::size_t cutAt, pid_t client,
                bool kill) {
    pollfd waiting{listener, POLLIN, 0};
    if (::poll(&waiting, 1, 60'000) != 1) return;  // the client died before connecting
    const int from = ::accept(listener, nullptr, nullptr);
    const int to = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, htons(serverPort), {htonl(INADDR_LOOPBACK)}, {}};
    if (::connect(to, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        char buffer[4096];
        pollfd ends[2] = {{from, POLLIN, 0}, {to, POLLIN, 0}};
        for (std::size_t sent = 0; sent<cutAt&& ::poll(ends, 2, 60'000)> 0;) {
            const bool up = ends[0].revents != 0;
            const ssize_t got = ::read(up ? from : to, buffer,
                                       up ? std::min(sizeof buffer, cutAt - sent) : sizeof buffer);
            if (got <= 0 || ::write(up ? to : from, buffer, got) != got) break;
            if (up) sent += static_cast<std::size_t>(got);
        }
    }
    if (kill) ::kill(client, SIGKILL);
    ::close(from);
    ::close(to);
}

// Each upload is killed or cut at some point (the first before any message), and run again with
// STARTTLS: the server then holds each message once, byte exact with its state and date.
TEST_F(ImapUploadTest, UploadsEachMessageOnceWithItsStateAndDateThoughKilledOrCutAnywhere) {
    const Held expected = writeStores(200);
    for (const auto& [cutAt, kill] :
         {std::pair{700, true}, {9000, true}, {150'000, true}, {250'000, true}, {100'000, false}}) {
        SCOPED_TRACE(cutAt);
        const std::string under = "Run " + std::to_string(cutAt);
        const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof address;
        ASSERT_TRUE(::bind(listener, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
                    ::listen(listener, 1) == 0 &&
                    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0);
        UploadOptions proxied = options(under);
        proxied.address.port = ntohs(address.sin_port);
        const pid_t child = testing::ForkChild([&] {
            auto summary = upload(proxied);
            return summary && !summary->stopped.empty() ? 3 : summary ? 0 : 4;
        });
        RelayUntil(listener, server.port(), cutAt, child, kill);
        ::close(listener);
        const int status = testing::WaitForChild(child);
        // Killed, or stopped part way by the lost connection.
        EXPECT_TRUE(kill ? WIFSIGNALED(status) : WEXITSTATUS(status) == 3) << status;
        const std::size_t before = held(server, under).size();
        EXPECT_LT(before, expected.size());
        EXPECT_TRUE(cutAt < 100'000 || before > 0) << "the cut came after some messages";
        UploadOptions again = options(under);  // this time with STARTTLS
        again.address = {DovecotServer::kUser, "127.0.0.1", server.startTlsPort(), true};
        auto resumed = upload(again);
        ASSERT_TRUE(resumed) << resumed.reason();
        EXPECT_EQ(resumed->messages, expected.size());
        EXPECT_EQ(resumed->folders, 2u);
        EXPECT_EQ(resumed->storesLeftOut, std::vector<std::string>{kNoStore});
        EXPECT_TRUE(held(server, under) == expected);
    }
}

// Two uploads at once, then a third: each message once, though Dovecot rewrites it; a.b, a_b apart.
TEST_F(ImapUploadTest, UploadsAtOnceOrAgainLeaveEachMessageOnceInItsOwnFolder) {
    const Held expected = writeStores(200);
    for (const std::string store : {"a.b", "a_b"}) {
        const std::string head = "Subject: " + store + "\r\n\r\n";
        testing::WriteDbxStore(
            stores / (store + ".dbx"),
            {head + "bare\rCR", head + "a NUL\0"s, head + "CR\r\r\nLF\n", head + "\r\0\n\r"s});
    }
    UploadOptions twice = options("Twice");
    twice.lockFolder = temp / "locks";
    pid_t uploads[2];
    for (pid_t& child : uploads) child = testing::ForkChild([&] { return upload(twice) ? 0 : 1; });
    for (const pid_t child : uploads) EXPECT_EQ(testing::WaitForChild(child), 0);
    auto again = upload(twice);
    ASSERT_TRUE(again) << again.reason();
    EXPECT_EQ(held(server, "Twice").size(), expected.size() + 8);
    EXPECT_EQ(again->complete,
              (std::vector<fs::path>{"Inbox", "a_b", "a_b (2)", "Inbox/R\xc3\xa9unions 2024_Q1"}));
}

TEST_F(ImapUploadTest, RefusedUploadsSayWhyAndLeaveNoMessage) {
    writeStores(10);
    DovecotServer small(temp / "small", {.quotaKilobytes = 1, .separator = kDelimiter});
    ASSERT_EQ(small.failure(), "");
    for (const auto& [name, at, password, trusted, kind] :
         std::vector<std::tuple<const char*, const DovecotServer*, std::string, bool, ErrorKind>>{
             {"wrong password", &server, "not it", true, ErrorKind::kAccessDenied},
             {"untrusted", &server, DovecotServer::kPassword, false, ErrorKind::kAccessDenied},
             {"over quota", &small, DovecotServer::kPassword, true, ErrorKind::kDiskFull},
         }) {
        SCOPED_TRACE(name);
        UploadOptions refused = options("Outlook Express", at);
        refused.password = password;
        if (!trusted) refused.caFile.clear();
        auto summary = upload(refused);
        ASSERT_FALSE(summary);
        EXPECT_TRUE(summary.status().is(kind)) << summary.reason();
        EXPECT_EQ(summary.reason().find('\n'), std::string::npos);
        EXPECT_TRUE(held(*at, "Outlook Express").empty());
    }
    // A server that says a mailbox holds 4294967295 messages.
    FILE* liar = ::popen(
        ("python3 " QUILLET_MISBEHAVING_IMAP " " + testing::ShellQuote(server.certificate()) + " " +
         testing::ShellQuote(server.key()))
            .c_str(),
        "r");
    UploadOptions lied = options("Outlook Express");
    ASSERT_EQ(std::fscanf(liar, "%hu", &lied.address.port), 1);
    auto refused = upload(lied);
    EXPECT_TRUE(refused.status().is(ErrorKind::kCorrupt)) << refused.reason();
    ::pclose(liar);
}

}  // namespace
}  // namespace quillet::imap
