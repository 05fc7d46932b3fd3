#include "support/archive/backup_reader.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstdint>
#include <regex>
#include <stdexcept>

#include "archive/zip_archive.h"
#include "support/platform/temp_dir.h"

namespace quillet::testing {
namespace {

std::size_t Little(const std::string& bytes, std::size_t at, int width) {
    std::size_t value = 0;
    for (int i = width - 1; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
    }
    return value;
}

constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kSizesAfterData = 0x8;  // general purpose flag bit 3

}  // namespace

void PutEntryWithLibzip(const std::filesystem::path& file, const std::string& name,
                        const std::string& bytes, std::uint16_t encryption,
                        const std::string& password) {
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), 0, &error);
    ASSERT_NE(archive, nullptr) << file << ": libzip error " << error;
    zip_source_t* source = zip_source_buffer(archive, bytes.data(), bytes.size(), 0);
    const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE);
    if (index < 0) zip_source_free(source);
    const auto put = static_cast<zip_uint64_t>(index);
    if (index < 0 || zip_set_file_compression(archive, put, ZIP_CM_DEFLATE, 0) != 0 ||
        zip_file_set_encryption(archive, put, encryption,
                                encryption == ZIP_EM_NONE ? nullptr : password.c_str()) != 0 ||
        zip_close(archive) != 0) {
        ADD_FAILURE() << "cannot put " << name << " into " << file << ": " << zip_strerror(archive);
        zip_discard(archive);
    }
}

ZipEntryData LocateEntryData(const std::string& zipBytes, std::size_t entryIndex) {
    std::size_t header = 0;
    for (std::size_t i = 0;; ++i) {
        if (Little(zipBytes, header, 4) != 0x04034b50) {
            throw std::runtime_error("no local header where expected");
        }
        if ((Little(zipBytes, header + 6, 2) & kSizesAfterData) != 0) {
            throw std::runtime_error("the sizes are after the data, not in the local header");
        }
        const std::size_t data = header + kLocalHeaderSize + Little(zipBytes, header + 26, 2) +
                                 Little(zipBytes, header + 28, 2);
        const std::size_t size = Little(zipBytes, header + 18, 4);
        if (i == entryIndex) return {data, size};
        header = data + size;
    }
}

std::optional<ZipEntryData> FindEntryData(const std::string& zipBytes, std::string_view name) {
    const std::size_t end = zipBytes.rfind(std::string("PK\x05\x06", 4));
    if (end == std::string::npos) return std::nullopt;
    const std::size_t records = Little(zipBytes, end + 10, 2);
    std::size_t at = Little(zipBytes, end + 16, 4);
    for (std::size_t i = 0; i < records; ++i) {
        if (zipBytes.compare(at, 4, std::string("PK\x01\x02", 4)) != 0) return std::nullopt;
        const std::size_t compressed = Little(zipBytes, at + 20, 4);
        const std::size_t nameLength = Little(zipBytes, at + 28, 2);
        const std::size_t extraLength = Little(zipBytes, at + 30, 2);
        const std::size_t commentLength = Little(zipBytes, at + 32, 2);
        const std::size_t local = Little(zipBytes, at + 42, 4);
        if (zipBytes.compare(at + kCentralHeaderSize, nameLength, name) == 0 &&
            nameLength == name.size()) {
            const std::size_t localName = Little(zipBytes, local + 26, 2);
            const std::size_t localExtra = Little(zipBytes, local + 28, 2);
            return ZipEntryData{local + kLocalHeaderSize + localName + localExtra, compressed};
        }
        at += kCentralHeaderSize + nameLength + extraLength + commentLength;
    }
    return std::nullopt;
}

BackupEntries ReadBackupEntries(const std::filesystem::path& file, const std::string& password) {
    BackupEntries contents;
    archive::ZipArchive archive;
    const Status loaded = archive.LoadArchive(file);
    if (!loaded) {
        ADD_FAILURE() << file << ": " << loaded.reason();
        return contents;
    }
    archive.ReadPassword(password);
    TempDir extracted;
    for (const archive::ArchiveEntry& entry : archive.entries()) {
        const Status written = archive.ExtractEntryTo(entry.name, extracted / entry.name);
        EXPECT_TRUE(written.ok()) << entry.name << ": " << written.reason();
        contents.emplace_back(entry.name, ReadFileBytes(extracted / entry.name));
    }
    return contents;
}

std::string MaskWorkFileNames(const std::string& text) {
    static const std::regex kWorkFile("(OB[ARS])[0-9A-F]{1,4}(\\.TMP)");
    return std::regex_replace(text, kWorkFile, "$1#$2");
}

std::vector<std::string> MaskedEntryNames(const BackupEntries& entries) {
    std::vector<std::string> names;
    for (const auto& [name, content] : entries) names.push_back(MaskWorkFileNames(name));
    return names;
}

std::vector<std::string> SplitCrLfLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            ADD_FAILURE() << "text after the last CR LF: " << text.substr(start);
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

BackupContents ReadBackupContents(const std::filesystem::path& file, const std::string& password) {
    const BackupEntries entries = ReadBackupEntries(file, password);
    BackupContents contents;
    contents.entryNames = MaskedEntryNames(entries);
    for (const auto& [name, content] : entries) {
        if (name != "quillet.dat") continue;
        for (const std::string& line : SplitCrLfLines(content)) {
            contents.informationLines.push_back(MaskWorkFileNames(line));
        }
    }
    return contents;
}

}  // namespace quillet::testing
