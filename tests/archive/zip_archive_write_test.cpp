#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "archive/zip_archive.h"
#include "archive_test_files.h"
#include "support/platform/temp_dir.h"

namespace quillet::archive {
namespace {

using quillet::testing::FolderListing;
using quillet::testing::LocateEntryData;
using quillet::testing::RandomContent;
using quillet::testing::ReadFileBytes;
using quillet::testing::ReadWithLibzip;
using quillet::testing::RecordingObserver;
using quillet::testing::TempDir;
using quillet::testing::TextContent;
using quillet::testing::WriteFileBytes;

struct SourceFile {
    std::filesystem::path path;
    std::string content;
};

// Files from different folders, of the kinds a backup holds, with the information file last.
std::vector<SourceFile> MakeBackupFiles(const TempDir& dir) {
    std::vector<SourceFile> files = {
        {dir / "store" / "Inbox.dbx", TextContent(3 * (1 << 20) + 123, 1)},
        {dir / "store" / "empty.dbx", ""},
        {dir / "wab" / "me.wab", RandomContent(200 * 1024, 2)},
        {dir / "store" / "Sent Items.dbx", "tiny"},
        {dir / "work" / "quillet.dat", "BackupComputer=pc\r\nBackupItem=11111111\r\n"},
    };
    for (const auto& file : files) WriteFileBytes(file.path, file.content);
    return files;
}

Status Backup(ZipArchive& archive, const std::filesystem::path& target,
              const std::vector<SourceFile>& files, const std::string& password) {
    archive.ClearArchive();
    if (Status created = archive.CreateArchive(target); !created) return created;
    for (const auto& file : files) {
        if (auto added = archive.AddFileEntry(file.path); !added) return added.status();
    }
    if (!password.empty()) {
        archive.WritePassword(password);
        archive.EncryptOnWrite(true);
    } else {
        archive.EncryptOnWrite(false);
    }
    return archive.SaveArchive();
}

// Entry names, methods and encryption as libzip reads them from the file itself.
struct LibzipEntryFacts {
    std::string name;
    zip_uint16_t method;
    zip_uint16_t encryption;
};
std::vector<LibzipEntryFacts> RawEntries(const std::filesystem::path& file) {
    std::vector<LibzipEntryFacts> entries;
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (archive == nullptr) return entries;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t stat;
        zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
        entries.push_back({stat.name, stat.comp_method, stat.encryption_method});
    }
    zip_discard(archive);
    return entries;
}

class ZipArchiveWriteTest : public ::testing::Test {
  protected:
    void SetUp() override { archive.setObserver(&observer); }

    void ExpectRoundTrip(const std::filesystem::path& target, const std::vector<SourceFile>& files,
                         const std::string& password) {
        ZipArchive reader;
        ASSERT_TRUE(reader.LoadArchive(target).ok());
        reader.ReadPassword(password);
        EXPECT_TRUE(reader.CheckReadPassword());
        const std::vector<ArchiveEntry> entries = reader.entries();
        ASSERT_EQ(entries.size(), files.size());
        const auto out = dir / "out";
        std::filesystem::create_directories(out);
        for (std::size_t i = 0; i < files.size(); ++i) {
            const std::string name = files[i].path.filename().string();
            EXPECT_EQ(entries[i].name, name);
            EXPECT_EQ(entries[i].size, files[i].content.size());
            EXPECT_EQ(entries[i].encrypted, !password.empty());
            const Status extracted = reader.ExtractEntryTo(name, out / name);
            ASSERT_TRUE(extracted.ok()) << extracted.reason();
            EXPECT_EQ(ReadFileBytes(out / name), files[i].content) << name;
        }
    }

    TempDir dir;
    RecordingObserver observer;
    ZipArchive archive;
};

TEST_F(ZipArchiveWriteTest, RoundTripKeepsEveryFileFlatInTheOrderAdded) {
    const auto files = MakeBackupFiles(dir);
    const auto target = dir / "backup.qbk";
    const Status saved = Backup(archive, target, files, "");
    ASSERT_TRUE(saved.ok()) << saved.reason();

    const std::vector<LibzipEntryFacts> raw = RawEntries(target);
    ASSERT_EQ(raw.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(raw[i].name, files[i].path.filename().string());
        EXPECT_EQ(raw[i].encryption, ZIP_EM_NONE);
    }
    EXPECT_EQ(raw[0].method, ZIP_CM_DEFLATE);
    EXPECT_EQ(raw[1].method, ZIP_CM_STORE) << "an empty file is stored";
    EXPECT_FALSE(archive.ArchiveHasPassword(target));
    ExpectRoundTrip(target, files, "");
}

TEST_F(ZipArchiveWriteTest, ProtectedArchiveIsAes256AndRoundTrips) {
    const auto files = MakeBackupFiles(dir);
    const auto target = dir / "backup.qbk";
    const Status saved = Backup(archive, target, files, "s3cret Paßwort");
    ASSERT_TRUE(saved.ok()) << saved.reason();
    for (const LibzipEntryFacts& entry : RawEntries(target)) {
        EXPECT_EQ(entry.encryption, ZIP_EM_AES_256) << entry.name;
    }
    EXPECT_TRUE(archive.ArchiveHasPassword(target));
    ExpectRoundTrip(target, files, "s3cret Paßwort");
    // libzip deciphers every entry (those we encrypted, and the empty one it encrypted) alike.
    for (const auto& file : files) {
        const std::string name = file.path.filename().string();
        EXPECT_EQ(ReadWithLibzip(target, name, "s3cret Paßwort"), file.content) << name;
        if (!file.content.empty()) {
            EXPECT_NE(ReadWithLibzip(target, name, "s3cret Passwort"), file.content) << name;
        }
    }
}

// Each entry gets its own random salt, so equal files give different ciphertexts.
TEST_F(ZipArchiveWriteTest, EqualFilesEncryptDifferently) {
    const std::string text = TextContent(100000, 3);
    const std::vector<SourceFile> files = {{dir / "a" / "Inbox.dbx", text},
                                           {dir / "b" / "Outbox.dbx", text}};
    for (const auto& file : files) WriteFileBytes(file.path, file.content);
    const auto target = dir / "twins.qbk";
    ASSERT_TRUE(Backup(archive, target, files, "pw").ok());
    const std::string bytes = ReadFileBytes(target);
    const auto first = LocateEntryData(bytes, 0);
    const auto second = LocateEntryData(bytes, 1);
    ASSERT_EQ(first.size, second.size);
    EXPECT_NE(bytes.substr(first.offset, 16), bytes.substr(second.offset, 16)) << "salts";
    EXPECT_NE(bytes.substr(first.offset, first.size), bytes.substr(second.offset, second.size));
    ExpectRoundTrip(target, files, "pw");
}

TEST_F(ZipArchiveWriteTest, EncryptsOnlyWhenAskedAndGivenAPassword) {
    const std::vector<SourceFile> files = {{dir / "a.txt", "alpha"}};
    WriteFileBytes(files[0].path, files[0].content);
    struct Case {
        bool encrypt;
        std::string password;
        bool encrypted;
    };
    for (const Case& test :
         {Case{true, "pw", true}, Case{true, "", false}, Case{false, "pw", false}}) {
        const auto target = dir / "case.qbk";
        archive.ClearArchive();
        ASSERT_TRUE(archive.CreateArchive(target).ok());
        ASSERT_TRUE(archive.AddFileEntry(files[0].path).ok());
        archive.WritePassword(test.password);
        archive.EncryptOnWrite(test.encrypt);
        ASSERT_TRUE(archive.SaveArchive().ok());
        EXPECT_EQ(archive.ArchiveHasPassword(target), test.encrypted)
            << "encrypt " << test.encrypt << ", password '" << test.password << "'";
    }
}

TEST_F(ZipArchiveWriteTest, ClearArchiveForgetsTheEncryptionSetting) {
    WriteFileBytes(dir / "a.txt", "alpha");
    archive.CreateArchive(dir / "first.qbk").ok();
    archive.WritePassword("pw");
    archive.EncryptOnWrite(true);
    archive.ClearArchive();
    ASSERT_TRUE(archive.CreateArchive(dir / "second.qbk").ok());
    ASSERT_TRUE(archive.AddFileEntry(dir / "a.txt").ok());
    ASSERT_TRUE(archive.SaveArchive().ok());
    EXPECT_FALSE(archive.ArchiveHasPassword(dir / "second.qbk"));
}

TEST_F(ZipArchiveWriteTest, ReportsEachEntryProgressAndDoneInOrder) {
    const auto files = MakeBackupFiles(dir);
    ASSERT_TRUE(Backup(archive, dir / "backup.qbk", files, "pw").ok());
    std::vector<std::string> expected;
    for (const auto& file : files)
        expected.push_back("EntryAdding(" + file.path.filename().string() + ")");
    expected.push_back("SaveDone(1)");
    EXPECT_EQ(observer.events, expected);
    EXPECT_EQ(observer.doneReasons, std::vector<std::string>{""});
    ASSERT_FALSE(observer.progress.empty());
    EXPECT_TRUE(std::is_sorted(observer.progress.begin(), observer.progress.end()));
    EXPECT_EQ(std::adjacent_find(observer.progress.begin(), observer.progress.end()),
              observer.progress.end())
        << "a percentage is reported once";
    // The 3 MiB entry is compressed in 1 MiB blocks: progress moves at least once per block.
    EXPECT_GE(observer.progress.size(), 4u) << "progress is reported while data is written";
    EXPECT_EQ(observer.progress.back(), 100);
}

TEST_F(ZipArchiveWriteTest, SavesAnArchiveWithoutEntries) {
    const auto target = dir / "empty.qbk";
    ASSERT_TRUE(archive.CreateArchive(target).ok());
    const Status saved = archive.SaveArchive();
    ASSERT_TRUE(saved.ok()) << saved.reason();
    ZipArchive reader;
    ASSERT_TRUE(reader.LoadArchive(target).ok());
    EXPECT_TRUE(reader.entries().empty());
    EXPECT_EQ(observer.events, std::vector<std::string>{"SaveDone(1)"});
}

TEST_F(ZipArchiveWriteTest, LevelZeroStoresEveryEntry) {
    const auto files = MakeBackupFiles(dir);
    archive.setCompressionLevel(0);
    ASSERT_TRUE(Backup(archive, dir / "stored.qbk", files, "pw").ok());
    for (const LibzipEntryFacts& entry : RawEntries(dir / "stored.qbk")) {
        EXPECT_EQ(entry.method, ZIP_CM_STORE) << entry.name;
    }
    ExpectRoundTrip(dir / "stored.qbk", files, "pw");
}

TEST_F(ZipArchiveWriteTest, ReplacingABackupKeepsItsPermissions) {
    const auto files = MakeBackupFiles(dir);
    const auto target = dir / "backup.qbk";
    WriteFileBytes(target, "old backup");
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    ASSERT_TRUE(Backup(archive, target, files, "").ok());
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ExpectRoundTrip(target, files, "");
}

TEST_F(ZipArchiveWriteTest, AddFileEntryRefusesWhatCannotBeAPlainUniqueEntry) {
    WriteFileBytes(dir / "a" / "Inbox.dbx", "x");
    WriteFileBytes(dir / "b" / "Inbox.dbx", "y");
    WriteFileBytes(dir / "c" / "INBOX.DBX", "z");
    WriteFileBytes(dir / "back\\slash.dbx", "w");
    std::filesystem::create_directories(dir / "folder");

    EXPECT_FALSE(archive.AddFileEntry(dir / "a" / "Inbox.dbx").ok()) << "before CreateArchive";
    ASSERT_TRUE(archive.CreateArchive(dir / "backup.qbk").ok());
    Result<int> first = archive.AddFileEntry(dir / "a" / "Inbox.dbx");
    ASSERT_TRUE(first.ok());
    EXPECT_EQ(*first, 0);

    const std::vector<std::filesystem::path> refused = {
        dir / "missing.dbx", dir / "folder", dir / "back\\slash.dbx", dir / "b" / "Inbox.dbx",
        dir / "c" / "INBOX.DBX"};
    for (const auto& path : refused) {
        Result<int> added = archive.AddFileEntry(path);
        EXPECT_FALSE(added.ok()) << path;
        EXPECT_FALSE(added.reason().empty()) << path;
    }
    WriteFileBytes(dir / "Outbox.dbx", "o");
    Result<int> second = archive.AddFileEntry(dir / "Outbox.dbx");
    ASSERT_TRUE(second.ok());
    EXPECT_EQ(*second, 1);
}

// Each case sets up a failing save; the previous backup must survive byte for byte, no temporary
// may remain, and SaveDone must carry the failure.
TEST_F(ZipArchiveWriteTest, FailedSaveLeavesPreviousBackupAndNoTemporaries) {
    struct Case {
        std::string what;
        std::function<void(const std::filesystem::path& folder, std::vector<SourceFile>& files)>
            arrange;
        std::function<void()> undo = [] {};
        bool needsNonRoot = false;
    };
    rlimit originalLimit{};
    getrlimit(RLIMIT_FSIZE, &originalLimit);
    const std::vector<Case> cases = {
        {"input file removed after it was added",
         [](const auto&, auto& files) { std::filesystem::remove(files[2].path); }},
        {"input file replaced by a folder",
         [](const auto&, auto& files) {
             std::filesystem::remove(files[0].path);
             std::filesystem::create_directory(files[0].path);
         }},
        {"input file replaced by another of its size",
         [](const auto&, auto& files) {
             WriteFileBytes(files[3].path.string() + ".new", "TINY");
             std::filesystem::rename(files[3].path.string() + ".new", files[3].path);
         }},
        {"empty input file written to (a stored entry)",
         [](const auto&, auto& files) { WriteFileBytes(files[1].path, "grown"); }},
        {"write fails part-way (file size limit, as on a full disk)",
         [&](const auto&, auto&) {
             // Writing past the limit fails with EFBIG instead of raising SIGXFSZ.
             ::signal(SIGXFSZ, SIG_IGN);
             rlimit limit = originalLimit;
             limit.rlim_cur = 256 * 1024;
             setrlimit(RLIMIT_FSIZE, &limit);
         },
         [&] {
             setrlimit(RLIMIT_FSIZE, &originalLimit);
             ::signal(SIGXFSZ, SIG_DFL);
         }},
        {"folder not writable", [](const auto& folder, auto&) { ::chmod(folder.c_str(), 0555); },
         [] {}, true},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        if (test.needsNonRoot && ::geteuid() == 0) {
            std::cout << "[ SKIPPED  ] case '" << test.what << "': root may write anywhere\n";
            continue;
        }
        TempDir caseDir;
        std::vector<SourceFile> files = MakeBackupFiles(caseDir);
        const auto folder = caseDir / "backups";
        const auto target = folder / "backup.qbk";
        std::filesystem::create_directories(folder);
        ASSERT_TRUE(Backup(archive, target, files, "pw").ok());
        const std::string previous = ReadFileBytes(target);
        const auto listing = FolderListing(folder);

        archive.ClearArchive();
        ASSERT_TRUE(archive.CreateArchive(target).ok());
        for (const auto& file : files) ASSERT_TRUE(archive.AddFileEntry(file.path).ok());
        archive.WritePassword("pw");
        archive.EncryptOnWrite(true);
        test.arrange(folder, files);
        observer.events.clear();
        observer.doneReasons.clear();
        const Status saved = archive.SaveArchive();
        test.undo();
        ::chmod(folder.c_str(), 0755);

        EXPECT_FALSE(saved.ok());
        EXPECT_NE(saved.reason().find("backup.qbk"), std::string::npos) << saved.reason();
        EXPECT_EQ(ReadFileBytes(target), previous);
        EXPECT_EQ(FolderListing(folder), listing);
        ASSERT_FALSE(observer.events.empty());
        EXPECT_EQ(observer.events.back(), "SaveDone(0)");
        EXPECT_EQ(observer.doneReasons, std::vector<std::string>{saved.reason()});
    }
}

// Each file is open only while it is read: a backup of more files than the process may hold
// open at once is written whole, deflated or stored.
TEST_F(ZipArchiveWriteTest, SavesMoreFilesThanMayBeOpenAtOnce) {
    const std::size_t descriptors =
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                      std::filesystem::directory_iterator());
    rlimit original{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &original), 0);
    rlimit low = original;
    low.rlim_cur = descriptors + 16;
    std::vector<SourceFile> files;
    for (std::size_t i = 0; i < low.rlim_cur + 50; ++i) {
        files.push_back({dir / "stationery" / ("paper" + std::to_string(i) + ".htm"),
                         TextContent(100 + i, static_cast<unsigned>(i))});
        WriteFileBytes(files.back().path, files.back().content);
    }
    for (const int level : {6, 0}) {
        SCOPED_TRACE("level " + std::to_string(level));
        archive.setCompressionLevel(level);
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
        const Status saved = Backup(archive, dir / "many.qbk", files, "");
        setrlimit(RLIMIT_NOFILE, &original);
        ASSERT_TRUE(saved.ok()) << saved.reason();
        ExpectRoundTrip(dir / "many.qbk", files, "");
        std::filesystem::remove_all(dir / "out");
    }
}

TEST_F(ZipArchiveWriteTest, FailedSaveWithoutTargetFolderOrArchiveStillReportsDone) {
    const Status withoutCreate = archive.SaveArchive();
    EXPECT_FALSE(withoutCreate.ok());
    ASSERT_TRUE(archive.CreateArchive(dir / "missing" / "backup.qbk").ok());
    const Status withoutFolder = archive.SaveArchive();
    EXPECT_FALSE(withoutFolder.ok());
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    EXPECT_EQ(observer.events, (std::vector<std::string>{"SaveDone(0)", "SaveDone(0)"}));
    EXPECT_EQ(observer.doneReasons,
              (std::vector<std::string>{withoutCreate.reason(), withoutFolder.reason()}));
}

TEST_F(ZipArchiveWriteTest, SaveRemovesTemporariesLeftByRunsThatEnded) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);  // its process id now belongs to no running process
    const std::string dead = std::to_string(child);
    WriteFileBytes(dir / (".backup.qbk.quillet-" + dead + "-abcdefgh"), "stale");
    WriteFileBytes(dir / (".backup.qbk.quillet-" + dead + "-abcdefgh.Xy12Zq"), "stale of libzip");
    WriteFileBytes(dir / ".backup.qbk.quillet-1-running", "a live process's");
    WriteFileBytes(dir / (".other.qbk.quillet-" + dead + "-abcdefgh"), "another target's");
    WriteFileBytes(dir / "a.txt", "alpha");

    ASSERT_TRUE(archive.CreateArchive(dir / "backup.qbk").ok());
    ASSERT_TRUE(archive.AddFileEntry(dir / "a.txt").ok());
    ASSERT_TRUE(archive.SaveArchive().ok());
    EXPECT_EQ(FolderListing(dir.path()),
              (std::vector<std::string>{".backup.qbk.quillet-1-running",
                                        ".other.qbk.quillet-" + dead + "-abcdefgh", "a.txt",
                                        "backup.qbk"}));
}

}  // namespace
}  // namespace quillet::archive
