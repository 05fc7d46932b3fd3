// quillet-cli backup, info, list and verify on the sample prefix, and our backups in the common
// zip tools (each tool test is skipped when the tool is not installed).

#include <gtest/gtest.h>

#include "cli/commands.h"
#include "cli/password_input.h"
#include "cli/sample_prefix_cli.h"
#include "schedule/run_log.h"
#include "schedule/scheduled_run.h"
#include "support/archive/backup_reader.h"
#include "support/platform/fake_environment.h"
#include "support/platform/shell_command.h"

namespace quillet::testing {
namespace {

class CliBackupTest : public SamplePrefixCliTest {
  protected:
    void SetUp() override {
        SamplePrefixCliTest::SetUp();
        WriteFileBytes(passwordFile, "PASSWORD\n");
    }
    // Backs up the main identity into `file`; the run must succeed.
    void backup(const std::string& file, std::vector<std::string> more = {}) {
        std::vector<std::string> arguments{"backup", "--identity", "Main Identity", "--out", file};
        arguments.insert(arguments.end(), more.begin(), more.end());
        const CliRun result = run(arguments);
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }
    std::vector<std::string> list(const std::string& file) {
        const CliRun result = runAsGiven({"list", file});
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return Lines(result.out);
    }
    // The same with work file numbers masked.
    std::vector<std::string> maskedList(const std::string& file) {
        std::vector<std::string> names = list(file);
        for (std::string& name : names) name = MaskWorkFileNames(name);
        return names;
    }

    std::string passwordFile = (temp / "password.txt").string();
};

TEST_F(CliBackupTest, UnzipListsAndTestsTheBackup) {
    if (!ToolOnPath("unzip")) GTEST_SKIP() << "unzip is not installed";
    const std::string file = (temp / "main.qbk").string();
    backup(file);
    std::string listing;
    ASSERT_EQ(RunCommand("unzip -Z1 " + ShellQuote(file), &listing), 0) << listing;
    EXPECT_EQ(Lines(listing), list(file));
    std::string table;
    EXPECT_EQ(RunCommand("unzip -l " + ShellQuote(file), &table), 0) << table;
    for (const std::string& name : Lines(listing)) {
        EXPECT_NE(table.find(" " + name + "\n"), std::string::npos) << name << "\n" << table;
    }
    std::string tested;
    EXPECT_EQ(RunCommand("unzip -tq " + ShellQuote(file), &tested), 0) << tested;
}

TEST_F(CliBackupTest, SevenZipReadsTheProtectedBackupOnlyWithItsPassword) {
    if (!ToolOnPath("7z")) GTEST_SKIP() << "7z is not installed (package p7zip-full)";
    const std::string file = (temp / "protected.qbk").string();
    backup(file, {"--password-file", passwordFile});
    std::string tested;
    EXPECT_EQ(RunCommand("7z t -pPASSWORD " + ShellQuote(file), &tested), 0) << tested;
    EXPECT_NE(tested.find("Everything is Ok"), std::string::npos) << tested;
    std::string details;
    ASSERT_EQ(RunCommand("7z l -slt -pPASSWORD " + ShellQuote(file), &details), 0) << details;
    EXPECT_NE(details.find("Method = AES-256"), std::string::npos) << "never the old zip cipher";
    EXPECT_EQ(details.find("ZipCrypto"), std::string::npos) << details;

    std::string rejected;
    EXPECT_NE(RunCommand("7z t -pWRONG " + ShellQuote(file), &rejected), 0) << rejected;
}

TEST_F(CliBackupTest, VerifyFailsAfterOneByteOfAnEntryChanged) {
    for (const bool protectedBackup : {true, false}) {
        SCOPED_TRACE(protectedBackup ? "protected" : "not protected");
        const std::string file =
            (temp / (protectedBackup ? "protected.qbk" : "plain.qbk")).string();
        std::vector<std::string> more;
        if (protectedBackup) more = {"--password-file", passwordFile};
        backup(file, more);
        std::vector<std::string> verify{"verify", file};
        verify.insert(verify.end(), more.begin(), more.end());
        const CliRun sound = runAsGiven(verify);
        EXPECT_EQ(sound.exitCode, 0) << sound.err;
        EXPECT_NE(sound.out.find("all sound"), std::string::npos) << sound.out;

        std::string bytes = ReadFileBytes(file);
        const ZipEntryData data = LocateEntryData(bytes, 0);
        ASSERT_GT(data.size, 40u);
        bytes[data.offset + data.size / 2] ^= 0x20;
        WriteFileBytes(file, bytes);
        const CliRun damaged = runAsGiven(verify);
        EXPECT_EQ(damaged.exitCode, 2) << damaged.out;
        EXPECT_EQ(damaged.err.rfind("quillet-cli: ", 0), 0u) << damaged.err;
    }
}

TEST_F(CliBackupTest, InfoOfAScheduledBackupShowsNoComputerOrUser) {
    const std::string file = (temp / "auto.qbk").string();
    ASSERT_EQ(
        RunScheduledBackup({.prefix = prefix.string(), .windowsRoot = {}, .user = {}},
                           std::string("sf=") + kSampleMainIdentity + "xm=00000001ps=bf=" + file,
                           FakeEnvironment({{"HOME", (temp / "home").string()}})),
        0);
    // The run is recorded in the state folder of the environment given, not of the real home.
    EXPECT_TRUE(std::filesystem::exists(temp / "home/.local/state/quillet" / kRunLogName));
    const CliRun info = runAsGiven({"info", file});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    const std::vector<std::string> lines = Lines(info.out);
    ASSERT_GE(lines.size(), 9u) << info.out;
    EXPECT_EQ(lines[0], "File:" + file);
    EXPECT_EQ(lines[1], "Computer:");
    EXPECT_EQ(lines[2], "User:");
    EXPECT_EQ(lines[3], "Identity:Auto Backup");
    EXPECT_EQ(lines[4].rfind("Date:", 0), 0u);
    EXPECT_GT(lines[4].size(), 5u);
    EXPECT_EQ(lines[5], "Protected:no");
    EXPECT_EQ(lines[6], "Description:Auto Backup");
    EXPECT_EQ(lines[7], "Items:00000001");
    EXPECT_EQ(lines[8].rfind("  settings\tOBS", 0), 0u) << lines[8];
}

TEST_F(CliBackupTest, InfoShowsTheDescriptionWithItsLineBreaks) {
    struct Case {
        std::string description;
        std::string shown;
    };
    const Case cases[] = {
        {"first\nsecond", "Description:\nfirst\nsecond\n"},
        {"first\r\nsecond", "Description:\nfirst\nsecond\n"},
        {"one PS$QLB two", "Description:\none \n two\n"},
        {"one line", "Description:one line\n"},
        {"", "Description:\n"},
        // Other control characters reach the terminal escaped.
        {"red \x1b[31mtext\x07", "Description:red \\x1b[31mtext\\x07\n"},
        {"tab\tand del\x7f", "Description:tab\\x09and del\\x7f\n"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.description);
        const std::string file = (temp / ("d" + std::to_string(n++) + ".qbk")).string();
        backup(file, {"--items", "addressbook", "--description", c.description, "--password-file",
                      passwordFile});
        const CliRun info = runAsGiven({"info", file, "--password-file", passwordFile});
        ASSERT_EQ(info.exitCode, 0) << info.err;
        EXPECT_NE(info.out.find("\nIdentity:Main Identity\n"), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("\nProtected:yes\n"), std::string::npos) << info.out;
        EXPECT_NE(info.out.find("\n" + c.shown + "Items:01000000\n  addressbook\tquillet.wab\n"),
                  std::string::npos)
            << info.out;
    }
}

TEST_F(CliBackupTest, InfoRefusesAWrongPassword) {
    const std::string file = (temp / "protected.qbk").string();
    backup(file, {"--items", "settings", "--password-file", passwordFile});
    WriteFileBytes(temp / "wrong.txt", "password\n");
    const CliRun info =
        runAsGiven({"info", file, "--password-file", (temp / "wrong.txt").string()});
    EXPECT_EQ(info.exitCode, 2);
    EXPECT_EQ(info.err, "quillet-cli: " + std::string(cli::kWrongPasswordText) + " " + file + "\n")
        << info.err;
}

TEST_F(CliBackupTest, ListShowsEntriesInItemOrderWhateverTheOrderAskedFor) {
    const std::string file = (temp / "some.qbk").string();
    backup(file, {"--items", "settings,addressbook,accounts"});
    EXPECT_EQ(maskedList(file),
              (std::vector<std::string>{"OBA#.TMP", "quillet.wab", "OBS#.TMP", "quillet.dat"}));

    backup(file, {"--items", "00100010"});
    const std::vector<std::string> names = maskedList(file);
    ASSERT_EQ(names.size(), 5u);
    EXPECT_EQ(names[0], "OBR#.TMP");
    EXPECT_EQ(names[4], "quillet.dat");
}

TEST_F(CliBackupTest, BadInputExitsWithTwoAndLeavesTheBackupFileAlone) {
    const std::string file = (temp / "main.qbk").string();
    WriteFileBytes(file, "the previous backup");
    WriteFileBytes(temp / "empty-password.txt", "\n");
    WriteFileBytes(temp / "no-bytes.txt", "");
    WriteFileBytes(temp / "crlf-only.txt", "\r\nsecond line\r\n");
    struct Case {
        std::vector<std::string> arguments;
        std::string reason;
    };
    const Case cases[] = {
        {{"--items", "accounts,mail"}, "unknown item"},
        {{"--items", "1010"}, "unknown item"},
        {{"--items", "accounts;rules"}, "unknown item"},
        {{"--items", ""}, "unknown item"},
        {{"--items", "111111112"}, "unknown item"},
        {{"--items", "00000000"}, "Please select at least one item."},
        {{"--password-file", (temp / "empty-password.txt").string()}, "empty password"},
        {{"--password-file", (temp / "no-bytes.txt").string()}, "empty password"},
        {{"--password-file", (temp / "crlf-only.txt").string()}, "empty password"},
        {{"--password-file", "/dev/null"}, "empty password"},
        {{"--password-file", (temp / "missing.txt").string()}, "missing.txt"},
        {{"--password-file", temp.path().string()}, "is a folder, not a file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        std::vector<std::string> arguments{"backup", "--identity", "Main Identity", "--out", file};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const CliRun result = run(arguments);
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
        EXPECT_EQ(ReadFileBytes(file), "the previous backup");
    }
    const CliRun unknown =
        run({"backup", "--identity", "Nobody", "--out", file, "--items", "settings"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("no Outlook Express identity \"Nobody\""), std::string::npos)
        << unknown.err;
    EXPECT_EQ(ReadFileBytes(file), "the previous backup");
}

TEST_F(CliBackupTest, AFailedItemExitsWithOneAndStillWritesTheBackup) {
    std::filesystem::remove_all(SampleStationeryFolder(prefix));
    const std::string file = (temp / "main.qbk").string();
    const CliRun result = run({"backup", "--identity", kSampleMainIdentity, "--out", file,
                               "--items", "addressbook,stationery"});
    EXPECT_EQ(result.exitCode, 1) << result.err;
    const std::string summary = std::string(cli::kBackupSummaryText) + "2 entries, ";
    EXPECT_EQ(result.out.substr(0, result.out.find(summary)),
              "Backup Adress Book\tSuccessed!\nBackup Stationeries\tFail!\n"
              "The Backup was Completed!\n")
        << "then the summary: entries, bytes read, bytes written, time";
    EXPECT_NE(result.err.find("Backup Stationeries: "), std::string::npos) << result.err;
    EXPECT_EQ(list(file), (std::vector<std::string>{"quillet.wab", "quillet.dat"}));
}

}  // namespace
}  // namespace quillet::testing
