#include "mailstore/folder_names.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "mailstore/imap_utf7.h"

namespace quillet::mailstore {
namespace {

struct SafeNameCase {
    const char* name;
    std::string given;
    std::string safe;
};

class SafeFolderNameTest : public ::testing::TestWithParam<SafeNameCase> {};

TEST_P(SafeFolderNameTest, MakesNamesFitForTheFileSystem) {
    EXPECT_EQ(SafeFolderName(GetParam().given), GetParam().safe);
}

INSTANTIATE_TEST_SUITE_P(
    Names, SafeFolderNameTest,
    ::testing::Values(SafeNameCase{"Plain", "Inbox", "Inbox"},
                      SafeNameCase{"Slashes", "a/b\\c", "a_b_c"},
                      SafeNameCase{"Controls", std::string("a\tb\nc\x7F", 6) + std::string(1, '\0'),
                                   "a_b_c__"},
                      SafeNameCase{"DirectionControls",
                                   "a\xE2\x80\xAEtxt\xE2\x81\xA6.exe\xE2\x80\x8F\xE2\x80\xA9",
                                   "a_txt_.exe_\xE2\x80\xA9"},
                      SafeNameCase{"Dots", "..", std::string(kUnnamedFolder)},
                      SafeNameCase{"Blanks", "  .hidden. ", "hidden"},
                      SafeNameCase{"Empty", "", std::string(kUnnamedFolder)},
                      SafeNameCase{"Utf8", "Entw\xC3\xBC rfe", "Entw\xC3\xBC rfe"},
                      SafeNameCase{"Long", std::string(kFolderNameLimit + 9, 'x'),
                                   std::string(kFolderNameLimit, 'x')},
                      // A two-byte character across the limit is dropped whole.
                      SafeNameCase{"LongUtf8", std::string(kFolderNameLimit - 1, 'x') + "\xC3\xBC",
                                   std::string(kFolderNameLimit - 1, 'x')}),
    [](const auto& info) { return info.param.name; });

TEST(FolderNamerTest, NumbersClashesAmongSiblingsIgnoringCase) {
    FolderNamer namer;
    EXPECT_EQ(namer.name(FolderNamer::kTopLevel, 1, "Inbox"), "Inbox");
    EXPECT_EQ(namer.name(FolderNamer::kTopLevel, 2, "INBOX"), "INBOX (2)");
    EXPECT_EQ(namer.name(FolderNamer::kTopLevel, 3, "in/box"), "in_box");
    EXPECT_EQ(namer.name(FolderNamer::kTopLevel, 4, "inbox"), "inbox (3)");
    EXPECT_EQ(namer.name(1, 5, "Inbox"), "Inbox");                              // another parent
    EXPECT_EQ(namer.name(FolderNamer::kTopLevel, 2, "anything"), "INBOX (2)");  // asked again
}

TEST(FolderNamerTest, ANameTakesItsSubfolderNameToo) {
    FolderNamer namer(".sbd");
    EXPECT_EQ(namer.name(FolderNamer::kTopLevel, 1, "Inbox"), "Inbox");
    EXPECT_EQ(namer.name(FolderNamer::kTopLevel, 2, "inbox.SBD"), "inbox.SBD (2)");
    EXPECT_EQ(namer.name(FolderNamer::kTopLevel, 3, "Old.sbd"), "Old.sbd");
    EXPECT_EQ(namer.name(FolderNamer::kTopLevel, 4, "Old"), "Old (2)");
}

// IMAP's own spelling of names (a Maildir++ folder's, an IMAP mailbox's).
TEST(ImapUtf7Test, SpellsNamesAsImapDoes) {
    const std::vector<std::pair<std::string, std::string>> names = {
        {"Sent Items (2)", "Sent Items (2)"},
        {"A&B&", "A&-B&-"},
        {"Entw\xC3\xBCrfe", "Entw&APw-rfe"},
        // RFC 3501's own example: "/" in a run's base64 is ","
        {"~peter/mail/\xE5\x8F\xB0\xE5\x8C\x97/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
         "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
        {"\xF0\x9F\x98\x80", "&2D3eAA-"},  // outside the BMP: a surrogate pair
        {"a\tb", "a&AAk-b"},
        {"caf\xE9", "caf&AOk-"},  // not UTF-8: Windows-1252
    };
    for (const auto& [utf8, utf7] : names) EXPECT_EQ(ToImapUtf7(utf8), utf7) << utf8;
}

}  // namespace
}  // namespace quillet::mailstore
