#include "support/archive/fake_archive.h"

#include <gtest/gtest.h>

#include "archive_test_files.h"
#include "support/platform/temp_dir.h"

namespace quillet::archive {
namespace {

using quillet::testing::ReadFileBytes;
using quillet::testing::RecordingObserver;
using quillet::testing::TempDir;
using quillet::testing::WriteFileBytes;

TEST(FakeArchiveTest, RecordsCallsAndRoundTripsInMemory) {
    TempDir dir;
    WriteFileBytes(dir / "Inbox.dbx", "mail");
    FakeArchive archive;
    RecordingObserver observer;
    archive.setObserver(&observer);
    archive.ClearArchive();
    ASSERT_TRUE(archive.CreateArchive(dir / "b.qbk").ok());
    ASSERT_TRUE(archive.AddFileEntry(dir / "Inbox.dbx").ok());
    archive.WritePassword("pw");
    archive.EncryptOnWrite(true);
    ASSERT_TRUE(archive.SaveArchive().ok());
    EXPECT_EQ(observer.events, (std::vector<std::string>{"EntryAdding(Inbox.dbx)", "SaveDone(1)"}));
    EXPECT_EQ(archive.archives().at(dir / "b.qbk").entries.at(0).second, "mail");

    EXPECT_TRUE(archive.ArchiveHasPassword(dir / "b.qbk"));
    ASSERT_TRUE(archive.LoadArchive(dir / "b.qbk").ok());
    archive.ReadPassword("wrong");
    EXPECT_FALSE(archive.CheckReadPassword());
    EXPECT_FALSE(archive.ExtractEntryTo("Inbox.dbx", dir / "out.dbx").ok());
    archive.ReadPassword("pw");
    EXPECT_TRUE(archive.CheckReadPassword());
    ASSERT_TRUE(archive.ExtractEntryTo("Inbox.dbx", dir / "out.dbx").ok());
    EXPECT_EQ(ReadFileBytes(dir / "out.dbx"), "mail");
    EXPECT_EQ(archive.calls().front(), "ClearArchive()");
    EXPECT_EQ(archive.calls().at(3), "WritePassword(pw)");
}

TEST(FakeArchiveTest, InjectedSaveFailureStillReportsDone) {
    FakeArchive archive;
    RecordingObserver observer;
    archive.setObserver(&observer);
    archive.failOperation("SaveArchive", "disk full");
    ASSERT_TRUE(archive.CreateArchive("/nowhere/b.qbk").ok());
    const Status saved = archive.SaveArchive();
    EXPECT_FALSE(saved.ok());
    EXPECT_EQ(saved.reason(), "disk full");
    EXPECT_EQ(observer.events, std::vector<std::string>{"SaveDone(0)"});
    EXPECT_TRUE(archive.archives().empty());
}

TEST(FakeArchiveTest, ReadEntryHandsOverTheContentOrFailsHalfWay) {
    FakeArchive archive;
    archive.putArchive("/b.qbk", {{{"Inbox.dbx", "mail data"}}, "pw"});
    ASSERT_TRUE(archive.LoadArchive("/b.qbk").ok());
    archive.ReadPassword("pw");
    std::string read;
    const auto sink = [&](std::span<const std::byte> data) {
        read.append(reinterpret_cast<const char*>(data.data()), data.size());
        return Status::Ok();
    };
    ASSERT_TRUE(archive.ReadEntry("Inbox.dbx", sink).ok());
    EXPECT_EQ(read, "mail data");
    read.clear();
    archive.failOperation("ReadEntry", "damaged");
    EXPECT_TRUE(archive.ReadEntry("Inbox.dbx", sink).is(ErrorKind::kCorrupt));
    EXPECT_EQ(read, "mail");
}

}  // namespace
}  // namespace quillet::archive
