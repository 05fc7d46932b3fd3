#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "archive/zip_archive.h"
#include "archive_test_files.h"
#include "support/faulty_file_operations.h"
#include "support/temp_dir.h"

namespace quillet::archive {
namespace {

using quillet::testing::FaultyFileOperations;
using quillet::testing::FileCall;
using quillet::testing::FolderListing;
using quillet::testing::ReadFileBytes;
using quillet::testing::TempDir;
using quillet::testing::WriteFileBytes;

// The archive libzip wrote into the temporary is flushed before it is renamed over the previous
// backup; when that rename fails, the previous backup stays and the temporary goes.
TEST(ZipArchiveFaultTest, SaveWhoseRenameFailsKeepsThePreviousBackupAndNoTemporary) {
    TempDir dir;
    const auto target = dir / "backup.qbk";
    WriteFileBytes(dir / "Inbox.dbx", "messages");
    WriteFileBytes(target, "the previous backup");
    const std::vector<std::string> listing = FolderListing(dir.path());
    FaultyFileOperations files;
    files.failRenameTo("backup.qbk", EIO);
    ZipArchive archive(files);
    ASSERT_TRUE(archive.CreateArchive(target).ok());
    ASSERT_TRUE(archive.AddFileEntry(dir / "Inbox.dbx").ok());

    const Status saved = archive.SaveArchive();
    EXPECT_EQ(saved.reason(), "Cannot save the archive '" + target.string() + "': Cannot write " +
                                  target.string() + ": Input/output error");
    EXPECT_EQ(ReadFileBytes(target), "the previous backup");
    EXPECT_EQ(FolderListing(dir.path()), listing);

    const std::vector<FileCall> flushes = files.callsOf({"fsync"});
    ASSERT_EQ(flushes.size(), 1u);
    const std::filesystem::path temporary = flushes[0].path;
    EXPECT_EQ(files.callsOf({"fsync", "rename", "unlink"}),
              (std::vector<FileCall>{{"fsync", temporary, {}, ""},
                                     {"rename", temporary, target, "failed"},
                                     {"unlink", temporary, {}, ""}}));
}

}  // namespace
}  // namespace quillet::archive
