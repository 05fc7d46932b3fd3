#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "mailstore/mail_export.h"
#include "platform/file_operations.h"
#include "platform/status.h"

namespace quillet::mailstore {

// What a folder of an export holds on disk: its messages and the bytes of their files.
struct FolderHoldings {
    std::uint64_t messages = 0;
    std::uint64_t bytes = 0;
    bool operator==(const FolderHoldings&) const = default;
};

// What the folder of mail at `target` holds as an export of `format` writes it: an mbox file's
// messages (its "From " lines) and size; the files of an .eml folder; the messages of a Maildir
// (`target` the folder holding cur/ and new/) whose names an export gives (IsExportedMessageName),
// so that the user's own mail beside them does not count. Fails when it cannot be read.
Result<FolderHoldings> MeasureFolder(const std::filesystem::path& target, ExportFormat format,
                                     FileOperations& files = RealFileOperations());

// The list of the folders an export has completed (kIncompleteExportFile in the output folder),
// kept on the disk while the export runs, so that an export that stops (on an error, a cancel, a
// kill or a power cut) can be gone on with: one line per folder, "<key>\t<messages>\t<bytes>",
// the key saying which folder of which store ("<path below the output folder>\t<store file>\t
// <store size>") and the rest what it held when it was complete. A later export keeps a folder the
// list names only while it still holds that. One thread.
class IncompleteExportList {
  public:
    explicit IncompleteExportList(FileOperations& files = RealFileOperations()) : m_files(files) {}
    ~IncompleteExportList();
    IncompleteExportList(const IncompleteExportList&) = delete;
    IncompleteExportList& operator=(const IncompleteExportList&) = delete;

    // Reads the list an earlier export left in `outFolder`; none, one that cannot be read or one
    // longer than an export writes lists nothing.
    void read(const std::filesystem::path& outFolder);
    // What the list read says the folder of `key` holds, when it names it.
    std::optional<FolderHoldings> listed(const std::string& key) const;

    // Adds a complete folder, on the disk before it returns: the first call writes the list anew
    // in `outFolder` (under a temporary name, flushed and renamed over the old list, never
    // through a link), later ones append a line and flush it.
    Status add(const std::filesystem::path& outFolder, const std::string& key,
               const FolderHoldings& holdings);

    // Removes the list from `outFolder`: the export completed.
    void remove(const std::filesystem::path& outFolder);

  private:
    Status failure(const std::filesystem::path& outFolder, int error) const;

    FileOperations& m_files;
    std::map<std::string, FolderHoldings> m_read;
    int m_fd = -1;  // the list being written, open for appending
};

}  // namespace quillet::mailstore
