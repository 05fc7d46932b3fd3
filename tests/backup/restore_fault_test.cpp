#include <gtest/gtest.h>

#include <string>

#include "archive/zip_archive.h"
#include "backup/restore_run.h"
#include "backup/restore_test_world.h"
#include "platform/prefix_lock.h"
#include "platform/windows_path_mapper.h"
#include "platform/wine_server_probe.h"
#include "platform/work_folder.h"
#include "registry/mod_reg.h"
#include "registry/wine_prefix_registry.h"
#include "support/faulty_file_operations.h"

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

}  // namespace
}  // namespace quillet::testing
