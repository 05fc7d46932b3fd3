#include "backup/restore_handlers.h"

#include <gtest/gtest.h>

#include <ctime>
#include <functional>

#include "backup/restore_test_world.h"
#include "backup/run_environment.h"
#include "registry/mod_reg.h"
#include "support/archive/generated_archive.h"
#include "support/platform/faulty_file_operations.h"

namespace quillet::testing {
namespace {
namespace fs = std::filesystem;

constexpr char kSharedAccounts[] =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts";
constexpr char kBookValueLine[] =
    R"(@="C:\\users\\quillet\\Application Data\\Microsoft\\Address Book\\quillet.wab")";

class RestoreHandlersTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(world.ready()); }

    // Changes the registry through a run of its own, committed before the next run reads it.
    void changeRegistry(const std::function<void(registry::ModReg&)>& change) {
        std::unique_ptr<system::WineSystem> system = world.openSystem();
        ASSERT_TRUE(system);
        registry::ModReg modReg(system->registry(), PlainMessages(world.messages));
        registry::ModReg::Batch batch(modReg);
        change(modReg);
        ASSERT_TRUE(batch.commit().ok());
    }

    // A backup holding these entries and an information file with these lines.
    fs::path craft(const std::string& name,
                   const std::vector<std::pair<std::string, std::string>>& information,
                   std::vector<std::pair<std::string, std::string>> entries) {
        const fs::path file = world.temp / name;
        entries.emplace_back("quillet.dat", InformationText(information));
        PackArchive(file, entries);
        return file;
    }

    SamplePrefixWorld world;
    fs::path backupFile = world.temp / "main.qbk";
};

TEST_F(RestoreHandlersTest, AddressBookTakesTheNameOfTheCurrentOne) {
    fs::rename(world.addressBook(), world.addressBookFolder() / "a.wab");
    world.editUserReg("quillet.wab\"", "a.wab\"");
    const std::string saved = ReadFileBytes(world.addressBookFolder() / "a.wab");
    world.backup(kSampleMainIdentity, ItemsOf("addressbook"), backupFile);

    fs::rename(world.addressBookFolder() / "a.wab", world.addressBookFolder() / "b.wab");
    WriteFileBytes(world.addressBookFolder() / "b.wab", "QLTWAB the book of another machine");
    world.editUserReg("a.wab\"", "b.wab\"");

    const RestoreResult restored = world.restore(backupFile, kSampleMainIdentity, ItemsOf("all"));
    EXPECT_EQ(restored.outcome.report(), "\r\nRestore Adress Book\tSuccessed!")
        << restored.failures();
    EXPECT_EQ(FilesIn(world.addressBookFolder()),
              (std::map<std::string, std::string>{{"b.wab", saved}}));
}

TEST_F(RestoreHandlersTest, AddressBookFailsWithoutACurrentBook) {
    world.backup(kSampleMainIdentity, ItemsOf("addressbook"), backupFile);
    struct Case {
        const char* name;
        std::function<void(SamplePrefixWorld&)> change;
    };
    const Case cases[] = {
        {"book file missing", [](SamplePrefixWorld& w) { fs::remove(w.addressBook()); }},
        {"no value", [](SamplePrefixWorld& w) { w.editUserReg(kBookValueLine, ""); }},
        {"empty value", [](SamplePrefixWorld& w) { w.editUserReg(kBookValueLine, "@=\"\""); }},
        {"value names a folder",
         [](SamplePrefixWorld& w) { w.editUserReg("\\\\quillet.wab\"", "\""); }},
        {"value on no drive", [](SamplePrefixWorld& w) { w.editUserReg("@=\"C:", "@=\"Q:"); }},
        {"relative value", [](SamplePrefixWorld& w) { w.editUserReg("@=\"C:\\\\", "@=\""); }},
    };
    for (const Case& c : cases) {
        SamplePrefixWorld fresh;
        ASSERT_TRUE(fresh.ready());
        c.change(fresh);
        const TreeSnapshot before = SnapshotTree(fresh.temp.path() / "prefix");
        const RestoreResult restored =
            fresh.restore(backupFile, kSampleMainIdentity, ItemsOf("all"));
        EXPECT_EQ(restored.outcome.report(), "\r\nRestore Adress Book\tFail!") << c.name;
        EXPECT_FALSE(restored.outcome.items[kAddressBook].failure.empty()) << c.name;
        EXPECT_EQ(ChangedPaths(before, SnapshotTree(fresh.prefix)), std::vector<std::string>{})
            << c.name;
    }
}

TEST_F(RestoreHandlersTest, MissingStationeryFolderIsCreatedButNotItsParents) {
    const std::map<std::string, std::string> stationery = FilesIn(world.stationeryFolder());
    world.backup(kSampleMainIdentity, ItemsOf("stationery"), backupFile);

    fs::remove_all(world.stationeryFolder());
    RestoreResult restored = world.restore(backupFile, kSampleMainIdentity, ItemsOf("all"));
    EXPECT_EQ(restored.outcome.report(), "\r\nRestore Stationeries\tSuccessed!")
        << restored.failures();
    EXPECT_EQ(FilesIn(world.stationeryFolder()), stationery);

    const fs::path shared = world.stationeryFolder().parent_path();
    fs::remove_all(shared);
    const TreeSnapshot before = SnapshotTree(world.prefix);
    restored = world.restore(backupFile, kSampleMainIdentity, ItemsOf("all"));
    EXPECT_EQ(restored.outcome.report(), "\r\nRestore Stationeries\tFail!");
    EXPECT_FALSE(fs::exists(shared));
    EXPECT_EQ(ChangedPaths(before, SnapshotTree(world.prefix)), std::vector<std::string>{});
}

TEST_F(RestoreHandlersTest, FileItemsLeaveFilesTheBackupDoesNotHoldAlone) {
    world.backup(kSampleMainIdentity, ItemsOf("messages,stationery"), backupFile);
    const fs::path store = world.storeFolder(kSampleMainIdentity);
    WriteFileBytes(store / "Local.dbx", "QLTSTORE made after the backup");
    WriteFileBytes(world.stationeryFolder() / "Mine.htm", "<html>mine</html>");
    WriteFileBytes(store / "Inbox.dbx", "QLTSTORE changed");
    std::map<std::string, std::string> storeAfter = FilesIn(store);
    std::map<std::string, std::string> stationeryAfter = FilesIn(world.stationeryFolder());
    // A killed restore's half-written temporary goes; it is never restored on.
    WriteFileBytes(world.stationeryFolder() / ".Mine.htm.quillet-2147483647-abcdefgh", "half");
    const TreeSnapshot extraBefore = SnapshotTree(world.stationeryFolder() / "Extra");
    const TreeSnapshot archivedBefore = SnapshotTree(store / "Archive");

    const RestoreResult restored = world.restore(backupFile, kSampleMainIdentity, ItemsOf("all"));
    EXPECT_EQ(restored.outcome.report(),
              "\r\nRestore Messages\tSuccessed!\r\nRestore Stationeries\tSuccessed!")
        << restored.failures();
    const std::map<std::string, std::string> storeRestored = FilesIn(store);
    EXPECT_EQ(storeRestored.at("Local.dbx"), storeAfter.at("Local.dbx"));
    EXPECT_EQ(storeRestored.at("cleanup.log"), storeAfter.at("cleanup.log"));
    EXPECT_NE(storeRestored.at("Inbox.dbx"), "QLTSTORE changed");
    EXPECT_EQ(storeRestored.size(), storeAfter.size());
    EXPECT_EQ(FilesIn(world.stationeryFolder()), stationeryAfter);
    EXPECT_EQ(SnapshotTree(world.stationeryFolder() / "Extra"), extraBefore);
    EXPECT_EQ(SnapshotTree(store / "Archive"), archivedBefore);
}

TEST_F(RestoreHandlersTest, MessagesReplaceStoreFilesWhoseNamesDifferOnlyInCase) {
    const fs::path file =
        craft("case.qbk", {{"BackupItem", "00010000"}, {"BackupMails", "INBOX.DBX;offline.dbx"}},
              {{"INBOX.DBX", "QLTSTORE inbox from the backup"},
               {"offline.dbx", "QLTSTORE offline from the backup"}});
    const fs::path store = world.storeFolder(kSampleZoeIdentity);
    std::map<std::string, std::string> expected = FilesIn(store);
    expected["Inbox.dbx"] = "QLTSTORE inbox from the backup";
    expected["Offline.DBX"] = "QLTSTORE offline from the backup";

    const RestoreResult restored = world.restore(file, kSampleZoeIdentity, ItemsOf("all"));
    EXPECT_EQ(restored.outcome.report(), "\r\nRestore Messages\tSuccessed!") << restored.failures();
    EXPECT_EQ(FilesIn(store), expected);
}

// The store folder is listed once for all the files restored into it, not once for each file.
TEST_F(RestoreHandlersTest, MessagesListTheirFolderOnce) {
    const fs::path file =
        craft("three.qbk", {{"BackupItem", "00010000"}, {"BackupMails", "a.dbx;b.dbx;c.dbx"}},
              {{"a.dbx", "QLTSTORE a"}, {"b.dbx", "QLTSTORE b"}, {"c.dbx", "QLTSTORE c"}});
    FaultyFileOperations files;
    HandBuiltRun run(world, world.temp / "wine-tmp", files);
    run.system.files = &files;
    OpenedBackup backup(run.archive, run.work.path());
    ASSERT_TRUE(backup.open(file, "").ok());
    ASSERT_TRUE(RestoreHandlers(run.context, backup).run(kMessages, kSampleZoeIdentity).ok());
    int listings = 0;
    for (const FileCall& call : files.callsOf({"listFolder"})) {
        listings += call.path == world.storeFolder(kSampleZoeIdentity) ? 1 : 0;
    }
    EXPECT_EQ(listings, 1);
}

TEST_F(RestoreHandlersTest, EmptyMessageListSucceedsRestoringNothing) {
    const fs::path file = craft("none.qbk", {{"BackupItem", "00010000"}, {"BackupMails", ""}}, {});
    const TreeSnapshot before = SnapshotTree(world.prefix);
    const RestoreResult restored = world.restore(file, kSampleZoeIdentity, ItemsOf("all"));
    EXPECT_EQ(restored.outcome.report(), "\r\nRestore Messages\tSuccessed!") << restored.failures();
    EXPECT_EQ(ChangedPaths(before, SnapshotTree(world.prefix)), std::vector<std::string>{});
}

// A backup of tens of thousands of message files plans in a moment: each name is found by an
// index, in the archive and in the store folder, not by a scan of every entry or file.
TEST_F(RestoreHandlersTest, SixtyThousandMessageFilesPlanInAMoment) {
    constexpr int kFiles = 60000;
    std::vector<GeneratedEntry> entries;
    std::string names;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = "Folder" + std::to_string(i) + ".dbx";
        entries.push_back(GeneratedEntry::Holding(name, "x"));
        entries.back().deflated = false;
        names += (i == 0 ? "" : ";") + name;
    }
    entries.push_back(GeneratedEntry::Holding(
        "quillet.dat", InformationText({{"BackupItem", "00010000"}, {"BackupMails", names}})));
    ASSERT_TRUE(WriteGeneratedArchive(backupFile, entries));
    const fs::path store = world.storeFolder(kSampleZoeIdentity);
    WriteFileBytes(store / "FOLDER7.DBX", "a live store file named in other case");

    HandBuiltRun run(world, world.temp / "wine-tmp");
    OpenedBackup backup(run.archive, run.work.path());
    ASSERT_TRUE(backup.open(backupFile, "").ok());
    RestoreHandlers handlers(run.context, backup);
    // Processor time, which a busy machine does not stretch as it does the time on the clock.
    const std::clock_t start = std::clock();
    const RestoreTarget target = handlers.plan(kMessages, kSampleZoeIdentity);
    const long milliseconds = (std::clock() - start) * 1000L / CLOCKS_PER_SEC;
    RecordProperty("plan_milliseconds", static_cast<int>(milliseconds));

    ASSERT_TRUE(target.ok) << target.failure;
    ASSERT_EQ(target.files.size(), static_cast<std::size_t>(kFiles));
    EXPECT_EQ(target.files[7].second, store / "FOLDER7.DBX");
    EXPECT_EQ(target.files.back().second, store / "Folder59999.dbx");
    // Well under a second with the sanitizers; comparing every name with every entry took a minute.
    EXPECT_LT(milliseconds, 5000);
}

TEST_F(RestoreHandlersTest, MessagesFailWithoutAUsableStoreFolder) {
    world.backup(kSampleMainIdentity, ItemsOf("messages"), backupFile);
    const std::string storeRoot = R"("Store Root"=str(2):"%UserProfile%\\Local Settings)";
    struct Case {
        const char* name;
        std::string from;
        std::string to;
    };
    const Case cases[] = {
        {"variable spelt otherwise", "%UserProfile%", "%USERPROFILE%"},
        {"no store root", storeRoot, R"("Other Root"=str(2):"%UserProfile%\\Local Settings)"},
        {"store folder missing", storeRoot,
         R"("Store Root"=str(2):"%UserProfile%\\Missing\\Local Settings)"},
    };
    for (const Case& c : cases) {
        SamplePrefixWorld fresh;
        ASSERT_TRUE(fresh.ready());
        // Only the second identity's Store Root is changed.
        std::string text = ReadFileBytes(fresh.userReg());
        const std::size_t zoe = text.find(std::string("[Identities\\\\") + kSampleZoeIdentity);
        ASSERT_NE(zoe, std::string::npos);
        const std::size_t at = text.find(c.from, zoe);
        ASSERT_NE(at, std::string::npos) << c.name;
        text.replace(at, c.from.size(), c.to);
        WriteFileBytes(fresh.userReg(), text);

        const TreeSnapshot before = SnapshotTree(fresh.prefix);
        const RestoreResult restored =
            fresh.restore(backupFile, kSampleZoeIdentity, ItemsOf("all"));
        EXPECT_EQ(restored.outcome.report(), "\r\nRestore Messages\tFail!") << c.name;
        EXPECT_EQ(ChangedPaths(before, SnapshotTree(fresh.prefix)), std::vector<std::string>{})
            << c.name;
    }
}

TEST_F(RestoreHandlersTest, AccountsWithoutAnyAccountsKeyCreateTheSharedOne) {
    const std::string mainAccounts =
        world.exportKey(SampleIdentityAccountsKey(kSampleMainIdentity));
    world.backup(kSampleMainIdentity, ItemsOf("accounts"), backupFile);
    changeRegistry([](registry::ModReg& modReg) { modReg.DeleteKeyTree(kSharedAccounts); });
    ASSERT_FALSE(world.keyExists(kSharedAccounts));

    const RestoreResult restored = world.restore(backupFile, kSampleZoeIdentity, ItemsOf("all"));
    EXPECT_EQ(restored.outcome.report(), "\r\nRestore Accounts\tSuccessed!") << restored.failures();
    EXPECT_EQ(world.exportKey(kSharedAccounts), mainAccounts);
    EXPECT_FALSE(world.keyExists(SampleIdentityAccountsKey(kSampleZoeIdentity)));
}

TEST_F(RestoreHandlersTest, RegistryItemsReplaceTheTreeBelowTheFirstVersionKey) {
    const std::string rules = world.exportKey(SampleVersionKey(kSampleMainIdentity, "\\Rules"));
    world.backup(kSampleMainIdentity, ItemsOf("rules"), backupFile);
    const std::string oe = std::string("HKEY_CURRENT_USER\\Identities\\") + kSampleZoeIdentity +
                           "\\Software\\Microsoft\\Outlook Express";
    changeRegistry([&](registry::ModReg& modReg) {
        ASSERT_EQ(modReg.CreateKey(oe + "\\6.0"), registry::kErrorSuccess);
        ASSERT_EQ(modReg.CreateKey(oe + "\\5.0\\Rules\\News\\999"), registry::kErrorSuccess);
    });

    const RestoreResult restored = world.restore(backupFile, kSampleZoeIdentity, ItemsOf("all"));
    EXPECT_EQ(restored.outcome.report(), "\r\nRestore Rules\tSuccessed!") << restored.failures();
    EXPECT_EQ(world.exportKey(oe + "\\5.0\\Rules"), rules);
    EXPECT_FALSE(world.keyExists(oe + "\\6.0\\Rules"));
}

TEST_F(RestoreHandlersTest, IdentityWithoutVersionKeyFailsEveryItemThatNeedsIt) {
    world.backup(kSampleMainIdentity, ItemsOf("all"), backupFile);
    changeRegistry([](registry::ModReg& modReg) {
        modReg.DeleteKeyTree(SampleVersionKey(kSampleZoeIdentity));
    });
    const TreeSnapshot before = SnapshotTree(world.prefix);
    const RestoreResult restored = world.restore(
        backupFile, kSampleZoeIdentity, ItemsOf("rules,messages,blocksenders,signatures,settings"));
    EXPECT_EQ(restored.outcome.report(),
              "\r\nRestore Rules\tFail!\r\nRestore Messages\tFail!\r\nRestore Block "
              "Senders\tFail!\r\nRestore Signatures\tFail!\r\nRestore Settings\tFail!");
    EXPECT_EQ(ChangedPaths(before, SnapshotTree(world.prefix)), std::vector<std::string>{});
    EXPECT_FALSE(world.keyExists(SampleVersionKey(kSampleZoeIdentity)));
}

TEST_F(RestoreHandlersTest, PlanNamesEveryTargetAndChangesNothing) {
    world.backup(kSampleMainIdentity, ItemsOf("all"), backupFile);
    fs::remove_all(world.stationeryFolder());
    const TreeSnapshot before = SnapshotTree(world.prefix);

    std::unique_ptr<system::WineSystem> system = world.openSystem();
    ASSERT_TRUE(system);
    auto run = RunEnvironment::Create(*system, world.env);
    ASSERT_TRUE(run.ok()) << run.reason();
    OpenedBackup backup((*run)->archive(), (*run)->context().workFolder);
    ASSERT_TRUE(backup.open(backupFile, "").ok());
    RestoreHandlers handlers((*run)->context(), backup);

    struct Case {
        int index;
        const char* identity;
        std::string key;
    };
    const Case registryCases[] = {
        {kAccounts, kSampleZoeIdentity, kSharedAccounts},
        {kAccounts, kSampleMainIdentity, SampleIdentityAccountsKey(kSampleMainIdentity)},
        {kRules, kSampleZoeIdentity, SampleVersionKey(kSampleZoeIdentity, "\\Rules")},
        {kBlockSenders, kSampleZoeIdentity,
         SampleVersionKey(kSampleZoeIdentity, "\\Block Senders")},
        {kSignatures, kSampleZoeIdentity, SampleVersionKey(kSampleZoeIdentity, "\\signatures")},
        {kSettings, kSampleZoeIdentity, SampleVersionKey(kSampleZoeIdentity, "\\Mail")},
    };
    for (const Case& c : registryCases) {
        const RestoreTarget target = handlers.plan(c.index, c.identity);
        EXPECT_TRUE(target.ok) << c.index << ": " << target.failure;
        EXPECT_EQ(target.registryKey, c.key) << c.index;
        EXPECT_EQ(target.registryEntry, backup.entryNames(c.index)) << c.index;
        EXPECT_TRUE(target.files.empty()) << c.index;
    }

    const RestoreTarget book = handlers.plan(kAddressBook, kSampleZoeIdentity);
    ASSERT_TRUE(book.ok) << book.failure;
    EXPECT_EQ(
        book.files,
        (std::vector<std::pair<std::string, fs::path>>{{"quillet.wab", world.addressBook()}}));

    const RestoreTarget messages = handlers.plan(kMessages, kSampleZoeIdentity);
    ASSERT_TRUE(messages.ok) << messages.failure;
    ASSERT_EQ(messages.files.size(), 8u);
    for (const auto& [entry, destination] : messages.files) {
        EXPECT_EQ(destination, world.storeFolder(kSampleZoeIdentity) / entry);
    }

    const RestoreTarget stationery = handlers.plan(kStationeries, kSampleZoeIdentity);
    ASSERT_TRUE(stationery.ok) << stationery.failure;
    EXPECT_EQ(stationery.folderToCreate, world.stationeryFolder());
    EXPECT_EQ(stationery.files.size(), 3u);

    EXPECT_EQ(ChangedPaths(before, SnapshotTree(world.prefix)), std::vector<std::string>{});
}

}  // namespace
}  // namespace quillet::testing
