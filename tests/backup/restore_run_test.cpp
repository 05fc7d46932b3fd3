#include "backup/restore_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "archive/zip_archive.h"
#include "backup/restore_test_world.h"
#include "platform/prefix_lock.h"
#include "platform/wine_server_probe.h"
#include "platform/work_folder.h"
#include "registry/mod_reg.h"
#include "registry/wine_prefix_registry.h"
#include "support/platform/fake_wine_server.h"
#include "system/windows_path_mapper.h"

namespace quillet::testing {
namespace {
namespace fs = std::filesystem;

// The registry items below the version key, by their subkey.
const char* const kVersionSubkeys[] = {"\\Rules", "\\Block Senders", "\\signatures", "\\Mail"};

constexpr char kAllSucceeded[] =
    "\r\nRestore Accounts\tSuccessed!"
    "\r\nRestore Adress Book\tSuccessed!"
    "\r\nRestore Rules\tSuccessed!"
    "\r\nRestore Messages\tSuccessed!"
    "\r\nRestore Block Senders\tSuccessed!"
    "\r\nRestore Signatures\tSuccessed!"
    "\r\nRestore Stationeries\tSuccessed!"
    "\r\nRestore Settings\tSuccessed!";

class RestoreRunTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(world.ready()); }

    SamplePrefixWorld world;
    fs::path backupFile = world.temp / "main.qbk";
};

TEST_F(RestoreRunTest, EveryItemOfOneIdentityRestoresIntoAnotherExactly) {
    std::map<std::string, std::string> mainTrees;
    for (const char* subkey : kVersionSubkeys) {
        mainTrees[subkey] = world.exportKey(SampleVersionKey(kSampleMainIdentity, subkey));
    }
    const std::string mainAccounts =
        world.exportKey(SampleIdentityAccountsKey(kSampleMainIdentity));
    const std::map<std::string, std::string> mainStore =
        FilesIn(world.storeFolder(kSampleMainIdentity));
    const std::string book = ReadFileBytes(world.addressBook());
    const std::map<std::string, std::string> stationery = FilesIn(world.stationeryFolder());
    const fs::path zoeStore = world.storeFolder(kSampleZoeIdentity);
    const std::string zoeLog = ReadFileBytes(zoeStore / "cleanup.log");
    const std::string zoeArchived = ReadFileBytes(zoeStore / "Archive" / "Archive 2019.dbx");

    const BackupOutcome made = world.backup(kSampleMainIdentity, ItemsOf("all"), backupFile);
    ASSERT_EQ(made.itemResult, "11111111") << made.report();

    // What the restore must put back, changed after the backup.
    WriteFileBytes(world.addressBook(), "QLTWAB changed");
    WriteFileBytes(world.stationeryFolder() / "Ivy.htm", "<html>changed</html>");
    fs::remove(world.stationeryFolder() / "Chess.htm");
    WriteFileBytes(zoeStore / "Inbox.dbx", "QLTSTORE changed");

    const RestoreResult restored = world.restore(backupFile, kSampleZoeIdentity, ItemsOf("all"));
    ASSERT_TRUE(restored.opened.ok());
    ASSERT_TRUE(restored.outcome.started.ok()) << restored.failures();
    EXPECT_EQ(restored.outcome.report(), kAllSucceeded) << restored.failures();
    EXPECT_TRUE(restored.outcome.allSucceeded());

    for (const char* subkey : kVersionSubkeys) {
        EXPECT_EQ(world.exportKey(SampleVersionKey(kSampleZoeIdentity, subkey)), mainTrees[subkey])
            << subkey;
        EXPECT_EQ(world.exportKey(SampleVersionKey(kSampleMainIdentity, subkey)), mainTrees[subkey])
            << subkey;
    }
    // The second identity has no accounts key of its own: the shared one takes the accounts.
    EXPECT_FALSE(world.keyExists(SampleIdentityAccountsKey(kSampleZoeIdentity)));
    EXPECT_EQ(world.exportKey("HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account "
                              "Manager\\Accounts"),
              mainAccounts);
    EXPECT_EQ(world.exportKey(SampleIdentityAccountsKey(kSampleMainIdentity)), mainAccounts);

    // Every message store file of the first identity, byte for byte; nothing else in the folder.
    std::map<std::string, std::string> expectedStore = mainStore;
    expectedStore["cleanup.log"] = zoeLog;
    EXPECT_EQ(FilesIn(zoeStore), expectedStore);
    EXPECT_EQ(ReadFileBytes(zoeStore / "Archive" / "Archive 2019.dbx"), zoeArchived);
    EXPECT_EQ(ReadFileBytes(world.addressBook()), book);
    EXPECT_EQ(FilesIn(world.addressBookFolder()).size(), 1u);
    EXPECT_EQ(FilesIn(world.stationeryFolder()), stationery);
    EXPECT_TRUE(fs::exists(world.stationeryFolder() / "Extra" / "Lined Paper.htm"));
    // The run's work folder went with it.
    EXPECT_TRUE(fs::is_empty(world.tmp));
}

TEST_F(RestoreRunTest, AccountsGoBackIntoTheIdentitysOwnKey) {
    const std::string ownAccounts = world.exportKey(SampleIdentityAccountsKey(kSampleMainIdentity));
    const std::string shared = world.exportKey(
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts");
    world.backup(kSampleMainIdentity, ItemsOf("accounts"), backupFile);
    world.editUserReg("\"Account Name\"=\"Main Mail\"", "\"Account Name\"=\"Renamed\"");
    ASSERT_NE(world.exportKey(SampleIdentityAccountsKey(kSampleMainIdentity)), ownAccounts);

    const RestoreResult restored = world.restore(backupFile, kSampleMainIdentity, ItemsOf("all"));
    EXPECT_EQ(restored.outcome.report(), "\r\nRestore Accounts\tSuccessed!") << restored.failures();
    EXPECT_EQ(world.exportKey(SampleIdentityAccountsKey(kSampleMainIdentity)), ownAccounts);
    EXPECT_EQ(world.exportKey(
                  "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts"),
              shared);
}

TEST_F(RestoreRunTest, OnlyTickedItemsTheBackupHoldsRun) {
    world.backup(kSampleMainIdentity, ItemsOf("addressbook"), world.temp / "book.qbk");
    world.backup(kSampleMainIdentity, ItemsOf("accounts,rules"), backupFile);
    struct Case {
        const char* name;
        fs::path file;
        const char* ticked;
        std::string report;
    };
    const Case cases[] = {
        {"select all on an address book backup", world.temp / "book.qbk", "all",
         "\r\nRestore Adress Book\tSuccessed!"},
        {"rules ticked of accounts and rules", backupFile, "rules",
         "\r\nRestore Rules\tSuccessed!"},
        {"accounts ticked", backupFile, "accounts", "\r\nRestore Accounts\tSuccessed!"},
        {"ticked items the backup lacks", backupFile, "addressbook,messages,settings", ""},
    };
    for (const Case& c : cases) {
        RecordingProgress progress;
        const RestoreResult restored =
            world.restore(c.file, kSampleZoeIdentity, ItemsOf(c.ticked), "", &progress);
        EXPECT_TRUE(restored.outcome.started.ok()) << c.name;
        EXPECT_EQ(restored.outcome.report(), c.report) << c.name << "\n" << restored.failures();
        // The bar moves by fixed steps whatever ran, and ends at its maximum.
        EXPECT_EQ(progress.values, (std::vector<int>{5, 15, 25, 40, 50, 65, 80, 90, 100}))
            << c.name;
        ASSERT_FALSE(progress.statuses.empty()) << c.name;
        EXPECT_EQ(progress.statuses.back(), "Operation complete!") << c.name;
    }

    RecordingProgress progress;
    world.restore(backupFile, kSampleZoeIdentity, ItemsOf("all"), "", &progress);
    EXPECT_EQ(progress.statuses,
              (std::vector<std::string>{"Copying Accounts...", "Copying Rules...",
                                        "Operation complete!"}));
}

TEST_F(RestoreRunTest, NothingTickedRestoresNothing) {
    world.backup(kSampleMainIdentity, ItemsOf("all"), backupFile);
    WriteFileBytes(world.addressBook(), "QLTWAB changed");
    const TreeSnapshot before = SnapshotTree(world.prefix);
    RecordingProgress progress;
    const RestoreResult restored =
        world.restore(backupFile, kSampleZoeIdentity, ItemsOf("00000000"), "", &progress);
    EXPECT_TRUE(restored.opened.ok());
    EXPECT_TRUE(restored.outcome.started.is(ErrorKind::kBadInput));
    EXPECT_EQ(restored.outcome.report(), "");
    EXPECT_TRUE(progress.values.empty());
    EXPECT_EQ(ChangedPaths(before, SnapshotTree(world.prefix)), std::vector<std::string>{});
    EXPECT_EQ(std::string(kSelectItemMessage), "Please select at least one item.");
}

TEST_F(RestoreRunTest, FailedItemIsReportedAndTheRunGoesOn) {
    world.backup(kSampleMainIdentity, ItemsOf("all"), backupFile);
    fs::remove(world.addressBook());
    const RestoreResult restored = world.restore(backupFile, kSampleZoeIdentity, ItemsOf("all"));
    std::string expected = kAllSucceeded;
    const std::string bookLine = "Restore Adress Book\tSuccessed!";
    expected.replace(expected.find(bookLine), bookLine.size(), "Restore Adress Book\tFail!");
    EXPECT_EQ(restored.outcome.report(), expected) << restored.failures();
    EXPECT_FALSE(restored.outcome.allSucceeded());
    EXPECT_FALSE(restored.outcome.items[kAddressBook].failure.empty());
    EXPECT_FALSE(fs::exists(world.addressBook()));
    EXPECT_TRUE(FilesIn(world.addressBookFolder()).empty());
}

TEST_F(RestoreRunTest, RunningWineServerRefusesTheRestoreAndChangesNothing) {
    world.backup(kSampleMainIdentity, ItemsOf("all"), backupFile);
    WriteFileBytes(world.addressBook(), "QLTWAB changed");
    const fs::path wineTmp = world.temp / "wine-tmp";
    fs::create_directories(wineTmp);

    HandBuiltRun run(world, wineTmp);
    OpenedBackup backup(run.archive, run.work.path());
    ASSERT_TRUE(backup.open(backupFile, "").ok());

    const TreeSnapshot before = SnapshotTree(world.prefix);
    {
        FakeWineServer server(StandardServerLockFile(wineTmp, world.prefix));
        ASSERT_TRUE(server.locked());
        const RestoreOutcome outcome =
            RunRestore(run.context, backup, {kSampleZoeIdentity, ItemsOf("all")}, nullptr);
        EXPECT_TRUE(outcome.started.is(ErrorKind::kInUse));
        EXPECT_NE(outcome.started.reason().find("Wine"), std::string::npos)
            << outcome.started.reason();
        EXPECT_EQ(outcome.report(), "");
        EXPECT_FALSE(outcome.allSucceeded());
        EXPECT_EQ(ChangedPaths(before, SnapshotTree(world.prefix)), std::vector<std::string>{});
    }
    // The same opened backup restores once the server is gone.
    const RestoreOutcome outcome =
        RunRestore(run.context, backup, {kSampleZoeIdentity, ItemsOf("all")}, nullptr);
    EXPECT_TRUE(outcome.started.ok());
    EXPECT_EQ(outcome.report(), kAllSucceeded);
    EXPECT_NE(ReadFileBytes(world.addressBook()), "QLTWAB changed");
}

TEST_F(RestoreRunTest, RestoredFilesAreOrdinaryFilesWhateverTheModesBackedUp) {
    const fs::path mainStore = world.storeFolder(kSampleMainIdentity);
    const fs::path zoeStore = world.storeFolder(kSampleZoeIdentity);
    std::vector<fs::path> readOnly{world.addressBook(), world.stationeryFolder() / "Ivy.htm",
                                   world.stationeryFolder() / "Ivy.gif"};
    for (const auto& [name, bytes] : FilesIn(mainStore)) readOnly.push_back(mainStore / name);
    for (const auto& [name, bytes] : FilesIn(zoeStore)) readOnly.push_back(zoeStore / name);
    for (const fs::path& file : readOnly) fs::permissions(file, fs::perms(0444));
    const std::string inbox = ReadFileBytes(mainStore / "Inbox.dbx");

    world.backup(kSampleMainIdentity, ItemsOf("addressbook,messages,stationery"), backupFile);
    fs::permissions(backupFile, fs::perms(0444));
    const RestoreResult restored = world.restore(backupFile, kSampleZoeIdentity, ItemsOf("all"));
    ASSERT_EQ(restored.outcome.report(),
              "\r\nRestore Adress Book\tSuccessed!\r\nRestore Messages\tSuccessed!"
              "\r\nRestore Stationeries\tSuccessed!")
        << restored.failures();

    std::vector<fs::path> restoredFiles{world.addressBook(), world.stationeryFolder() / "Ivy.htm",
                                        world.stationeryFolder() / "Chess.htm"};
    for (const auto& [name, bytes] : FilesIn(mainStore)) {
        if (name != "cleanup.log") restoredFiles.push_back(zoeStore / name);
    }
    for (const fs::path& file : restoredFiles) {
        struct stat info {};
        ASSERT_EQ(::lstat(file.c_str(), &info), 0) << file;
        EXPECT_TRUE(S_ISREG(info.st_mode)) << file;
        EXPECT_EQ(info.st_mode & 0600, 0600u) << file;
        EXPECT_EQ(info.st_mode & 0133, 0u) << file << " no execute bits, not writable by others";
        EXPECT_EQ(info.st_uid, ::geteuid()) << file;
    }
    EXPECT_EQ(ReadFileBytes(zoeStore / "Inbox.dbx"), inbox);
}

}  // namespace
}  // namespace quillet::testing
