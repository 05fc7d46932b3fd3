#include <gtest/gtest.h>

#include "imap/imap_address.h"
#include "imap/imap_mailbox_name.h"

namespace quillet::imap {
namespace {

TEST(ImapMailboxPath, EncodesEachLevelAndKeepsTheDelimiterOutOfNames) {
    const std::tuple<std::vector<std::string>, char, std::string> cases[] = {
        {{"Outlook Express", "Inbox"}, '.', "Outlook Express.Inbox"},
        {{"Outlook Express", "Inbox"}, '/', "Outlook Express/Inbox"},
        {{"Re. 2024", "a/b"}, '.', "Re_ 2024.a_b"},
        {{"Re. 2024", "a/b"}, '/', "Re_ 2024/a_b"},
        {{"Re. 2024", "a/b"}, '\\', "Re. 2024\\a/b"},
        // each level as mailstore::ToImapUtf7 spells it
        {{"~peter", "mail", "\xe5\x8f\xb0\xe5\x8c\x97", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e"},
         '/',
         "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
        {{"flat", "tree"}, '\0', "flat/tree"},
    };
    for (const auto& [levels, delimiter, expected] : cases) {
        EXPECT_EQ(ImapMailboxPath(levels, delimiter), expected);
    }
}

TEST(ParseImapAddress, TakesTlsAddressesOnly) {
    // url, STARTTLS, then user@host:port (empty: refused)
    const std::tuple<std::string, bool, std::string> cases[] = {
        {"imaps://me@mail.example.org", false, "me@mail.example.org:993"},
        {"imaps://me@example.org@mail.example.org:1993/", false,
         "me@example.org@mail.example.org:1993"},
        {"imaps://me%40example.org@[::1]:2000", false, "me@example.org@::1:2000"},
        {"imap://me@mail.example.org", true, "me@mail.example.org:143"},
        {"imap://me@mail.example.org", false, ""},
        {"imaps://mail.example.org", false, ""},
        {"imaps://me@mail.example.org:99999", false, ""},
    };
    for (const auto& [url, startTls, expected] : cases) {
        auto address = ParseImapAddress(url, startTls);
        EXPECT_EQ(address
                      ? address->user + "@" + address->host + ":" + std::to_string(address->port)
                      : "",
                  expected);
        EXPECT_TRUE(address || address.status().is(ErrorKind::kBadInput));
    }
}

}  // namespace
}  // namespace quillet::imap
