#include "backup/information_file.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/platform/temp_dir.h"

namespace quillet {
namespace {

using quillet::testing::ReadFileBytes;
using quillet::testing::TempDir;
using quillet::testing::WriteFileBytes;

class InformationFileTest : public ::testing::Test {
  protected:
    TempDir temp;
    std::filesystem::path file = temp / "quillet.dat";
};

TEST_F(InformationFileTest, SaveINIAppendsOneCrLfLinePerCallAndReplacesNothing) {
    ASSERT_TRUE(SaveINI("BackupItem", "00000001", file).ok());
    ASSERT_TRUE(SaveINI("BackupItem", "11111111", file).ok());
    ASSERT_TRUE(SaveINI("BackupInformation", "x=y", file).ok());
    ASSERT_TRUE(SaveINI("BackupTime", "", file).ok());
    EXPECT_EQ(ReadFileBytes(file),
              "BackupItem=00000001\r\nBackupItem=11111111\r\nBackupInformation=x=y\r\n"
              "BackupTime=\r\n");

    // A file that already exists is appended to, never truncated.
    const std::filesystem::path existing = temp / "existing.dat";
    WriteFileBytes(existing, "BackupComputer=PC\r\n");
    ASSERT_TRUE(SaveINI("BackupLogonUser", "me", existing).ok());
    EXPECT_EQ(ReadFileBytes(existing), "BackupComputer=PC\r\nBackupLogonUser=me\r\n");
}

TEST_F(InformationFileTest, SaveINIReportsAFileItCannotOpen) {
    WriteFileBytes(temp / "plain-file", "x");
    for (const std::filesystem::path& target :
         {temp / "missing-folder" / "quillet.dat", temp / "plain-file" / "quillet.dat",
          std::filesystem::path(temp.path())}) {
        const Status saved = SaveINI("BackupItem", "00000000", target);
        EXPECT_FALSE(saved.ok()) << target;
        EXPECT_FALSE(saved.reason().empty()) << target;
    }
    EXPECT_FALSE(std::filesystem::exists(temp / "missing-folder"));
}

TEST_F(InformationFileTest, GetINIReadsTheValueOfTheFirstMatchingKey) {
    // The text holds a NUL, so its length is taken from the array, not from the first NUL.
    static constexpr char kText[] =
        "a line without an equals sign\r\n"
        "BackupComputer\r\n"
        "BackupComputer=PC-1\r\n"
        "BackupItems=22222222\r\n"
        "BackupItem=01000000\r\n"
        "BACKUPITEM=11111111\r\n"
        "BackupInformation=x=y\r\n"
        "BackupMails=Inbox.dbx\0Folders.dbx\r\n"
        "BackupTime=\r\n"
        "Key With Blank =v\r\n"
        "=no key\r\n"
        "BackupSettings=OBS1F.TMP";
    WriteFileBytes(file, std::string(kText, sizeof kText - 1));
    struct Case {
        const char* key;
        const char* value;
    };
    const Case cases[] = {
        {"backupitem", "01000000"},  // keys ignore case; the later line is not read
        {"BackupItem", "01000000"},
        {"BACKUPITEMS", "22222222"},      // the whole key is compared, not a prefix
        {"BackupComputer", "PC-1"},       // a line without "=" is skipped, not matched
        {"BackupInformation", "x=y"},     // the first "=" splits
        {"BackupMails", "Inbox.dbx"},     // cut at a NUL
        {"BackupTime", ""},               // present and empty
        {"Key With Blank ", "v"},         // keys are taken as they stand
        {"BackupSettings", "OBS1F.TMP"},  // the last line has no line end
        {"BackupAccounts", ""},           // missing
        {"a line without an equals sign", ""},
    };
    for (const Case& c : cases) {
        const Result<std::string> value = GetINI(c.key, file);
        ASSERT_TRUE(value.ok()) << c.key << ": " << value.reason();
        EXPECT_EQ(*value, c.value) << c.key;
    }
}

TEST_F(InformationFileTest, GetINIFailsForAMissingFile) {
    const Result<std::string> value = GetINI("BackupItem", temp / "missing.dat");
    EXPECT_FALSE(value.ok());
    EXPECT_FALSE(value.reason().empty());
}

TEST_F(InformationFileTest, GetINIReadsWindows1252TextAsUtf8) {
    // Written by an older program in the Windows-1252 code page: not valid UTF-8.
    WriteFileBytes(file, "BackupIdentity=Zo\xEB \xC5ngstr\xF6m\r\nBackupInformation=\x80 5\r\n");
    EXPECT_EQ(*GetINI("BackupIdentity", file), "Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m");
    EXPECT_EQ(*GetINI("BackupInformation", file), "\xE2\x82\xAC 5");

    // UTF-8 is taken as it stands.
    WriteFileBytes(file, "BackupIdentity=Zo\xC3\xAB\r\n");
    EXPECT_EQ(*GetINI("BackupIdentity", file), "Zo\xC3\xAB");
}

TEST_F(InformationFileTest, TempFilesAreNewEmptyAndNamedPrefixHexTmp) {
    const std::regex form("(OBA|OBR|OBS)[0-9A-F]{1,4}\\.TMP");
    std::set<std::filesystem::path> seen;
    for (const char* prefix : {"OBR", "OBR", "OBR", "OBA", "OBS", "OBR"}) {
        const Result<std::filesystem::path> made = sGetTempFile(prefix, temp.path());
        ASSERT_TRUE(made.ok()) << made.reason();
        const std::string name = made->filename().string();
        EXPECT_TRUE(std::regex_match(name, form)) << name;
        EXPECT_EQ(name.substr(0, 3), prefix);
        EXPECT_EQ(made->parent_path(), temp.path());
        EXPECT_TRUE(std::filesystem::is_regular_file(*made)) << name;
        EXPECT_TRUE(seen.insert(*made).second) << name << " given twice";
        // The next request must not hand out a file already in use.
        WriteFileBytes(*made, "in use");
    }
    for (const auto& made : seen) EXPECT_EQ(ReadFileBytes(made), "in use") << made;
}

TEST_F(InformationFileTest, TempFileRequestFailsInAFolderItCannotWrite) {
    const Result<std::filesystem::path> made = sGetTempFile("OBR", temp / "missing");
    EXPECT_FALSE(made.ok());
    EXPECT_FALSE(made.reason().empty());
}

TEST_F(InformationFileTest, DescriptionLineBreaksBecomeTheMarkerAndComeBack) {
    struct Case {
        std::string description;
        std::string stored;
    };
    const Case cases[] = {
        {"a\r\nb", "aPS$QLBb"},   {"a\nb", "aPS$QLBb"},
        {"a\rb", "aPS$QLBb"},     {"a\r\n\r\nb\r\n", "aPS$QLBPS$QLBbPS$QLB"},
        {"one line", "one line"}, {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EncodeDescription(c.description), c.stored) << c.description;
    }

    const Case decoded[] = {
        {"a\r\nb", "aPS$QLBb"},
        {"\r\n\r\n", "PS$QLBPS$QLB"},
        {"one line", "one line"},
        {"PS$QL", "PS$QL"},
    };
    for (const Case& c : decoded) EXPECT_EQ(DecodeDescription(c.stored), c.description) << c.stored;

    // A description that itself holds the marker comes back with a line break in its place.
    EXPECT_EQ(DecodeDescription(EncodeDescription("see PS$QLB here")), "see \r\n here");
}

TEST(InformationFileNamesTest, AnItemsNameListSplitsAtEverySemicolon) {
    struct Case {
        const char* names;
        std::vector<std::string> split;
    };
    const Case cases[] = {
        {"", {}},
        {"Inbox.dbx", {"Inbox.dbx"}},
        {"Inbox.dbx;Sent Items.dbx", {"Inbox.dbx", "Sent Items.dbx"}},
        {"a;;b", {"a", "", "b"}},
        {";a;", {"", "a"}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitNameList(c.names), c.split) << c.names;
}

TEST_F(InformationFileTest, ADescriptionWithLineBreaksStaysOneLineOfTheFile) {
    ASSERT_TRUE(
        SaveINI("BackupInformation", EncodeDescription("first\r\nsecond\nthird"), file).ok());
    ASSERT_TRUE(SaveINI("BackupItem", "01000000", file).ok());
    EXPECT_EQ(ReadFileBytes(file),
              "BackupInformation=firstPS$QLBsecondPS$QLBthird\r\nBackupItem=01000000\r\n");
    EXPECT_EQ(DecodeDescription(*GetINI("BackupInformation", file)), "first\r\nsecond\r\nthird");
    EXPECT_EQ(*GetINI("BackupItem", file), "01000000");
}

}  // namespace
}  // namespace quillet
