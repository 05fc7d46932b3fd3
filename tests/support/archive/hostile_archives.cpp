#include "support/archive/hostile_archives.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstdint>
#include <optional>

#include "archive/zip_archive.h"
#include "support/archive/backup_reader.h"
#include "support/platform/temp_dir.h"

namespace quillet::testing {
namespace {
namespace fs = std::filesystem;

constexpr char kInformation[] = "BackupItem=00010000\r\nBackupMails=Inbox.dbx\r\n";
constexpr char kInbox[] = "QLTSTORE planted inbox\r\n";
constexpr std::uint16_t kMadeOnUnix = (3 << 8) | 20;
constexpr std::uint32_t kRegularFile = static_cast<std::uint32_t>(S_IFREG | 0644) << 16;

// One entry of a zip file put together byte by byte, so that its records can say anything.
struct RawEntry {
    std::string name;
    std::string data;  // as stored
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t size = 0;  // uncompressed, as recorded
    std::uint32_t externalAttributes = kRegularFile;
    // The central record points at the local header of this earlier entry instead of its own.
    std::optional<std::size_t> sharesLocalOf{};
};

std::uint32_t Crc(std::string_view bytes) {
    return static_cast<std::uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
}

RawEntry Stored(std::string name, std::string data) {
    RawEntry entry{std::move(name), std::move(data)};
    entry.crc = Crc(entry.data);
    entry.size = entry.data.size();
    return entry;
}

RawEntry Deflated(std::string name, const std::string& plain) {
    std::string packed(compressBound(static_cast<uLong>(plain.size())) + 64, '\0');
    z_stream stream{};
    EXPECT_EQ(deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY), Z_OK);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
    stream.avail_in = static_cast<uInt>(plain.size());
    stream.next_out = reinterpret_cast<Bytef*>(packed.data());
    stream.avail_out = static_cast<uInt>(packed.size());
    EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
    packed.resize(stream.total_out);
    deflateEnd(&stream);
    RawEntry entry{std::move(name), std::move(packed), 8};
    entry.crc = Crc(plain);
    entry.size = plain.size();
    return entry;
}

void Put16(std::string& out, std::uint32_t value) {
    out += static_cast<char>(value & 0xff);
    out += static_cast<char>((value >> 8) & 0xff);
}
void Put32(std::string& out, std::uint32_t value) {
    Put16(out, value & 0xffff);
    Put16(out, value >> 16);
}

// The zip file's bytes; `centralCut` leaves that many bytes off the end of the central
// directory while the end record still counts them.
std::string ZipBytes(const std::vector<RawEntry>& entries, std::size_t centralCut = 0) {
    std::string out;
    std::vector<std::uint32_t> offsets;
    for (const RawEntry& entry : entries) {
        if (entry.sharesLocalOf) {
            offsets.push_back(offsets.at(*entry.sharesLocalOf));
            continue;
        }
        offsets.push_back(static_cast<std::uint32_t>(out.size()));
        Put32(out, 0x04034b50);
        Put16(out, 20);
        Put16(out, 0);  // flags
        Put16(out, entry.method);
        Put16(out, 0);     // time
        Put16(out, 0x21);  // 1 January 1980
        Put32(out, entry.crc);
        Put32(out, static_cast<std::uint32_t>(entry.data.size()));
        Put32(out, static_cast<std::uint32_t>(entry.size));
        Put16(out, static_cast<std::uint32_t>(entry.name.size()));
        Put16(out, 0);
        out += entry.name;
        out += entry.data;
    }
    const std::size_t centralStart = out.size();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const RawEntry& entry = entries[i];
        Put32(out, 0x02014b50);
        Put16(out, kMadeOnUnix);
        Put16(out, 20);
        Put16(out, 0);
        Put16(out, entry.method);
        Put16(out, 0);
        Put16(out, 0x21);
        Put32(out, entry.crc);
        Put32(out, static_cast<std::uint32_t>(entry.data.size()));
        Put32(out, static_cast<std::uint32_t>(entry.size));
        Put16(out, static_cast<std::uint32_t>(entry.name.size()));
        Put16(out, 0);  // extra
        Put16(out, 0);  // comment
        Put16(out, 0);  // disk
        Put16(out, 0);  // internal attributes
        Put32(out, entry.externalAttributes);
        Put32(out, offsets[i]);
        out += entry.name;
    }
    const std::size_t centralSize = out.size() - centralStart;
    out.resize(out.size() - centralCut);
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, static_cast<std::uint32_t>(entries.size()));
    Put16(out, static_cast<std::uint32_t>(entries.size()));
    Put32(out, static_cast<std::uint32_t>(centralSize));
    Put32(out, static_cast<std::uint32_t>(centralStart));
    Put16(out, 0);
    return out;
}

// The sound backup every attack is added to.
std::vector<RawEntry> SoundBackup() {
    return {Stored("quillet.dat", kInformation), Deflated("Inbox.dbx", kInbox)};
}

}  // namespace

std::vector<HostileArchive> WriteHostileArchives(const fs::path& folder) {
    std::vector<HostileArchive> corpus;
    const auto write = [&](HostileArchive archive, const std::string& bytes) {
        WriteFileBytes(folder / archive.file, bytes);
        corpus.push_back(std::move(archive));
    };

    // Entry names that reach out of the folder they are extracted into, or are no file name.
    const struct {
        const char* file;
        std::string name;
    } names[] = {
        {"name-parent.zip", "../evil.dbx"},
        {"name-parent-backslash.zip", "..\\evil.dbx"},
        {"name-deep-parent.zip", "../../../../../../../../../../evil.dbx"},
        {"name-parent-inside.zip", "a/../../evil.dbx"},
        {"name-absolute.zip", "/tmp/evil.dbx"},
        {"name-absolute-backslash.zip", "\\evil.dbx"},
        {"name-drive-letter.zip", "C:\\evil.dbx"},
        {"name-drive-relative.zip", "C:evil.dbx"},
        {"name-unc.zip", "\\\\server\\share\\evil.dbx"},
        {"name-backslash.zip", "sub\\evil.dbx"},
        {"name-subfolder.zip", "sub/evil.dbx"},
        {"name-folder.zip", "sub/"},
        {"name-dot.zip", "."},
        {"name-dot-dot.zip", ".."},
        {"name-empty.zip", ""},
        {"name-control-character.zip", "bell\x07.dbx"},
        {"name-stream.zip", "Inbox.dbx:stream"},
    };
    for (const auto& hostile : names) {
        std::vector<RawEntry> entries = SoundBackup();
        entries.push_back(Stored(hostile.name, "QLTSTORE planted\r\n"));
        write({hostile.file, "entry name \"" + hostile.name + "\"", true, "is invalid"},
              ZipBytes(entries));
    }

    std::vector<RawEntry> twice = SoundBackup();
    twice.push_back(Stored("Inbox.dbx", "QLTSTORE second inbox\r\n"));
    write({"name-duplicate.zip", "one entry name twice", true, "an entry name twice"},
          ZipBytes(twice));

    std::vector<RawEntry> twins = SoundBackup();
    twins.push_back(Stored("INBOX.DBX", "QLTSTORE case twin\r\n"));
    write({"name-case-twin.zip", "names that differ only in case", true, "name the same file"},
          ZipBytes(twins));

    // A symbolic link where the store file should be: written as a link, a later write through
    // it would land outside the prefix.
    std::vector<RawEntry> link = {Stored("quillet.dat", kInformation),
                                  Stored("Inbox.dbx", "../../../../../../tmp/evil.dbx")};
    link[1].externalAttributes = static_cast<std::uint32_t>(S_IFLNK | 0777) << 16;
    write({"symlink-entry.zip", "a symbolic link entry", true, "not a plain file"}, ZipBytes(link));

    // Several central records pointing at one local entry: ten times the data from one copy.
    std::vector<RawEntry> overlapping = {Stored("quillet.dat", kInformation),
                                         Deflated("Inbox.dbx", std::string(4 << 20, '\0'))};
    for (int i = 1; i <= 9; ++i) {
        RawEntry copy = overlapping[1];
        copy.name = "Inbox" + std::to_string(i) + ".dbx";
        copy.sharesLocalOf = 1;
        overlapping.push_back(copy);
    }
    write({"overlapping-entries.zip", "central records sharing one local entry", true, ""},
          ZipBytes(overlapping));

    // An entry recording almost 4 GiB for a few bytes of data.
    std::vector<RawEntry> huge = SoundBackup();
    huge[1].size = 0xFFFFFFF0u;
    write({"huge-declared-size.zip", "a size of almost 4 GiB recorded for a few bytes", false, "",
           "Inbox.dbx"},
          ZipBytes(huge));

    // The central directory cut short: its end record still counts the missing records.
    std::vector<RawEntry> three = SoundBackup();
    three.push_back(Stored("Folders.dbx", "QLTSTORE folders\r\n"));
    write({"truncated-central-directory.zip", "a central directory missing its last record", true,
           "truncated-central-directory.zip"},
          ZipBytes(three, 30));
    const std::string whole = ZipBytes(three);
    write({"cut-in-central-directory.zip", "a file ending inside its central directory", true,
           "cut-in-central-directory.zip"},
          whole.substr(0, whole.size() - 22 - 40));

    // A protected backup with one entry put in unencrypted, as anyone able to write the file
    // could.
    {
        TempDir staging;
        const fs::path file = folder / "plain-entry-in-protected.zip";
        archive::ZipArchive zip;
        EXPECT_TRUE(zip.CreateArchive(file).ok());
        WriteFileBytes(staging / "quillet.dat", kInformation);
        WriteFileBytes(staging / "Inbox.dbx", kInbox);
        EXPECT_TRUE(zip.AddFileEntry(staging / "quillet.dat").ok());
        EXPECT_TRUE(zip.AddFileEntry(staging / "Inbox.dbx").ok());
        zip.WritePassword("secret");
        zip.EncryptOnWrite(true);
        EXPECT_TRUE(zip.SaveArchive().ok());
        PutEntryWithLibzip(file, "Inbox.dbx", "QLTSTORE planted inbox\r\n");
        corpus.push_back({file.filename().string(), "a plain entry in a protected backup", true,
                          "is not encrypted with WinZip AES"});
    }
    return corpus;
}

}  // namespace quillet::testing
