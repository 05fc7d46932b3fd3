#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillet::testing {

// Where the stored (compressed, maybe encrypted) data of one entry lies in a zip file's bytes; for
// an encrypted entry that is salt, verifier, ciphertext and code.
struct ZipEntryData {
    std::size_t offset = 0;
    std::size_t size = 0;
};

// Entry `entryIndex` (0 first), found by walking the local headers. Throws (failing the test) when
// no local header is where one should be, or when a header leaves its sizes to the end of the data.
ZipEntryData LocateEntryData(const std::string& zipBytes, std::size_t entryIndex);

// The entry named `name`, found through the central directory; nullopt when there is none.
std::optional<ZipEntryData> FindEntryData(const std::string& zipBytes, std::string_view name);

// Puts entry `name` holding `bytes` into the zip `file` with libzip, in place of the entry of that
// name or after the others, deflated and encrypted with libzip's `encryption` method (ZIP_EM_*;
// 0 for none) and `password`; the other entries are copied as they are. Fails the current test
// when it cannot.
void PutEntryWithLibzip(const std::filesystem::path& file, const std::string& name,
                        const std::string& bytes, std::uint16_t encryption = 0,
                        const std::string& password = "");

// The entries of a backup file in archive order, name and content, read with the zip archive (the
// password is used when the file is protected). Fails the current test when it cannot be read.
using BackupEntries = std::vector<std::pair<std::string, std::string>>;
BackupEntries ReadBackupEntries(const std::filesystem::path& file,
                                const std::string& password = "");

// The same text with every work file's number replaced by "#" (OBA1F2C.TMP becomes OBA#.TMP),
// since every run picks its own.
std::string MaskWorkFileNames(const std::string& text);
// The entries' names, masked so.
std::vector<std::string> MaskedEntryNames(const BackupEntries& entries);

// Splits text at CR LF; fails the current test when the text holds something after its last
// CR LF.
std::vector<std::string> SplitCrLfLines(const std::string& text);

// What a backup file holds: its masked entry names in archive order and the masked lines of its
// information file (without their CR LF).
struct BackupContents {
    std::vector<std::string> entryNames;
    std::vector<std::string> informationLines;
};
BackupContents ReadBackupContents(const std::filesystem::path& file, const std::string& password);

}  // namespace quillet::testing
