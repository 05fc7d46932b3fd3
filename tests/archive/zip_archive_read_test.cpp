#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zip.h>

#include <memory>
#include <string>
#include <vector>

#include "archive/zip_archive.h"
#include "archive_test_files.h"
#include "support/platform/temp_dir.h"

namespace quillet::archive {
namespace {

using quillet::testing::FolderListing;
using quillet::testing::LocateEntryData;
using quillet::testing::PutEntryWithLibzip;
using quillet::testing::RandomContent;
using quillet::testing::ReadFileBytes;
using quillet::testing::ReadWithLibzip;
using quillet::testing::RecordingObserver;
using quillet::testing::TempDir;
using quillet::testing::TextContent;
using quillet::testing::WriteFileBytes;

constexpr char kPassword[] = "correct horse";
constexpr std::size_t kAesSalt = 16;  // AES-256
constexpr std::size_t kAesVerifier = 2;
constexpr std::size_t kAesCode = 10;

struct Content {
    std::string name;
    std::string bytes;
};

// Writes `contents` as an archive with our adapter; returns its path.
std::filesystem::path SaveWithAdapter(const TempDir& dir, const std::string& archiveName,
                                      const std::vector<Content>& contents,
                                      const std::string& password) {
    const auto sources = dir / ("sources-" + archiveName);
    ZipArchive archive;
    EXPECT_TRUE(archive.CreateArchive(dir / archiveName).ok());
    for (const auto& content : contents) {
        WriteFileBytes(sources / content.name, content.bytes);
        EXPECT_TRUE(archive.AddFileEntry(sources / content.name).ok());
    }
    archive.WritePassword(password);
    archive.EncryptOnWrite(!password.empty());
    const Status saved = archive.SaveArchive();
    EXPECT_TRUE(saved.ok()) << saved.reason();
    return dir / archiveName;
}

// Writes an archive with libzip directly, with entry names as given (however hostile), encrypted
// by libzip when `encryption` is not ZIP_EM_NONE.
struct LibzipWrittenEntry {
    std::string name;
    std::string bytes;
    zip_uint32_t unixMode = 0100644;
    zip_int32_t method = ZIP_CM_DEFAULT;
};
bool WriteRawArchive(const std::filesystem::path& file,
                     const std::vector<LibzipWrittenEntry>& entries,
                     zip_uint16_t encryption = ZIP_EM_NONE, const std::string& password = "") {
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) return false;
    for (const auto& entry : entries) {
        zip_source_t* source =
            zip_source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
        const zip_int64_t index = zip_file_add(archive, entry.name.c_str(), source, 0);
        if (index < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return false;
        }
        const auto added = static_cast<zip_uint64_t>(index);
        zip_file_set_external_attributes(archive, added, 0, ZIP_OPSYS_UNIX, entry.unixMode << 16);
        if (zip_set_file_compression(archive, added, entry.method, 0) != 0 ||
            (encryption != ZIP_EM_NONE &&
             zip_file_set_encryption(archive, added, encryption, password.c_str()) != 0)) {
            zip_discard(archive);
            return false;
        }
    }
    return zip_close(archive) == 0;
}

std::vector<std::string> Temporaries(const std::filesystem::path& folder) {
    std::vector<std::string> found;
    for (const auto& name : FolderListing(folder)) {
        if (name.find(".quillet-") != std::string::npos) found.push_back(name);
    }
    return found;
}

class ZipArchiveReadTest : public ::testing::Test {
  protected:
    void SetUp() override {
        contents = {{"quillet.dat", "BackupItem=11111111\r\n"},
                    {"Inbox.dbx", TextContent(300 * 1024, 4)},
                    {"photo.jpg", RandomContent(50 * 1024, 5)}};
        protectedFile = SaveWithAdapter(dir, "protected.qbk", contents, kPassword);
        plainFile = SaveWithAdapter(dir, "plain.qbk", contents, "");
        restoreFolder = dir / "restore";
        std::filesystem::create_directories(restoreFolder);
        WriteFileBytes(restoreFolder / "Inbox.dbx", "the live message store");
    }

    // Extraction of `name` must fail and leave the live file and folder as they were.
    void ExpectExtractionRefused(ZipArchive& archive, const std::string& name) {
        const auto before = FolderListing(restoreFolder);
        const Status extracted = archive.ExtractEntryTo(name, restoreFolder / "Inbox.dbx");
        EXPECT_FALSE(extracted.ok()) << "extracting " << name;
        EXPECT_FALSE(extracted.reason().empty());
        EXPECT_EQ(ReadFileBytes(restoreFolder / "Inbox.dbx"), "the live message store");
        EXPECT_EQ(FolderListing(restoreFolder), before);
        EXPECT_TRUE(Temporaries(restoreFolder).empty());
    }

    TempDir dir;
    std::vector<Content> contents;
    std::filesystem::path protectedFile;
    std::filesystem::path plainFile;
    std::filesystem::path restoreFolder;
};

TEST_F(ZipArchiveReadTest, RightPasswordOpensAndExtractsEveryEntry) {
    ZipArchive archive;
    RecordingObserver observer;
    archive.setObserver(&observer);
    EXPECT_TRUE(archive.ArchiveHasPassword(protectedFile));
    ASSERT_TRUE(archive.LoadArchive(protectedFile).ok());
    archive.ReadPassword(kPassword);
    EXPECT_TRUE(archive.CheckReadPassword());
    EXPECT_TRUE(archive.verifyEntries().ok());
    for (const auto& content : contents) {
        const Status extracted = archive.ExtractEntryTo(content.name, restoreFolder / content.name);
        ASSERT_TRUE(extracted.ok()) << extracted.reason();
        EXPECT_EQ(ReadFileBytes(restoreFolder / content.name), content.bytes);
    }
    EXPECT_EQ(observer.events, (std::vector<std::string>{"EntryExtracting(quillet.dat)",
                                                         "EntryExtracting(Inbox.dbx)",
                                                         "EntryExtracting(photo.jpg)"}));
    EXPECT_TRUE(Temporaries(restoreFolder).empty());
}

TEST_F(ZipArchiveReadTest, WrongOrMissingPasswordIsRefusedAndExtractsNothing) {
    for (const std::string password : {"wrong", "", "correct horsE", "correct horse "}) {
        SCOPED_TRACE("password '" + password + "'");
        ZipArchive archive;
        ASSERT_TRUE(archive.LoadArchive(protectedFile).ok());
        archive.ReadPassword(password);
        EXPECT_FALSE(archive.CheckReadPassword());
        EXPECT_FALSE(archive.verifyEntries().ok());
        for (const auto& content : contents) ExpectExtractionRefused(archive, content.name);
    }
}

// Zip's own password check compares two bytes and lets about one wrong password in 65,536
// through. Here the entry's salt and check bytes are replaced by those of an archive made with the
// wrong password, so the wrong password passes that check; the adapter must still refuse it.
TEST_F(ZipArchiveReadTest, WrongPasswordPassingTheTwoByteCheckIsStillRefused) {
    const std::string wrong = "not the password";
    for (const bool emptyEntry : {false, true}) {
        SCOPED_TRACE(emptyEntry ? "stored empty entry" : "deflated entry");
        const std::vector<Content> single = {
            {"Inbox.dbx", emptyEntry ? std::string() : TextContent(100 * 1024, 9)}};
        const auto file =
            SaveWithAdapter(dir, emptyEntry ? "one-empty.qbk" : "one.qbk", single, kPassword);
        const auto donor =
            SaveWithAdapter(dir, emptyEntry ? "donor-empty.qbk" : "donor.qbk", single, wrong);
        std::string bytes = ReadFileBytes(file);
        const std::string donorBytes = ReadFileBytes(donor);
        const auto data = LocateEntryData(bytes, 0);
        const auto donorData = LocateEntryData(donorBytes, 0);
        bytes.replace(data.offset, kAesSalt + kAesVerifier,
                      donorBytes.substr(donorData.offset, kAesSalt + kAesVerifier));
        WriteFileBytes(file, bytes);

        // The borrowed salt and check bytes do fool zip's own check...
        int error = 0;
        zip_t* raw = zip_open(file.c_str(), ZIP_RDONLY, &error);
        ASSERT_NE(raw, nullptr);
        zip_file_t* opened = zip_fopen_index_encrypted(raw, 0, 0, wrong.c_str());
        EXPECT_NE(opened, nullptr) << "the borrowed check bytes should pass zip's check";
        if (opened != nullptr) zip_fclose(opened);
        zip_discard(raw);

        // ...but not the adapter.
        ZipArchive archive;
        ASSERT_TRUE(archive.LoadArchive(file).ok());
        archive.ReadPassword(wrong);
        EXPECT_FALSE(archive.CheckReadPassword());
        EXPECT_FALSE(archive.verifyEntries().ok());
        ExpectExtractionRefused(archive, "Inbox.dbx");
    }
}

// One flipped byte anywhere in an encrypted entry's data must stop its extraction: in the salt or
// the password verifier (as a wrong password would), the ciphertext or the authentication code.
TEST_F(ZipArchiveReadTest, FlippedByteInEncryptedDataIsDetected) {
    const std::string original = ReadFileBytes(protectedFile);
    const auto data = LocateEntryData(original, 1);  // Inbox.dbx
    const std::size_t cipherStart = data.offset + kAesSalt + kAesVerifier;
    const std::size_t codeStart = data.offset + data.size - kAesCode;
    const struct {
        const char* where;
        std::size_t offset;
    } places[] = {
        {"first byte of the salt", data.offset},
        {"last byte of the salt", data.offset + kAesSalt - 1},
        {"first byte of the password verifier", data.offset + kAesSalt},
        {"second byte of the password verifier", data.offset + kAesSalt + 1},
        {"first byte of the ciphertext", cipherStart},
        {"middle of the ciphertext", (cipherStart + codeStart) / 2},
        {"last byte of the ciphertext", codeStart - 1},
        {"first byte of the authentication code", codeStart},
        {"last byte of the authentication code", codeStart + kAesCode - 1},
    };
    for (const auto& place : places) {
        SCOPED_TRACE(place.where);
        std::string damaged = original;
        damaged[place.offset] = static_cast<char>(damaged[place.offset] ^ 0x01);
        const auto file = dir / "damaged.qbk";
        WriteFileBytes(file, damaged);
        ZipArchive archive;
        ASSERT_TRUE(archive.LoadArchive(file).ok());
        archive.ReadPassword(kPassword);
        EXPECT_FALSE(archive.verifyEntries().ok());
        ExpectExtractionRefused(archive, "Inbox.dbx");
        // The undamaged entries still extract.
        EXPECT_TRUE(archive.ExtractEntryTo("quillet.dat", restoreFolder / "quillet.dat").ok());
    }
}

TEST_F(ZipArchiveReadTest, CheckReadPasswordFailsWhenTheEntryItReadsIsDamaged) {
    const auto file =
        SaveWithAdapter(dir, "one.qbk", {{"Inbox.dbx", TextContent(10000, 2)}}, kPassword);
    std::string bytes = ReadFileBytes(file);
    const auto data = LocateEntryData(bytes, 0);
    bytes[data.offset + data.size - 1] =
        static_cast<char>(bytes[data.offset + data.size - 1] ^ 0x80);
    WriteFileBytes(file, bytes);
    ZipArchive archive;
    ASSERT_TRUE(archive.LoadArchive(file).ok());
    archive.ReadPassword(kPassword);
    EXPECT_FALSE(archive.CheckReadPassword());
}

TEST_F(ZipArchiveReadTest, FlippedByteInPlainEntryIsDetected) {
    std::string bytes = ReadFileBytes(plainFile);
    const auto data = LocateEntryData(bytes, 1);
    bytes[data.offset + data.size / 2] =
        static_cast<char>(bytes[data.offset + data.size / 2] ^ 0x10);
    WriteFileBytes(plainFile, bytes);
    ZipArchive archive;
    ASSERT_TRUE(archive.LoadArchive(plainFile).ok());
    EXPECT_TRUE(archive.CheckReadPassword()) << "nothing is encrypted";
    EXPECT_FALSE(archive.verifyEntries().ok());
    ExpectExtractionRefused(archive, "Inbox.dbx");
}

// Archives that libzip encrypted, at each of the three key strengths: every entry reads back as
// it was written and as libzip itself reads it. Entries under 20 bytes are written without a CRC
// (their authentication code alone protects them); the large ones cross the 64 KiB batches in
// which the key stream is made, deflated and stored.
TEST_F(ZipArchiveReadTest, AesEntriesWrittenByLibzipReadBackAtEveryStrength) {
    const std::vector<LibzipWrittenEntry> written = {
        {"empty.dbx", "", 0100644, ZIP_CM_STORE},
        {"tiny.txt", "hi"},
        {"nineteen.txt", std::string(19, 'x')},
        {"twenty.txt", std::string(20, 'y')},
        {"Inbox.dbx", TextContent(300 * 1024, 6)},
        {"stored.wab", RandomContent(3 * 65536 + 5, 7), 0100644, ZIP_CM_STORE},
        {"photo.jpg", RandomContent(200000, 8)},
    };
    for (const zip_uint16_t strength : {ZIP_EM_AES_128, ZIP_EM_AES_192, ZIP_EM_AES_256}) {
        SCOPED_TRACE("encryption method " + std::to_string(strength));
        const auto file = dir / "by-libzip.zip";
        ASSERT_TRUE(WriteRawArchive(file, written, strength, kPassword));

        const auto out = dir / "out";
        std::filesystem::create_directories(out);
        ZipArchive archive;
        ASSERT_TRUE(archive.LoadArchive(file).ok());
        archive.ReadPassword(kPassword);
        EXPECT_TRUE(archive.CheckReadPassword());
        const Status verified = archive.verifyEntries();
        EXPECT_TRUE(verified.ok()) << verified.reason();
        for (const LibzipWrittenEntry& entry : written) {
            ASSERT_TRUE(archive.LookupEntry(entry.name).has_value());
            EXPECT_TRUE(archive.LookupEntry(entry.name)->encrypted) << entry.name;
            const Status extracted = archive.ExtractEntryTo(entry.name, out / entry.name);
            ASSERT_TRUE(extracted.ok()) << entry.name << ": " << extracted.reason();
            const std::string ours = ReadFileBytes(out / entry.name);
            EXPECT_EQ(ours, entry.bytes) << entry.name;
            EXPECT_EQ(ours, ReadWithLibzip(file, entry.name, kPassword)) << entry.name;
        }

        ZipArchive wrong;
        ASSERT_TRUE(wrong.LoadArchive(file).ok());
        wrong.ReadPassword("wrong");
        EXPECT_FALSE(wrong.CheckReadPassword());
        EXPECT_FALSE(wrong.verifyEntries().ok());
        ExpectExtractionRefused(wrong, "Inbox.dbx");
    }
}

TEST_F(ZipArchiveReadTest, LoadArchiveRefusesFilesThatAreNotConsistentArchives) {
    WriteFileBytes(dir / "text.qbk", "not an archive at all");
    std::string truncated = ReadFileBytes(plainFile);
    truncated.resize(truncated.size() - 30);
    WriteFileBytes(dir / "truncated.qbk", truncated);
    // Local header and central directory disagree on a name: only a consistency check sees it.
    std::string inconsistent = ReadFileBytes(plainFile);
    const std::size_t local = inconsistent.find("Inbox.dbx");
    ASSERT_NE(local, std::string::npos);
    inconsistent[local] = 'X';
    WriteFileBytes(dir / "inconsistent.qbk", inconsistent);

    for (const char* name : {"missing.qbk", "text.qbk", "truncated.qbk", "inconsistent.qbk"}) {
        SCOPED_TRACE(name);
        ZipArchive archive;
        const Status loaded = archive.LoadArchive(dir / name);
        EXPECT_FALSE(loaded.ok());
        EXPECT_NE(loaded.reason().find(name), std::string::npos) << loaded.reason();
        EXPECT_FALSE(archive.ArchiveHasPassword(dir / name));
        EXPECT_FALSE(archive.CheckReadPassword());
    }
}

TEST_F(ZipArchiveReadTest, ExtractedFilesAreReadableByAllAndWritableByTheOwnerOnly) {
    const auto file = dir / "modes.zip";
    ASSERT_TRUE(WriteRawArchive(
        file,
        {{"open.dbx", "a", 0100777}, {"private.dbx", "b", 0100600}, {"setuid.dbx", "c", 0104755}}));
    WriteFileBytes(restoreFolder / "private.dbx", "old");
    ::chmod((restoreFolder / "private.dbx").c_str(), 0600);
    ZipArchive archive;
    ASSERT_TRUE(archive.LoadArchive(file).ok());
    // A strict umask must not make restored files unreadable to the program that uses them.
    const mode_t umaskBefore = ::umask(077);
    for (const char* name : {"open.dbx", "private.dbx", "setuid.dbx"}) {
        const Status extracted = archive.ExtractEntryTo(name, restoreFolder / name);
        EXPECT_TRUE(extracted.ok()) << name << ": " << extracted.reason();
        struct stat info {};
        EXPECT_EQ(::stat((restoreFolder / name).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0644u) << name;
    }
    ::umask(umaskBefore);
}

TEST_F(ZipArchiveReadTest, ExtractionFailuresLeaveTheDestinationAlone) {
    ZipArchive archive;
    EXPECT_FALSE(archive.ExtractEntryTo("Inbox.dbx", restoreFolder / "Inbox.dbx").ok())
        << "no archive loaded";
    ASSERT_TRUE(archive.LoadArchive(plainFile).ok());
    ExpectExtractionRefused(archive, "no-such-entry.dbx");
    ExpectExtractionRefused(archive, "inbox.dbx");  // names are matched exactly
    EXPECT_FALSE(archive.ExtractEntryTo("Inbox.dbx", dir / "missing-folder" / "Inbox.dbx").ok());
    EXPECT_FALSE(std::filesystem::exists(dir / "missing-folder"));
    // A folder where the file should go is not replaced.
    std::filesystem::create_directories(restoreFolder / "quillet.dat");
    EXPECT_FALSE(archive.ExtractEntryTo("quillet.dat", restoreFolder / "quillet.dat").ok());
    EXPECT_TRUE(std::filesystem::is_directory(restoreFolder / "quillet.dat"));
    EXPECT_TRUE(Temporaries(restoreFolder).empty());
}

TEST_F(ZipArchiveReadTest, ExtractionToATemporaryReplacesTheDestinationOnlyOnCommit) {
    ZipArchive archive;
    ASSERT_TRUE(archive.LoadArchive(protectedFile).ok());
    archive.ReadPassword(kPassword);
    const auto destination = restoreFolder / "Inbox.dbx";
    WriteFileBytes(destination, "live inbox");

    Result<std::unique_ptr<FileReplacement>> dropped =
        archive.ExtractEntryToTemporary("Inbox.dbx", destination, false);
    ASSERT_TRUE(dropped.ok()) << dropped.reason();
    EXPECT_EQ(ReadFileBytes((*dropped)->temporary()), contents[1].bytes);
    EXPECT_EQ(ReadFileBytes(destination), "live inbox");
    dropped->reset();
    EXPECT_TRUE(Temporaries(restoreFolder).empty()) << "an uncommitted temporary is removed";
    EXPECT_EQ(ReadFileBytes(destination), "live inbox");

    Result<std::unique_ptr<FileReplacement>> kept =
        archive.ExtractEntryToTemporary("Inbox.dbx", destination, false);
    ASSERT_TRUE(kept.ok()) << kept.reason();
    ASSERT_TRUE((*kept)->commit().ok());
    EXPECT_EQ(ReadFileBytes(destination), contents[1].bytes);
    EXPECT_TRUE(Temporaries(restoreFolder).empty());
}

// The entry's data, read through ReadEntry.
Result<std::string> Streamed(Archive& archive, const std::string& name) {
    std::string data;
    const Status read = archive.ReadEntry(name, [&](std::span<const std::byte> piece) {
        data.append(reinterpret_cast<const char*>(piece.data()), piece.size());
        return Status::Ok();
    });
    if (!read) return read;
    return data;
}

TEST_F(ZipArchiveReadTest, ReadEntryStreamsEachEntryAsStored) {
    for (const auto& file : {protectedFile, plainFile}) {
        ZipArchive archive;
        ASSERT_TRUE(archive.LoadArchive(file).ok());
        archive.ReadPassword(kPassword);
        for (const auto& content : contents) {
            const Result<std::string> read = Streamed(archive, content.name);
            ASSERT_TRUE(read.ok()) << read.reason();
            EXPECT_EQ(*read, content.bytes) << content.name;
        }
    }
}

TEST_F(ZipArchiveReadTest, ReadEntryFailuresAreKinded) {
    std::string damaged = ReadFileBytes(protectedFile);
    const auto data = LocateEntryData(damaged, 1);  // Inbox.dbx
    damaged[data.offset + data.size / 2] ^= 0x01;
    WriteFileBytes(dir / "damaged.qbk", damaged);
    const Status full = Status::Error("no room", ErrorKind::kDiskFull);
    const struct {
        const char* what;
        std::filesystem::path file;
        std::string password;
        std::string entry;
        bool sinkFails;
        ErrorKind kind;
    } cases[] = {
        {"wrong password", protectedFile, "wrong", "Inbox.dbx", false, ErrorKind::kCorrupt},
        {"damaged data", dir / "damaged.qbk", kPassword, "Inbox.dbx", false, ErrorKind::kCorrupt},
        {"no such entry", protectedFile, kPassword, "Outbox.dbx", false, ErrorKind::kNotFound},
        {"the sink fails", protectedFile, kPassword, "Inbox.dbx", true, ErrorKind::kDiskFull},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ZipArchive archive;
        ASSERT_TRUE(archive.LoadArchive(c.file).ok());
        archive.ReadPassword(c.password);
        const Status read = archive.ReadEntry(
            c.entry, [&](std::span<const std::byte>) { return c.sinkFails ? full : Status::Ok(); });
        EXPECT_TRUE(read.is(c.kind)) << read.reason();
        EXPECT_NE(read.reason().find(c.sinkFails ? full.reason() : c.entry), std::string::npos)
            << read.reason();
    }
}

TEST_F(ZipArchiveReadTest, LookupEntryFindsExactNamesOnly) {
    ZipArchive archive;
    EXPECT_FALSE(archive.LookupEntry("Inbox.dbx").has_value()) << "no archive loaded";
    ASSERT_TRUE(archive.LoadArchive(protectedFile).ok());
    const auto entry = archive.LookupEntry("Inbox.dbx");
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->name, "Inbox.dbx");
    EXPECT_EQ(entry->size, contents[1].bytes.size());
    EXPECT_TRUE(entry->encrypted);
    EXPECT_FALSE(archive.LookupEntry("inbox.dbx").has_value());
    EXPECT_FALSE(archive.LookupEntry("Inbox").has_value());
    archive.ClearArchive();
    EXPECT_FALSE(archive.LookupEntry("Inbox.dbx").has_value()) << "after ClearArchive";
}

TEST_F(ZipArchiveReadTest, UnprotectedArchiveNeedsNoPassword) {
    ZipArchive archive;
    EXPECT_FALSE(archive.ArchiveHasPassword(plainFile));
    ASSERT_TRUE(archive.LoadArchive(plainFile).ok());
    EXPECT_TRUE(archive.CheckReadPassword());
    archive.ReadPassword("anything");
    EXPECT_TRUE(archive.CheckReadPassword());
    EXPECT_TRUE(archive.ExtractEntryTo("Inbox.dbx", restoreFolder / "Inbox.dbx").ok());
    EXPECT_EQ(ReadFileBytes(restoreFolder / "Inbox.dbx"), contents[1].bytes);
}

TEST_F(ZipArchiveReadTest, EveryEntryOfAProtectedArchiveMustBeEncryptedWithWinZipAes) {
    struct Case {
        const char* what;
        std::string entry;
        zip_uint16_t encryption;
        std::string password;
        bool opens;
    };
    const Case cases[] = {
        {"plain entry added", "extra.txt", ZIP_EM_NONE, "", false},
        {"information file replaced by a plain one", "quillet.dat", ZIP_EM_NONE, "", false},
        {"entry replaced under the traditional cipher", "Inbox.dbx", ZIP_EM_TRAD_PKWARE, kPassword,
         false},
        {"entry replaced under WinZip AES", "Inbox.dbx", ZIP_EM_AES_256, kPassword, true},
    };
    const std::string planted = "BackupItem=00010000\r\nBackupMails=Inbox.dbx\r\n";
    int number = 0;
    for (const Case& c : cases) {
        const auto file = dir / ("changed-" + std::to_string(++number) + ".qbk");
        std::filesystem::copy_file(protectedFile, file);
        PutEntryWithLibzip(file, c.entry, planted, c.encryption, c.password);

        ZipArchive archive;
        const Status loaded = archive.LoadArchive(file);
        archive.ReadPassword(kPassword);
        if (c.opens) {
            ASSERT_TRUE(loaded.ok()) << c.what << ": " << loaded.reason();
            EXPECT_TRUE(archive.CheckReadPassword()) << c.what;
            EXPECT_TRUE(archive.verifyEntries().ok()) << c.what;
            EXPECT_TRUE(archive.ExtractEntryTo(c.entry, restoreFolder / "Inbox.dbx").ok());
            EXPECT_EQ(ReadFileBytes(restoreFolder / "Inbox.dbx"), planted) << c.what;
            continue;
        }
        EXPECT_FALSE(loaded.ok()) << c.what;
        EXPECT_NE(loaded.reason().find("\"" + c.entry + "\""), std::string::npos)
            << c.what << ": " << loaded.reason();
        EXPECT_FALSE(archive.CheckReadPassword()) << c.what;
        EXPECT_FALSE(archive.verifyEntries().ok()) << c.what;
        ExpectExtractionRefused(archive, c.entry);
    }
}

}  // namespace
}  // namespace quillet::archive
