#include <gtest/gtest.h>

#include "imap/imap_address.h"
#include "imap/imap_mailbox_name.h"

namespace quillet::imap {
namespace {

struct PathCase {
    std::vector<std::string> levels;
    char delimiter;
    std::string expected;
};

TEST(ImapMailboxPath, EncodesEachLevelAndKeepsTheDelimiterOutOfNames) {
    const PathCase cases[] = {
        {{"Outlook Express", "Inbox"}, '.', "Outlook Express.Inbox"},
        {{"Outlook Express", "Inbox"}, '/', "Outlook Express/Inbox"},
        {{"Tom & Jerry"}, '/', "Tom &- Jerry"},
        {{"Re. 2024", "a/b"}, '.', "Re_ 2024.a/b"},
        {{"Re. 2024", "a/b"}, '/', "Re. 2024/a_b"},
        {{"~peter", "mail", "\xe5\x8f\xb0\xe5\x8c\x97", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e"},
         '/',
         "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
        {{"R\xc3\xa9unions"}, '.', "R&AOk-unions"},
        {{"\xf0\x9f\x93\xa7 mail"}, '.', "&2D3c5w- mail"},  // a surrogate pair
        {{"bad \xff byte"}, '.', "bad &,,0- byte"},         // not UTF-8: U+FFFD
        {{"flat", "tree"}, '\0', "flat/tree"},
    };
    for (const PathCase& c : cases) {
        EXPECT_EQ(ImapMailboxPath(c.levels, c.delimiter), c.expected) << c.expected;
    }
}

TEST(ParseImapAddress, TakesTlsAddressesOnly) {
    struct Case {
        std::string url;
        bool startTls;
        bool valid;
        std::string user, host;
        std::uint16_t port;
    };
    const Case cases[] = {
        {"imaps://me@mail.example.org", false, true, "me", "mail.example.org", kImapsPort},
        {"imaps://me@example.org@mail.example.org:1993/", false, true, "me@example.org",
         "mail.example.org", 1993},
        {"imaps://me%40example.org@[::1]:2000", false, true, "me@example.org", "::1", 2000},
        {"imaps://me@mail.example.org", true, true, "me", "mail.example.org", kImapPort},
        {"imap://me@mail.example.org", true, true, "me", "mail.example.org", kImapPort},
        {"imap://me@mail.example.org", false, false, "", "", 0},
        {"imaps://mail.example.org", false, false, "", "", 0},
        {"imaps://me@mail.example.org:99999", false, false, "", "", 0},
    };
    for (const Case& c : cases) {
        auto address = ParseImapAddress(c.url, c.startTls);
        ASSERT_EQ(address.ok(), c.valid) << c.url;
        if (!c.valid) {
            EXPECT_TRUE(address.status().is(ErrorKind::kBadInput));
            continue;
        }
        EXPECT_EQ(address->user, c.user);
        EXPECT_EQ(address->host, c.host);
        EXPECT_EQ(address->port, c.port);
        EXPECT_EQ(address->startTls, c.startTls);
    }
}

}  // namespace
}  // namespace quillet::imap
