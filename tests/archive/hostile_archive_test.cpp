// The generated corpus of hostile zip files (tests/data/hostile/README.md) against the reader:
// each is refused when opened, or opened with its attacking entry failing to read, and nothing
// is written anywhere around it.
#include <gtest/gtest.h>

#include "archive/zip_archive.h"
#include "support/archive/hostile_archives.h"
#include "support/platform/folder_snapshot.h"
#include "support/platform/temp_dir.h"

namespace quillet::archive {
namespace {

using quillet::testing::ChangedPaths;
using quillet::testing::HostileArchive;
using quillet::testing::ReadFileBytes;
using quillet::testing::SnapshotTree;
using quillet::testing::TempDir;
using quillet::testing::TreeSnapshot;
using quillet::testing::WriteFileBytes;

TEST(HostileArchiveTest, EveryHostileArchiveIsRefusedOrFailsItsEntryAndWritesNothing) {
    TempDir dir;
    const auto corpus = dir / "corpus";
    const auto restoreFolder = dir / "deep" / "er" / "restore";
    std::filesystem::create_directories(corpus);
    std::filesystem::create_directories(restoreFolder);
    const std::vector<HostileArchive> archives = quillet::testing::WriteHostileArchives(corpus);
    ASSERT_FALSE(archives.empty());
    WriteFileBytes(restoreFolder / "Inbox.dbx", "the live message store");

    for (const HostileArchive& hostile : archives) {
        SCOPED_TRACE(hostile.file + ": " + hostile.attack);
        const TreeSnapshot before = SnapshotTree(dir.path());
        ZipArchive archive;
        const Status loaded = archive.LoadArchive(corpus / hostile.file);
        if (hostile.refusedOnOpen) {
            EXPECT_FALSE(loaded.ok());
            EXPECT_NE(loaded.reason().find(hostile.reasonPart), std::string::npos)
                << loaded.reason();
            EXPECT_FALSE(archive.ArchiveHasPassword(corpus / hostile.file));
            EXPECT_TRUE(archive.entries().empty());
            EXPECT_FALSE(archive.verifyEntries().ok());
            EXPECT_FALSE(archive.ExtractEntryTo("Inbox.dbx", restoreFolder / "Inbox.dbx").ok());
        } else {
            ASSERT_TRUE(loaded.ok()) << loaded.reason();
            EXPECT_FALSE(archive.verifyEntries().ok());
            const Status extracted = archive.ExtractEntryTo(
                hostile.unreadableEntry, restoreFolder / hostile.unreadableEntry);
            EXPECT_FALSE(extracted.ok());
            EXPECT_NE(extracted.reason().find(hostile.unreadableEntry), std::string::npos)
                << extracted.reason();
        }
        EXPECT_EQ(ChangedPaths(before, SnapshotTree(dir.path())), std::vector<std::string>{});
    }
    EXPECT_EQ(ReadFileBytes(restoreFolder / "Inbox.dbx"), "the live message store");
}

}  // namespace
}  // namespace quillet::archive
