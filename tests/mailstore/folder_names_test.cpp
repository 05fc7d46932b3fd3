#include "mailstore/folder_names.h"

#include <gtest/gtest.h>

#include <string>

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

}  // namespace
}  // namespace quillet::mailstore
