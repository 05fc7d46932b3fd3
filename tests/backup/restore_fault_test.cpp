#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "archive/zip_archive.h"
#include "backup/restore_run.h"
#include "backup/restore_test_world.h"
#include "platform/prefix_lock.h"
#include "platform/wine_server_probe.h"
#include "platform/work_folder.h"
#include "registry/mod_reg.h"
#include "registry/wine_prefix_registry.h"
#include "support/archive/backup_reader.h"
#include "support/platform/faulty_file_operations.h"
#include "support/platform/folder_snapshot.h"
#include "system/windows_path_mapper.h"

namespace quillet::testing {
namespace {
namespace fs = std::filesystem;

// A disk that fills up while a message store file is being extracted: the live file stays as it
// was, no temporary is left beside it, and the restore reports the item failed.
TEST(RestoreFaultTest, FullDiskWhileReplacingAMessageStoreKeepsTheLiveFile) {
    SamplePrefixWorld world;
    ASSERT_TRUE(world.ready());
    const fs::path backupFile = world.temp / "main.qbk";
    const BackupOutcome made = world.backup(kSampleMainIdentity, ItemsOf("messages"), backupFile);
    ASSERT_EQ(made.itemResult, "00010000") << made.report();
    ASSERT_GT(ReadFileBytes(world.storeFolder(kSampleMainIdentity) / "Inbox.dbx").size(), 64u);
    const fs::path liveInbox = world.storeFolder(kSampleZoeIdentity) / "Inbox.dbx";
    WriteFileBytes(liveInbox, "QLTSTORE the live store");

    FaultyFileOperations files;
    HandBuiltRun run(world, world.temp / "wine-tmp", files);
    OpenedBackup backup(run.archive, run.work.path());
    ASSERT_TRUE(backup.open(backupFile, "").ok());

    // The third write into Inbox.dbx's temporary, with some of the file written already.
    files.limitWriteSize(16);
    files.failWrite(3, "Inbox.dbx");
    const RestoreOutcome outcome =
        RunRestore(run.context, backup, {kSampleZoeIdentity, ItemsOf("messages")}, nullptr);

    EXPECT_EQ(outcome.report(), "\r\nRestore Messages\tFail!");
    EXPECT_NE(outcome.items[kMessages].failure.find("Cannot write " + liveInbox.string() +
                                                    ": No space left on device"),
              std::string::npos)
        << outcome.items[kMessages].failure;
    EXPECT_EQ(ReadFileBytes(liveInbox), "QLTSTORE the live store");
    for (const auto& entry : fs::directory_iterator(liveInbox.parent_path())) {
        EXPECT_EQ(entry.path().filename().string().find(".quillet-"), std::string::npos)
            << entry.path() << " was left behind";
    }
}

// A message store backup of three files whose third cannot be put in place: none of the live
// stores is replaced (no mix of restored and live stores), no temporary is left, and the item
// fails naming the third file.
struct ThirdStoreFault {
    const char* name;
    std::string password;
    bool damageEntry;  // else the disk fills up while the third store is written
};

void PrintTo(const ThirdStoreFault& fault, std::ostream* out) { *out << fault.name; }

class RestoreThirdStoreFaultTest : public ::testing::TestWithParam<ThirdStoreFault> {};

TEST_P(RestoreThirdStoreFaultTest, LeavesEveryLiveStoreAsItWas) {
    const ThirdStoreFault& fault = GetParam();
    SamplePrefixWorld world;
    ASSERT_TRUE(world.ready());
    const std::vector<std::pair<std::string, std::string>> stores = {
        {"Inbox.dbx", "QLTSTORE backed-up inbox " + std::string(300, 'i')},
        {"Sent Items.dbx", "QLTSTORE backed-up sent items " + std::string(300, 's')},
        {"Deleted Items.dbx", "QLTSTORE backed-up deleted items " + std::string(300, 'd')},
    };
    std::vector<std::pair<std::string, std::string>> entries = stores;
    entries.emplace_back(
        "quillet.dat",
        InformationText({{"BackupItem", "00010000"},
                         {"BackupMails", "Inbox.dbx;Sent Items.dbx;Deleted Items.dbx"}}));
    const fs::path backupFile = world.temp / "stores.qbk";
    PackArchive(backupFile, entries, fault.password);
    if (fault.damageEntry) {
        std::string bytes = ReadFileBytes(backupFile);
        const std::optional<ZipEntryData> data = FindEntryData(bytes, "Deleted Items.dbx");
        ASSERT_TRUE(data);
        bytes[data->offset + data->size / 2] ^= 0x5a;
        WriteFileBytes(backupFile, bytes);
    }
    const fs::path store = world.storeFolder(kSampleZoeIdentity);
    for (const auto& [name, bytes] : stores) WriteFileBytes(store / name, "QLTSTORE live " + name);
    const auto fileNames = [&store] {
        std::vector<std::string> names;
        for (const auto& [name, bytes] : FilesIn(store)) names.push_back(name);
        return names;
    };
    const std::vector<std::string> namesBefore = fileNames();

    FaultyFileOperations files;
    HandBuiltRun run(world, world.temp / "wine-tmp", files);
    OpenedBackup backup(run.archive, run.work.path());
    ASSERT_TRUE(backup.open(backupFile, fault.password).ok());
    if (!fault.damageEntry) files.failWrite(1, "Deleted Items.dbx");
    const RestoreOutcome outcome =
        RunRestore(run.context, backup, {kSampleZoeIdentity, ItemsOf("messages")}, nullptr);

    EXPECT_EQ(outcome.report(), "\r\nRestore Messages\tFail!");
    EXPECT_NE(outcome.items[kMessages].failure.find("\"Deleted Items.dbx\""), std::string::npos)
        << outcome.items[kMessages].failure;
    for (const auto& [name, bytes] : stores) {
        EXPECT_EQ(ReadFileBytes(store / name), "QLTSTORE live " + name) << name;
    }
    EXPECT_EQ(fileNames(), namesBefore) << "no temporary is left";
}

INSTANTIATE_TEST_SUITE_P(Faults, RestoreThirdStoreFaultTest,
                         ::testing::Values(ThirdStoreFault{"DamagedEntry", "", true},
                                           ThirdStoreFault{"DamagedProtectedEntry", "secret", true},
                                           ThirdStoreFault{"FullDisk", "", false}),
                         [](const ::testing::TestParamInfo<ThirdStoreFault>& info) {
                             return info.param.name;
                         });

}  // namespace
}  // namespace quillet::testing
