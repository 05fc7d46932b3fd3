// quillet-cli restore on the sample prefix: the report, refusals and the dry run.
#include <gtest/gtest.h>

#include <filesystem>

#include "cli/password_input.h"
#include "cli/sample_prefix_cli.h"
#include "support/platform/folder_snapshot.h"

namespace quillet::testing {
namespace {
namespace fs = std::filesystem;

class RestoreCommandTest : public SamplePrefixCliTest {
  protected:
    void SetUp() override {
        SamplePrefixCliTest::SetUp();
        WriteFileBytes(temp / "right.txt", "right horse\n");
        WriteFileBytes(temp / "wrong.txt", "wrong horse\n");
    }
    void backUp(const std::string& items, const fs::path& file,
                std::vector<std::string> more = {}) {
        std::vector<std::string> arguments{
            "backup", "--identity", kSampleMainIdentity, "--out", file.string(), "--items", items};
        arguments.insert(arguments.end(), more.begin(), more.end());
        const CliRun made = run(arguments);
        ASSERT_EQ(made.exitCode, 0) << made.err;
    }
    std::string exportKey(const std::string& key) {
        const fs::path file = temp / "export.txt";
        const CliRun exported = run({"reg", "export", key, file.string()});
        EXPECT_EQ(exported.exitCode, 0) << exported.err;
        return ReadFileBytes(file);
    }
    fs::path storeFolder(const char* identity) const { return SampleStoreFolder(prefix, identity); }
    fs::path addressBook() const { return SampleAddressBook(prefix); }

    fs::path backupFile = temp / "main.qbk";
};

TEST_F(RestoreCommandTest, RestoreReportsEveryItemAndExitsZero) {
    backUp("all", backupFile);
    const CliRun restored = run({"restore", backupFile.string(), "--identity", kSampleZoeUserName});
    EXPECT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_EQ(restored.out,
              "Restore Accounts\tSuccessed!\nRestore Adress Book\tSuccessed!\n"
              "Restore Rules\tSuccessed!\nRestore Messages\tSuccessed!\n"
              "Restore Block Senders\tSuccessed!\nRestore Signatures\tSuccessed!\n"
              "Restore Stationeries\tSuccessed!\nRestore Settings\tSuccessed!\n"
              "The Restore was Completed!\n");
    EXPECT_EQ(ReadFileBytes(storeFolder(kSampleZoeIdentity) / "Inbox.dbx"),
              ReadFileBytes(storeFolder(kSampleMainIdentity) / "Inbox.dbx"));
    EXPECT_EQ(exportKey(SampleVersionKey(kSampleZoeIdentity, "\\signatures")),
              exportKey(SampleVersionKey(kSampleMainIdentity, "\\signatures")));
}

TEST_F(RestoreCommandTest, FailedItemExitsOneAndNamesTheItem) {
    backUp("addressbook,rules", backupFile);
    fs::remove(addressBook());
    const CliRun restored = run({"restore", backupFile.string(), "--identity", kSampleZoeIdentity});
    EXPECT_EQ(restored.exitCode, 1) << restored.err;
    EXPECT_EQ(restored.out,
              "Restore Adress Book\tFail!\nRestore Rules\tSuccessed!\n"
              "The Restore was Completed!\n");
    EXPECT_EQ(restored.err.rfind("quillet-cli: Restore Adress Book: ", 0), 0u) << restored.err;
    EXPECT_EQ(restored.err.find('\n'), restored.err.size() - 1) << restored.err;
}

TEST_F(RestoreCommandTest, RefusalsExitTwoAndChangeNothing) {
    backUp("all", backupFile);
    backUp("all", temp / "locked.qbk", {"--password-file", (temp / "right.txt").string()});
    backUp("accounts", temp / "accounts.qbk");
    WriteFileBytes(temp / "text.qbk", "BackupItem=11111111\r\n");
    fs::copy_file(backupFile, temp / "cut.qbk");
    fs::resize_file(temp / "cut.qbk", fs::file_size(backupFile) / 2);
    WriteFileBytes(addressBook(), "QLTWAB changed");
    const TreeSnapshot before = SnapshotTree(prefix);

    struct Case {
        std::vector<std::string> arguments;
        std::string reason;
    };
    const std::string locked = (temp / "locked.qbk").string();
    const Case cases[] = {
        {{"restore", locked, "--identity", kSampleZoeIdentity, "--password-file",
          (temp / "wrong.txt").string()},
         cli::kWrongPasswordText},
        {{"restore", (temp / "text.qbk").string(), "--identity", kSampleZoeIdentity},
         cli::kNotABackupText},
        {{"restore", (temp / "cut.qbk").string(), "--identity", kSampleZoeIdentity},
         cli::kNotABackupText},
        {{"restore", backupFile.string(), "--identity", "Nobody"}, "\"Nobody\""},
        {{"restore", backupFile.string(), "--identity", kSampleZoeIdentity, "--items", "00000000"},
         "quillet-cli: Please select at least one item.\n"},
        {{"restore", (temp / "accounts.qbk").string(), "--identity", kSampleZoeIdentity, "--items",
          "rules"},
         "quillet-cli: the backup holds none of the items asked for\n"},
        {{"restore", backupFile.string(), "--identity", kSampleZoeIdentity, "--items", "mail"},
         "unknown item"},
        {{"restore", (temp / "missing.qbk").string(), "--identity", kSampleZoeIdentity},
         "missing.qbk"},
        {{"restore", backupFile.string()}, "--identity"},
    };
    for (const Case& c : cases) {
        const CliRun result = run(c.arguments);
        EXPECT_EQ(result.exitCode, 2) << c.reason << "\n" << result.err;
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
        EXPECT_EQ(result.out.find("Successed"), std::string::npos) << result.out;
        EXPECT_EQ(SnapshotTree(prefix), before) << c.reason;
    }

    const CliRun unlocked = run({"restore", locked, "--identity", kSampleZoeIdentity, "--items",
                                 "addressbook", "--password-file", (temp / "right.txt").string()});
    EXPECT_EQ(unlocked.exitCode, 0) << unlocked.err;
    EXPECT_NE(ReadFileBytes(addressBook()), "QLTWAB changed");
}

TEST_F(RestoreCommandTest, DryRunListsTheTargetsAndChangesNothing) {
    backUp("all", backupFile);
    fs::remove_all(SampleStationeryFolder(prefix));
    WriteFileBytes(storeFolder(kSampleZoeIdentity) / "Inbox.dbx", "QLTSTORE changed");
    const TreeSnapshot before = SnapshotTree(prefix);

    const CliRun planned =
        run({"restore", backupFile.string(), "--identity", kSampleZoeIdentity, "--dry-run"});
    EXPECT_EQ(planned.exitCode, 0) << planned.err;
    EXPECT_EQ(SnapshotTree(prefix), before);
    const std::string& out = planned.out;
    for (const std::string& expected :
         {std::string("Restore Accounts\n  replace key HKEY_CURRENT_USER\\Software\\Microsoft\\"
                      "Internet Account Manager\\Accounts with "),
          "Restore Rules\n  replace key " + SampleVersionKey(kSampleZoeIdentity, "\\Rules") +
              " with ",
          "  replace key " + SampleVersionKey(kSampleZoeIdentity, "\\signatures") + " with ",
          "  replace file " + (storeFolder(kSampleZoeIdentity) / "Inbox.dbx").string() +
              " with Inbox.dbx\n",
          "  replace file " + addressBook().string() + " with quillet.wab\n",
          "Restore Stationeries\n  create folder " + SampleStationeryFolder(prefix).string() +
              "\n"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\nin:\n" << out;
    }
    EXPECT_EQ(out.find("Successed"), std::string::npos) << out;

    fs::remove(addressBook());
    const CliRun failing = run({"restore", backupFile.string(), "--identity", kSampleZoeIdentity,
                                "--dry-run", "--items", "addressbook,rules"});
    EXPECT_EQ(failing.exitCode, 1) << failing.err;
    EXPECT_NE(failing.out.find("Restore Adress Book\n  would fail: "), std::string::npos)
        << failing.out;
    EXPECT_FALSE(fs::exists(addressBook()));
}

TEST_F(RestoreCommandTest, DryRunRefusesWhatTheRestoreWouldRefuse) {
    backUp("accounts", backupFile);
    struct Case {
        std::vector<std::string> arguments;
        std::string reason;
    };
    const Case cases[] = {
        {{"--items", "00000000"}, "quillet-cli: Please select at least one item.\n"},
        {{"--items", "rules"}, "quillet-cli: the backup holds none of the items asked for\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments{"restore", backupFile.string(), "--identity",
                                           kSampleZoeIdentity};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const CliRun real = run(arguments);
        EXPECT_EQ(real.exitCode, 2) << c.reason;
        EXPECT_EQ(real.err, c.reason);

        arguments.push_back("--dry-run");
        const CliRun planned = run(arguments);
        EXPECT_EQ(planned.exitCode, real.exitCode) << c.reason;
        EXPECT_EQ(planned.err, real.err) << c.reason;
    }
}

TEST_F(RestoreCommandTest, ItemsOptionRestoresOnlyThoseItems) {
    backUp("all", backupFile);
    const fs::path zoeStore = storeFolder(kSampleZoeIdentity);
    const TreeSnapshot storeBefore = SnapshotTree(zoeStore);
    const std::string signatures = exportKey(SampleVersionKey(kSampleZoeIdentity, "\\signatures"));
    const std::string settings = exportKey(SampleVersionKey(kSampleZoeIdentity, "\\Mail"));
    const std::string shared =
        exportKey("HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts");
    WriteFileBytes(addressBook(), "QLTWAB changed");
    ASSERT_NE(exportKey(SampleVersionKey(kSampleZoeIdentity, "\\Rules")),
              exportKey(SampleVersionKey(kSampleMainIdentity, "\\Rules")));

    const CliRun restored =
        run({"restore", backupFile.string(), "--identity", kSampleZoeIdentity, "--items", "rules"});
    EXPECT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_EQ(restored.out, "Restore Rules\tSuccessed!\nThe Restore was Completed!\n");
    EXPECT_EQ(exportKey(SampleVersionKey(kSampleZoeIdentity, "\\Rules")),
              exportKey(SampleVersionKey(kSampleMainIdentity, "\\Rules")));
    EXPECT_EQ(SnapshotTree(zoeStore), storeBefore);
    EXPECT_EQ(exportKey(SampleVersionKey(kSampleZoeIdentity, "\\signatures")), signatures);
    EXPECT_EQ(exportKey(SampleVersionKey(kSampleZoeIdentity, "\\Mail")), settings);
    EXPECT_EQ(
        exportKey("HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts"),
        shared);
    EXPECT_EQ(ReadFileBytes(addressBook()), "QLTWAB changed");
}

}  // namespace
}  // namespace quillet::testing
