#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_observer.h"
#include "platform/durable_file.h"
#include "platform/status.h"

namespace quillet::archive {

// One entry of a loaded archive.
struct ArchiveEntry {
    std::string name;        // a plain file name (checked when the archive was loaded)
    std::uint64_t size = 0;  // uncompressed bytes
    bool encrypted = false;
};

// The zip archive that holds a backup: written from files, read back entry by entry. It holds at
// most one archive to write (from CreateArchive) and one to read (from LoadArchive) until
// ClearArchive.
//
// Entries are flat: each is named by a plain file name, in the order added. A protected archive is
// encrypted with WinZip AES-256, never with the traditional zip cipher.
//
// Not thread-safe: one thread uses an archive at a time. Observer calls arrive on that thread
// during the archive's calls.
class Archive {
  public:
    virtual ~Archive() = default;

    // The observer to report events to (may be null); it must outlive its use.
    virtual void setObserver(ArchiveObserver* observer) = 0;

    // Forgets the archive held for writing and for reading, the entries added, and both passwords
    // and the encryption setting.
    virtual void ClearArchive() = 0;

    // Starts an empty archive to be written to `archiveFile` by SaveArchive. Nothing is written
    // yet; an existing file there stays untouched until SaveArchive succeeds.
    virtual Status CreateArchive(const std::filesystem::path& archiveFile) = 0;

    // Adds `hostFile` as a top-level entry named by its file name, after the entries already
    // added. The file must exist now; it is read (streamed) only by SaveArchive. Returns the
    // entry's position (from 0), or why it was refused: no archive created, not a regular file, a
    // name that is not a plain file name, or a name already added (also when only the case of
    // letters differs).
    virtual Result<int> AddFileEntry(const std::filesystem::path& hostFile) = 0;

    // Makes SaveArchive write to `archiveFile` instead, keeping the entries added. Fails when no
    // archive has been created or the path names no file. The new name is one the program chose,
    // not the user: SaveArchive never writes through a symbolic link there, and fails, naming it,
    // when one is there (see ReplaceOptions::followLink).
    virtual Status RetargetArchive(const std::filesystem::path& archiveFile) = 0;

    // Whether SaveArchive encrypts, with the WritePassword. Encryption with an empty password is
    // no encryption.
    virtual void EncryptOnWrite(bool encrypt) = 0;
    virtual void WritePassword(std::string password) = 0;

    // Writes the entries to the CreateArchive file: into a temporary file beside it, flushed,
    // re-opened and checked, then renamed over it. On failure (no archive created, a file
    // unreadable, folder not writable, disk full...) returns the reason, the previous file at that
    // path is unchanged and no temporary file remains. Reports EntryAdding per entry, SaveProgress,
    // and SaveDone with the outcome, always, just before returning.
    virtual Status SaveArchive() = 0;

    // Whether `archiveFile` is an archive with at least one encrypted entry. False also when it
    // cannot be read as an archive (LoadArchive then says why).
    virtual bool ArchiveHasPassword(const std::filesystem::path& archiveFile) = 0;

    // Opens `archiveFile` for reading, replacing the archive read before. Fails, with the reason,
    // when the file is missing, not a zip archive, inconsistent, or holds an entry name that is
    // not a plain file name or that names the same file as another (names equal when the case of
    // letters is ignored count as the same). An archive with an encrypted entry is protected, and
    // then every entry must be encrypted with WinZip AES: otherwise it fails, naming the first
    // entry that is not.
    virtual Status LoadArchive(const std::filesystem::path& archiveFile) = 0;

    // The password for reading encrypted entries.
    virtual void ReadPassword(std::string password) = 0;

    // Whether the ReadPassword opens the loaded archive: true when no entry is encrypted, or when
    // an encrypted entry reads to its end and passes its authentication and CRC checks. False for
    // a wrong password, a damaged archive, or no archive loaded.
    virtual bool CheckReadPassword() = 0;

    // The loaded archive's entry of that exact name, if any.
    virtual std::optional<ArchiveEntry> LookupEntry(std::string_view name) = 0;

    // Writes entry `name` of the loaded archive to `destinationFile`, replacing a file there:
    // through a temporary file in the destination's folder that is read in full and checked
    // (decryption, authentication, CRC, size), flushed and renamed over the destination, with
    // mode 0644. On failure the destination is unchanged and no temporary file remains. Reports
    // EntryExtracting first. A failure to read the entry (damaged data, wrong password) is
    // ErrorKind::kCorrupt; a failure to write is kIo, or kDiskFull for a full disk, and says
    // which folder is full.
    virtual Status ExtractEntryTo(std::string_view name,
                                  const std::filesystem::path& destinationFile) = 0;

    // ExtractEntryTo up to the rename: entry `name` read in full, checked and flushed into a
    // temporary file beside `destinationFile`, which the replacement returned puts in place with
    // commit(). Destroying it before commit() removes the temporary. On failure the destination is
    // unchanged and no temporary file remains; its kind is as for ExtractEntryTo. Reports
    // EntryExtracting first. `folderSwept`: the caller has removed the stale temporaries of the
    // destination's folder already (ReplaceOptions::folderSwept), as a caller extracting many
    // files into one folder does once for all of them.
    virtual Result<std::unique_ptr<FileReplacement>> ExtractEntryToTemporary(
        std::string_view name, const std::filesystem::path& destinationFile, bool folderSwept) = 0;

    // Receives an entry's data in order; a failure stops the reading.
    using EntrySink = std::function<Status(std::span<const std::byte>)>;

    // Reads entry `name` of the loaded archive to its end, handing its data to `sink` in order,
    // with the checks of ExtractEntryTo (decryption, authentication, CRC, size). The sink sees data
    // before the checks at the entry's end have passed: keep what it received only when this
    // succeeds. Fails with kNotFound when no archive is loaded or it holds no such entry; with
    // kCorrupt, naming the entry, when the entry cannot be read (damaged data, wrong password);
    // with the sink's own failure, unchanged, when the sink fails.
    virtual Status ReadEntry(std::string_view name, const EntrySink& sink) = 0;

    // The loaded archive's entries in archive order (empty when none is loaded).
    virtual std::vector<ArchiveEntry> entries() const = 0;

    // Reads every entry of the loaded archive to its end with the ReadPassword, checking each
    // (authentication, CRC, size); returns the first failure.
    virtual Status verifyEntries() = 0;
};

}  // namespace quillet::archive
