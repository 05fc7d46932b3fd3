#include <gtest/gtest.h>

#include <cerrno>
#include <span>
#include <string>
#include <vector>

#include "archive/zip_archive.h"
#include "archive/zip_reader.h"
#include "archive_test_files.h"
#include "support/archive/generated_archive.h"
#include "support/platform/faulty_file_operations.h"
#include "support/platform/temp_dir.h"

namespace quillet::archive {
namespace {

using quillet::testing::FaultyFileOperations;
using quillet::testing::FileCall;
using quillet::testing::FolderListing;
using quillet::testing::GeneratedEntry;
using quillet::testing::ReadFileBytes;
using quillet::testing::TempDir;
using quillet::testing::WriteFileBytes;
using quillet::testing::WriteGeneratedArchive;

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

// A write that fails while an entry is extracted is told apart from a damaged entry: a full disk
// says so and names the folder, so that a sound backup is not taken for a bad one.
TEST(ZipArchiveFaultTest, ExtractionTellsAFullDiskFromOtherWriteFailures) {
    TempDir dir;
    const auto backup = dir / "backup.qbk";
    ASSERT_TRUE(WriteGeneratedArchive(
        backup, {GeneratedEntry::Holding("Inbox.dbx", testing::TextContent(200 * 1024, 7))}));
    const auto folder = dir / "restore";
    std::filesystem::create_directories(folder);
    const auto destination = folder / "Inbox.dbx";
    struct Case {
        int error;
        ErrorKind kind;
        std::string reason;
    };
    const Case cases[] = {
        {ENOSPC, ErrorKind::kDiskFull,
         "Cannot extract \"Inbox.dbx\": the disk is full: no room left in " + folder.string() +
             " (Cannot write " + destination.string() + ": No space left on device)"},
        {EDQUOT, ErrorKind::kDiskFull,
         "Cannot extract \"Inbox.dbx\": the disk is full: no room left in " + folder.string() +
             " (Cannot write " + destination.string() + ": Disk quota exceeded)"},
        {EIO, ErrorKind::kIo,
         "Cannot extract \"Inbox.dbx\": Cannot write " + destination.string() +
             ": Input/output error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        FaultyFileOperations files;
        files.failWrite(1, "Inbox.dbx", c.error);
        ZipArchive archive(files);
        ASSERT_TRUE(archive.LoadArchive(backup).ok());
        const Status extracted = archive.ExtractEntryTo("Inbox.dbx", destination);
        EXPECT_TRUE(extracted.is(c.kind));
        EXPECT_EQ(extracted.reason(), c.reason);
        EXPECT_EQ(FolderListing(folder), std::vector<std::string>{}) << "a temporary was left";
    }
}

// An entry that inflates past the size its directory record gives is stopped there, whatever its
// compressed data would still produce: the record bounds what reading it can cost.
TEST(ZipArchiveFaultTest, EntryInflatingPastItsRecordedSizeIsStoppedThere) {
    TempDir dir;
    const auto backup = dir / "backup.qbk";
    GeneratedEntry bomb;
    bomb.name = "quillet.dat";
    bomb.pattern = "BackupItem=11111111\r\n";
    bomb.size = 8 * 1024 * 1024;
    ASSERT_TRUE(WriteGeneratedArchive(backup, {bomb}));
    // The uncompressed size, in the local header (offset 22) and the central directory record
    // (offset 24), made to say 4096 bytes.
    std::string bytes = ReadFileBytes(backup);
    constexpr std::uint32_t kRecorded = 4096;
    const auto patch = [&](std::size_t at) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = static_cast<char>((kRecorded >> (8 * i)) & 0xff);
    };
    ASSERT_EQ(bytes.compare(0, 4, "PK\3\4"), 0);
    patch(22);
    const std::size_t central = bytes.find("PK\1\2");
    ASSERT_NE(central, std::string::npos);
    patch(central + 24);
    WriteFileBytes(backup, bytes);

    ZipReader reader;
    ASSERT_TRUE(reader.open(backup).ok());
    ASSERT_EQ(reader.entries().at(0).size, kRecorded);
    std::uint64_t delivered = 0;
    const Status read = reader.readEntry(0, "", [&](std::span<const std::byte> data) {
        delivered += data.size();
        return Status::Ok();
    });
    EXPECT_EQ(read.reason(), "The entry 'quillet.dat' is damaged: more data than recorded");
    EXPECT_LE(delivered, kRecorded);
}

}  // namespace
}  // namespace quillet::archive
