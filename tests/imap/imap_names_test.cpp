#include <gtest/gtest.h>

#include "imap/imap_address.h"
#include "imap/imap_mailbox_name.h"

namespace quillet::imap {
namespace {

TEST(ImapMailboxPath, EncodesEachLevelAndKeepsTheDelimiterOutOfNames) {
    const std::tuple<std::vector<std::string>, char, std::string> cases[] = {
        {{"Re. 2024", "a/b"}, '.', "Re_ 2024.a_b"},
        {{"Re. 2024", "a/b"}, '/', "Re_ 2024/a_b"},
        {{"Re. 2024", "a/b"}, '\\', "Re. 2024\\a/b"},
        {{"Entw\xc3\xbcrfe", "A&B"}, '/', "Entw&APw-rfe/A&-B"},  // as ToImapUtf7 spells each
        {{"flat", "tree"}, '\0', "flat/tree"},
    };
    for (const auto& [levels, delimiter, expected] : cases) {
        EXPECT_EQ(ImapMailboxPath(levels, delimiter), expected);
    }
}

TEST(UploadFolderLevels, SplitsAtSlashesAndRefusesTheAccountsRoot) {
    EXPECT_EQ(*UploadFolderLevels("/Old//Mail/"), (std::vector<std::string>{"Old", "Mail"}));
    EXPECT_TRUE(UploadFolderLevels("/").status().is(ErrorKind::kBadInput));
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
