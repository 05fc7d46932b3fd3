// Backups that were damaged or made by someone else: nothing may be written outside the
// folders an item restores into, and a damaged item leaves what it would replace as it was.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "archive/zip_archive.h"
#include "backup/restore_run.h"
#include "backup/restore_test_world.h"
#include "backup/run_environment.h"
#include "registry/registry_text.h"
#include "support/archive/fake_archive.h"
#include "support/archive/generated_archive.h"
#include "support/platform/faulty_file_operations.h"

namespace quillet::testing {
namespace {
namespace fs = std::filesystem;

using Lines = std::vector<std::pair<std::string, std::string>>;

class RestoreHostileTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(world.ready()); }

    // The entry names an opened backup gives each item.
    std::array<std::string, kItemCount> entryNames(const fs::path& file,
                                                   const std::string& password = "") {
        TempDir work;
        archive::ZipArchive zip;
        OpenedBackup backup(zip, work.path());
        std::array<std::string, kItemCount> names;
        EXPECT_TRUE(backup.open(file, password).ok());
        for (int i = 0; i < kItemCount; ++i) names[i] = backup.entryNames(i);
        return names;
    }

    // Flips one byte in the middle of an entry's stored data.
    void damageEntry(const fs::path& file, const std::string& entry) {
        std::string bytes = ReadFileBytes(file);
        const std::optional<ZipEntryData> data = FindEntryData(bytes, entry);
        ASSERT_TRUE(data) << entry;
        ASSERT_GT(data->size, 8u) << entry;
        bytes[data->offset + data->size / 2] ^= 0x5a;
        WriteFileBytes(file, bytes);
    }

    SamplePrefixWorld world;
    fs::path backupFile = world.temp / "main.qbk";
};

// The items whose information-file keys name entries, and the flags that hold just that item.
struct HostileItem {
    int index;
    const char* key;
    const char* flags;
};
constexpr HostileItem kHostileItems[] = {
    {kMessages, "BackupMails", "00010000"},
    {kStationeries, "BackupStationeries", "00000010"},
    {kAddressBook, "BackupAddressBook", "01000000"},
    {kRules, "BackupRules", "00100000"},
    {kAccounts, "BackupAccounts", "10000000"},
};

// Every information file of the hostile corpus (tests/data/hostile/information): one that cannot
// be read as an information file makes the backup invalid; one naming something that is not a
// plain entry name fails the items that name it. Nothing is written either way.
TEST_F(RestoreHostileTest, HostileInformationFilesMakeTheBackupInvalidOrFailTheirItems) {
    constexpr int kAllNamed[] = {kAccounts, kAddressBook, kRules, kMessages, kStationeries};
    struct Hostile {
        const char* file;
        bool refused;               // the backup is invalid
        std::vector<int> failed{};  // else: the items that fail
    };
    const std::vector<int> allNamed(std::begin(kAllNamed), std::end(kAllNamed));
    const Hostile corpus[] = {
        {"syntax-binary-junk.dat", true},
        {"syntax-bom-utf8.dat", true},
        {"syntax-item-flags-cut-by-nul.dat", true},
        {"syntax-item-flags-empty.dat", true},
        {"syntax-item-flags-long.dat", true},
        {"syntax-item-flags-short.dat", true},
        {"list-with-empty-name.dat", false, allNamed},
        {"list-with-parent.dat", false, allNamed},
        {"list-naming-the-information-file.dat", false, allNamed},
        {"syntax-lone-cr.dat", true},
        {"syntax-no-equals.dat", true},
        {"syntax-no-item-line.dat", true},
        {"path-absolute.dat", false, allNamed},
        {"path-backslash.dat", false, allNamed},
        {"path-control-character.dat", false, allNamed},
        {"path-dot-dot.dat", false, allNamed},
        {"path-drive-letter.dat", false, allNamed},
        {"path-drive-relative.dat", false, allNamed},
        {"path-parent-backslash.dat", false, allNamed},
        {"path-parent.dat", false, allNamed},
        {"path-stream.dat", false, allNamed},
        {"path-unc.dat", false, allNamed},
        {"syntax-utf16le.dat", true},
    };
    const fs::path folder = TestDataDir() / "hostile/information";
    std::set<std::string> listed;
    for (const Hostile& hostile : corpus) listed.insert(hostile.file);
    std::set<std::string> present;
    for (const auto& entry : fs::directory_iterator(folder)) {
        present.insert(entry.path().filename().string());
    }
    EXPECT_EQ(present, listed) << "every file of the corpus has its expected outcome here";

    int number = 0;
    for (const Hostile& hostile : corpus) {
        SCOPED_TRACE(hostile.file);
        const fs::path file = world.temp / ("hostile" + std::to_string(++number) + ".qbk");
        // Entries for the names the files hold where they are plain, so that only the names
        // themselves fail.
        PackArchive(file, {{"x.dbx", "QLTSTORE planted\r\n"},
                           {"Inbox.dbx", "QLTSTORE planted inbox\r\n"},
                           {"quillet.dat", ReadFileBytes(folder / hostile.file)}});
        const TreeSnapshot before = SnapshotTree(world.temp.path());
        const RestoreResult restored = world.restore(file, kSampleZoeIdentity, ItemsOf("all"));
        if (hostile.refused) {
            EXPECT_TRUE(restored.opened.is(ErrorKind::kCorrupt)) << restored.opened.reason();
            EXPECT_EQ(restored.opened.reason(), kInvalidBackupMessage);
            EXPECT_TRUE(restored.outcome.started.is(ErrorKind::kCorrupt));
        } else {
            ASSERT_TRUE(restored.opened.ok()) << restored.opened.reason();
            for (int i = 0; i < kItemCount; ++i) {
                const bool fails = std::find(hostile.failed.begin(), hostile.failed.end(), i) !=
                                   hostile.failed.end();
                EXPECT_EQ(restored.outcome.items[i].ran, fails) << i;
                if (fails) {
                    EXPECT_FALSE(restored.outcome.items[i].succeeded) << i;
                }
            }
        }
        EXPECT_EQ(ChangedPaths(before, SnapshotTree(world.temp.path())),
                  std::vector<std::string>{});
    }
}

TEST_F(RestoreHostileTest, ItemNamesThatAreNotPlainAreRefusedEvenWhenTheArchiveHoldsThem) {
    // An archive that lets any name through: the handlers must refuse on their own. Only
    // relative names here, so that a handler that did not refuse would still write inside the
    // test's folder.
    const char* const names[] = {"..\\..\\x.dbx", "../../x.dbx", "a\\..\\..\\x.dbx",
                                 "Inbox.dbx;../x.dbx", ".."};
    std::unique_ptr<system::WineSystem> system = world.openSystem();
    ASSERT_TRUE(system);
    auto run = RunEnvironment::Create(*system, world.env);
    ASSERT_TRUE(run.ok()) << run.reason();
    archive::FakeArchive fake;
    const ItemContext& real = (*run)->context();
    ItemContext context{real.system, fake, real.workFolder, real.informationFile, {}};
    for (const char* name : names) {
        for (const HostileItem& item : kHostileItems) {
            archive::FakeArchive::StoredArchive stored;
            std::string list = name;
            for (std::size_t start = 0; start <= list.size();) {
                std::size_t end = list.find(';', start);
                if (end == std::string::npos) end = list.size();
                stored.entries.emplace_back(list.substr(start, end - start), "QLTSTORE planted");
                start = end + 1;
            }
            stored.entries.emplace_back(
                "quillet.dat", InformationText({{"BackupItem", item.flags}, {item.key, name}}));
            fake.putArchive(world.temp / "fake.qbk", stored);
            OpenedBackup backup(fake, real.workFolder);
            ASSERT_TRUE(backup.open(world.temp / "fake.qbk", "").ok()) << name;

            const TreeSnapshot before = SnapshotTree(world.temp.path());
            const RestoreOutcome outcome =
                RunRestore(context, backup, {kSampleZoeIdentity, ItemsOf("all")}, nullptr);
            EXPECT_TRUE(outcome.items[item.index].ran) << name << " " << item.key;
            EXPECT_FALSE(outcome.items[item.index].succeeded) << name << " " << item.key;
            EXPECT_EQ(ChangedPaths(before, SnapshotTree(world.temp.path())),
                      std::vector<std::string>{})
                << name << " " << item.key;
        }
    }
    for (const std::string& call : fake.calls()) {
        if (call.rfind("ExtractEntryTo", 0) == 0) {
            EXPECT_NE(call.find("(quillet.dat, "), std::string::npos) << call;
        }
    }
}

TEST_F(RestoreHostileTest, DamagedEntryFailsItsItemAndKeepsWhatItWouldReplace) {
    for (const std::string password : {"", "secret"}) {
        SCOPED_TRACE(password.empty() ? "unprotected" : "protected");
        SamplePrefixWorld fresh;
        ASSERT_TRUE(fresh.ready());
        const fs::path file = fresh.temp / "damaged.qbk";
        fresh.backup(kSampleMainIdentity, ItemsOf("all"), file, password);
        const std::array<std::string, kItemCount> names = entryNames(file, password);
        for (const std::string& entry : {std::string("Inbox.dbx"), std::string("quillet.wab"),
                                         std::string("Ivy.htm"), names[kRules]}) {
            damageEntry(file, entry);
        }
        const fs::path store = fresh.storeFolder(kSampleZoeIdentity);
        WriteFileBytes(fresh.addressBook(), "QLTWAB live book");
        WriteFileBytes(fresh.stationeryFolder() / "Ivy.htm", "<html>live</html>");
        const std::string inbox = ReadFileBytes(store / "Inbox.dbx");
        const std::string rules = fresh.exportKey(SampleVersionKey(kSampleZoeIdentity, "\\Rules"));
        std::map<std::string, std::string> storeBefore = FilesIn(store);

        const RestoreResult restored =
            fresh.restore(file, kSampleZoeIdentity, ItemsOf("all"), password);
        ASSERT_TRUE(restored.opened.ok());
        EXPECT_EQ(restored.outcome.report(),
                  "\r\nRestore Accounts\tSuccessed!\r\nRestore Adress Book\tFail!"
                  "\r\nRestore Rules\tFail!\r\nRestore Messages\tFail!"
                  "\r\nRestore Block Senders\tSuccessed!\r\nRestore Signatures\tSuccessed!"
                  "\r\nRestore Stationeries\tFail!\r\nRestore Settings\tSuccessed!")
            << restored.failures();
        EXPECT_EQ(ReadFileBytes(fresh.addressBook()), "QLTWAB live book");
        EXPECT_EQ(FilesIn(fresh.addressBookFolder()).size(), 1u);
        EXPECT_EQ(ReadFileBytes(fresh.stationeryFolder() / "Ivy.htm"), "<html>live</html>");
        EXPECT_EQ(ReadFileBytes(store / "Inbox.dbx"), inbox);
        EXPECT_EQ(fresh.exportKey(SampleVersionKey(kSampleZoeIdentity, "\\Rules")), rules);
        // No half-written file is left.
        std::map<std::string, std::string> storeAfter = FilesIn(store);
        EXPECT_EQ(storeAfter.size(), storeBefore.size());
        for (const auto& [name, bytes] : storeAfter)
            EXPECT_TRUE(storeBefore.contains(name)) << name;
        EXPECT_EQ(FilesIn(fresh.stationeryFolder()).size(), 3u);
    }
}

TEST_F(RestoreHostileTest, ArchiveCutShortFailsWhatItNoLongerHolds) {
    world.backup(kSampleMainIdentity, ItemsOf("all"), backupFile);
    const std::string whole = ReadFileBytes(backupFile);
    const std::optional<ZipEntryData> inboxData = FindEntryData(whole, "Inbox.dbx");
    ASSERT_TRUE(inboxData);
    const std::size_t cut = inboxData->offset + inboxData->size / 2;
    const fs::path store = world.storeFolder(kSampleZoeIdentity);
    WriteFileBytes(world.stationeryFolder() / "Ivy.htm", "<html>live</html>");
    const std::string inbox = ReadFileBytes(store / "Inbox.dbx");
    const std::string settings = world.exportKey(SampleVersionKey(kSampleZoeIdentity, "\\Mail"));

    // Cut before it is opened: not a backup at all.
    const fs::path early = world.temp / "early.qbk";
    WriteFileBytes(early, whole.substr(0, cut));
    TreeSnapshot before = SnapshotTree(world.prefix);
    const RestoreResult refused = world.restore(early, kSampleZoeIdentity, ItemsOf("all"));
    EXPECT_TRUE(refused.opened.is(ErrorKind::kCorrupt));
    EXPECT_TRUE(refused.outcome.started.is(ErrorKind::kCorrupt));
    EXPECT_EQ(ChangedPaths(before, SnapshotTree(world.prefix)), std::vector<std::string>{});

    // Cut after it was opened: the entries from the cut on can no longer be read.
    std::unique_ptr<system::WineSystem> system = world.openSystem();
    ASSERT_TRUE(system);
    auto run = RunEnvironment::Create(*system, world.env);
    ASSERT_TRUE(run.ok()) << run.reason();
    OpenedBackup backup((*run)->archive(), (*run)->context().workFolder);
    ASSERT_TRUE(backup.open(backupFile, "").ok());
    fs::resize_file(backupFile, cut);
    const RestoreOutcome outcome =
        RunRestore((*run)->context(), backup, {kSampleZoeIdentity, ItemsOf("all")}, nullptr);
    EXPECT_TRUE(outcome.items[kAccounts].succeeded) << outcome.items[kAccounts].failure;
    EXPECT_TRUE(outcome.items[kAddressBook].succeeded) << outcome.items[kAddressBook].failure;
    for (int i : {kMessages, kBlockSenders, kSignatures, kStationeries, kSettings}) {
        EXPECT_TRUE(outcome.items[i].ran) << i;
        EXPECT_FALSE(outcome.items[i].succeeded) << i;
    }
    EXPECT_EQ(ReadFileBytes(store / "Inbox.dbx"), inbox);
    EXPECT_EQ(ReadFileBytes(world.stationeryFolder() / "Ivy.htm"), "<html>live</html>");
    EXPECT_EQ(FilesIn(world.stationeryFolder()).size(), 3u);
    run->reset();
    system.reset();
    EXPECT_EQ(world.exportKey(SampleVersionKey(kSampleZoeIdentity, "\\Mail")), settings);
}

TEST_F(RestoreHostileTest, MalformedRegistryTextFailsTheItemAndKeepsTheKeyTree) {
    // Every kind of malformed line is refused by the registry text reader (its own tests go
    // through the corpus); here one file shows what the refusal does to the item.
    const std::string text =
        ReadFileBytes(TestDataDir() / "hostile/registry-text/dword-too-large.txt");
    ASSERT_FALSE(text.empty());
    struct Item {
        int index;
        const char* key;
        const char* flags;
        std::string target;
    };
    const Item items[] = {
        {kRules, "BackupRules", "00100000", SampleVersionKey(kSampleZoeIdentity, "\\Rules")},
        {kSettings, "BackupSettings", "00000001", SampleVersionKey(kSampleZoeIdentity, "\\Mail")},
        {kAccounts, "BackupAccounts", "10000000",
         "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts"},
    };
    int number = 0;
    for (const Item& item : items) {
        const fs::path file = world.temp / ("malformed" + std::to_string(++number) + ".qbk");
        PackArchive(file, {{"OBR1A.TMP", text},
                           {"quillet.dat", InformationText({{"BackupItem", item.flags},
                                                            {item.key, "OBR1A.TMP"}})}});
        const std::string tree = world.exportKey(item.target);
        const TreeSnapshot before = SnapshotTree(world.temp.path());
        const RestoreResult restored = world.restore(file, kSampleZoeIdentity, ItemsOf("all"));
        ASSERT_TRUE(restored.opened.ok());
        EXPECT_EQ(
            restored.outcome.report(),
            std::string("\r\n") + std::string(kItems[item.index].restoreReportName) + "\tFail!")
            << text;
        EXPECT_EQ(world.exportKey(item.target), tree) << text;
        EXPECT_EQ(ChangedPaths(before, SnapshotTree(world.temp.path())), std::vector<std::string>{})
            << text;
    }
}

// A registry entry beyond the size a registry text may have fails its item, unread, with the
// reason; the other items go on.
TEST_F(RestoreHostileTest, RegistryTextBeyondItsBoundFailsItsItemAndOthersGoOn) {
    const fs::path file = world.temp / "large.qbk";
    GeneratedEntry accounts{"OBA1.TMP", "\\\r\n", "\\Sub\r\n\"v\"= dw:1\r\n",
                            registry::kMaxRegistryTextBytes + 1};
    ASSERT_TRUE(WriteGeneratedArchive(
        file, {accounts, GeneratedEntry::Holding("quillet.wab", "QLTWAB the backed-up book"),
               GeneratedEntry::Holding("quillet.dat",
                                       InformationText({{"BackupItem", "11000000"},
                                                        {"BackupAccounts", "OBA1.TMP"},
                                                        {"BackupAddressBook", "quillet.wab"}}))}));
    const std::string accountsKey =
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts";
    const std::string tree = world.exportKey(accountsKey);

    FaultyFileOperations files;
    HandBuiltRun run(world, world.temp / "wine-tmp", files);
    OpenedBackup backup(run.archive, run.work.path());
    ASSERT_TRUE(backup.open(file, "").ok());
    const RestoreOutcome outcome =
        RunRestore(run.context, backup, {kSampleZoeIdentity, ItemsOf("all")}, nullptr);

    EXPECT_EQ(outcome.report(), "\r\nRestore Accounts\tFail!\r\nRestore Adress Book\tSuccessed!");
    EXPECT_EQ(outcome.items[kAccounts].failure,
              "the entry OBA1.TMP holds 8388609 bytes, more than the 8 MB a registry text file "
              "may hold");
    EXPECT_EQ(ReadFileBytes(world.addressBook()), "QLTWAB the backed-up book");
    EXPECT_EQ(world.exportKey(accountsKey), tree);
    for (const FileCall& call : files.callsOf({"open"})) {
        EXPECT_EQ(call.path.filename().string().find("OBA1.TMP"), std::string::npos)
            << call.path << ": the entry was extracted";
    }
    EXPECT_EQ(FolderListing(run.work.path()), std::vector<std::string>{});
}

}  // namespace
}  // namespace quillet::testing
