// Our archives must open in the common zip tools. Each test is skipped when its tool is not
// installed.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/zip_archive.h"
#include "archive_test_files.h"
#include "support/platform/temp_dir.h"

namespace quillet::archive {
namespace {

using quillet::testing::RandomContent;
using quillet::testing::ReadFileBytes;
using quillet::testing::RunCommand;
using quillet::testing::ShellQuote;
using quillet::testing::TempDir;
using quillet::testing::TextContent;
using quillet::testing::ToolOnPath;
using quillet::testing::WriteFileBytes;

class ExternalToolsTest : public ::testing::Test {
  protected:
    std::filesystem::path Save(const std::string& password) {
        files = {{"Inbox.dbx", TextContent(2 * (1 << 20) + 77, 3)},
                 {"empty.dbx", ""},
                 {"me.wab", RandomContent(70000, 8)},
                 {"tiny.txt", "hi"},
                 {"quillet.dat", "BackupItem=00010000\r\n"}};
        ZipArchive archive;
        const auto target = dir / (password.empty() ? "plain.qbk" : "protected.qbk");
        EXPECT_TRUE(archive.CreateArchive(target).ok());
        for (const auto& [name, bytes] : files) {
            WriteFileBytes(dir / "src" / name, bytes);
            EXPECT_TRUE(archive.AddFileEntry(dir / "src" / name).ok());
        }
        archive.WritePassword(password);
        archive.EncryptOnWrite(true);
        const Status saved = archive.SaveArchive();
        EXPECT_TRUE(saved.ok()) << saved.reason();
        return target;
    }

    TempDir dir;
    std::vector<std::pair<std::string, std::string>> files;
};

TEST_F(ExternalToolsTest, UnzipListsAndTestsOurArchives) {
    if (!ToolOnPath("unzip")) GTEST_SKIP() << "unzip is not installed";
    for (const std::string password : {"", "pass word"}) {
        SCOPED_TRACE(password.empty() ? "plain" : "protected");
        const auto archive = Save(password);
        std::string listing;
        ASSERT_EQ(RunCommand("unzip -Z1 " + ShellQuote(archive.string()), &listing), 0) << listing;
        std::string expected;
        for (const auto& file : files) expected += file.first + "\n";
        EXPECT_EQ(listing, expected);
        std::string list;
        EXPECT_EQ(RunCommand("unzip -l " + ShellQuote(archive.string()), &list), 0) << list;
        if (password.empty()) {
            std::string tested;
            EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(archive.string()), &tested), 0)
                << tested;
        }
    }
}

TEST_F(ExternalToolsTest, SevenZipAcceptsTheRightPasswordOnly) {
    if (!ToolOnPath("7z")) GTEST_SKIP() << "7z is not installed";
    const auto archive = Save("pass word");
    std::string output;
    EXPECT_EQ(RunCommand("7z t -p" + ShellQuote("pass word") + " " + ShellQuote(archive.string()),
                         &output),
              0)
        << output;
    output.clear();
    EXPECT_NE(RunCommand("7z t -pwrong " + ShellQuote(archive.string()), &output), 0) << output;

    output.clear();
    const auto out = dir / "7z-out";
    ASSERT_EQ(RunCommand("7z x -y -p" + ShellQuote("pass word") + " -o" + ShellQuote(out.string()) +
                             " " + ShellQuote(archive.string()),
                         &output),
              0)
        << output;
    for (const auto& [name, bytes] : files) EXPECT_EQ(ReadFileBytes(out / name), bytes) << name;
}

// 7-Zip writes WinZip AES entries of the first kind (with a CRC) for all but the smallest files;
// every strength, deflated and stored, must read back, and a wrong password must not.
TEST_F(ExternalToolsTest, AesArchivesMadeBySevenZipReadBack) {
    if (!ToolOnPath("7z")) GTEST_SKIP() << "7z is not installed";
    const std::vector<std::pair<std::string, std::string>> made = {
        {"Inbox.dbx", TextContent(700000, 13)},
        {"me.wab", RandomContent(3 * 65536 + 11, 14)},
        {"empty.dbx", ""},
        {"tiny.txt", "hi"},
    };
    for (const auto& [name, bytes] : made) WriteFileBytes(dir / "7z-src" / name, bytes);
    for (const char* method : {"AES128", "AES192", "AES256"}) {
        for (const char* level : {"-mx=5", "-mx=0"}) {
            SCOPED_TRACE(std::string(method) + " " + level);
            const auto archive = dir / (std::string(method) + level + ".zip");
            std::string output;
            ASSERT_EQ(RunCommand("cd " + ShellQuote((dir / "7z-src").string()) + " && 7z a -tzip " +
                                     level + " -mem=" + method + " -p" + ShellQuote("pass word") +
                                     " " + ShellQuote(archive.string()) +
                                     " Inbox.dbx me.wab empty.dbx tiny.txt",
                                 &output),
                      0)
                << output;

            ZipArchive reader;
            ASSERT_TRUE(reader.LoadArchive(archive).ok());
            reader.ReadPassword("pass word");
            EXPECT_TRUE(reader.CheckReadPassword());
            const Status verified = reader.verifyEntries();
            EXPECT_TRUE(verified.ok()) << verified.reason();
            const auto out = dir / "out";
            std::filesystem::create_directories(out);
            for (const auto& [name, bytes] : made) {
                ASSERT_TRUE(reader.LookupEntry(name).has_value()) << name;
                if (!bytes.empty()) {
                    EXPECT_TRUE(reader.LookupEntry(name)->encrypted) << name;
                }
                const Status extracted = reader.ExtractEntryTo(name, out / name);
                ASSERT_TRUE(extracted.ok()) << name << ": " << extracted.reason();
                EXPECT_EQ(ReadFileBytes(out / name), bytes) << name;
            }

            ZipArchive wrong;
            ASSERT_TRUE(wrong.LoadArchive(archive).ok());
            wrong.ReadPassword("pass words");
            EXPECT_FALSE(wrong.CheckReadPassword());
            EXPECT_FALSE(wrong.verifyEntries().ok());
        }
    }
}

TEST_F(ExternalToolsTest, ArchivesMadeByZipReadBack) {
    if (!ToolOnPath("zip")) GTEST_SKIP() << "zip is not installed";
    const std::string text = TextContent(500000, 12);
    WriteFileBytes(dir / "z" / "Inbox.dbx", text);
    WriteFileBytes(dir / "z" / "quillet.dat", "BackupItem=1\r\n");
    std::string output;
    ASSERT_EQ(RunCommand("cd " + ShellQuote((dir / "z").string()) +
                             " && zip -q -6 ../made-by-zip.zip Inbox.dbx quillet.dat",
                         &output),
              0)
        << output;
    ZipArchive archive;
    ASSERT_TRUE(archive.LoadArchive(dir / "made-by-zip.zip").ok());
    EXPECT_TRUE(archive.verifyEntries().ok());
    ASSERT_TRUE(archive.ExtractEntryTo("Inbox.dbx", dir / "Inbox.dbx").ok());
    EXPECT_EQ(ReadFileBytes(dir / "Inbox.dbx"), text);
}

}  // namespace
}  // namespace quillet::archive
