#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "archive/archive.h"
#include "platform/status.h"

struct zip;

namespace quillet::archive {

// A zip archive opened for reading with libzip, its entry names checked, its entries read in full
// with every check: decryption, WinZip AES authentication, inflation, CRC and size.
//
// Entries are read through libzip as stored (still compressed) data and inflated here. WinZip AES
// entries are read still encrypted and deciphered and authenticated here (WinZipAesCipher), in
// large batches; other encrypted entries are deciphered by libzip. While an entry is read, its
// stored data is read and deciphered on a second thread (ReadAhead), ahead of the inflating one;
// the sink is called on the calling thread.
//
// Not thread-safe: one thread at a time.
class ZipReader {
  public:
    // Receives the entry's data in order; a failure stops the reading and is returned.
    using Sink = std::function<Status(std::span<const std::byte>)>;

    ZipReader() = default;
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    // Opens `file` (closing the archive opened before) with libzip's consistency check. Fails with
    // the reason when it cannot be read as a zip archive, or an entry name is not a plain file name
    // or names the same file as another (exactly, or when the case of letters is ignored), or is
    // recorded as something other than a plain file (a symbolic link, a folder), or when some
    // entry is encrypted and another is not encrypted with WinZip AES.
    Status open(const std::filesystem::path& file);
    void close();
    bool isOpen() const { return m_archive != nullptr; }

    // Entries in archive order.
    const std::vector<ArchiveEntry>& entries() const { return m_entries; }
    // The position of the entry of exactly that name; constant time on average, so that a backup
    // of tens of thousands of messages is planned without comparing every name with every entry.
    std::optional<std::size_t> find(std::string_view name) const;

    // Reads entry `position` to its end with `password` (ignored for entries not encrypted),
    // handing the data to `sink`. Fails with the reason: wrong or missing password, failed
    // authentication, damaged data, CRC or size mismatch, unsupported method.
    Status readEntry(std::size_t position, const std::string& password, const Sink& sink) const;

  private:
    struct EntryDetails {
        std::uint64_t index;
        std::uint64_t compressedSize;
        std::uint32_t crc;
        bool crcKnown;
        std::uint16_t method;
        std::uint16_t encryption;
    };

    zip* m_archive = nullptr;
    std::filesystem::path m_file;
    std::vector<ArchiveEntry> m_entries;
    std::vector<EntryDetails> m_details;
    std::unordered_map<std::string, std::size_t> m_positions;  // entry name -> position
};

}  // namespace quillet::archive
