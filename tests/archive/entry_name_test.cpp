#include "archive/entry_name.h"

#include <gtest/gtest.h>

#include <string>

namespace quillet::archive {
namespace {

TEST(EntryNameTest, AcceptsOnlyPlainFileNames) {
    struct Case {
        std::string name;
        bool plain;
    };
    const Case cases[] = {
        {"Inbox.dbx", true},
        {"quillet.dat", true},
        {"Sent Items.dbx", true},
        {"..hidden", true},  // dots inside a name reach no other folder
        {"a..b", true},
        {"Grüße.htm", true},
        {"", false},
        {".", false},
        {"..", false},
        {"../x", false},
        {"..\\x", false},
        {"/abs", false},
        {"a/b", false},
        {"a\\b", false},
        {"\\\\server\\share", false},
        {"C:\\x", false},
        {"C:x", false},
        {"file.txt:stream", false},
        {std::string("a\x01z"), false},
        {std::string("tab\tname"), false},
        {std::string("line\nbreak"), false},
        {std::string("del\x7f"), false},
        {std::string("Inbox.dbx\0.exe", 14), false},
        {std::string("\0", 1), false},
        {std::string("Inbox.dbx\0", 10), false},
        {"Inbox.dbx.", false},
        {"Inbox.dbx ", false},
        {"Inbox.dbx. .", false},
        {"Inbox. dbx", true},
    };
    for (const Case& test : cases) {
        const Status checked = CheckEntryName(test.name);
        EXPECT_EQ(checked.ok(), test.plain) << "name: " << test.name;
        if (!test.plain) {
            EXPECT_FALSE(checked.reason().empty()) << "name: " << test.name;
        }
    }
}

TEST(EntryNameTest, NamesCollideWhenOnlyAsciiCaseDiffers) {
    EXPECT_TRUE(EntryNamesCollide("Inbox.dbx", "Inbox.dbx"));
    EXPECT_TRUE(EntryNamesCollide("Inbox.dbx", "INBOX.DBX"));
    EXPECT_FALSE(EntryNamesCollide("Inbox.dbx", "Inbox.dbx2"));
    EXPECT_FALSE(EntryNamesCollide("Inbox.dbx", "Outbox.dbx"));
    EXPECT_FALSE(EntryNamesCollide("a", "b"));
}

}  // namespace
}  // namespace quillet::archive
