#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/status.h"

namespace quillet::mailstore {

// The folder an export writes into, held open by a descriptor, and the folders below it reached
// from that descriptor one name at a time without following symbolic links (openat with
// O_NOFOLLOW | O_DIRECTORY). Whatever links a user (or an attacker) left inside the output
// folder, nothing outside it is created, replaced or removed: a link met on the way, or standing
// where a folder of mail is to go, fails with kInUse and its path. The output folder itself may be
// reached through links: it is the user's choice. One thread.
class ExportFolders {
  public:
    ExportFolders() = default;
    ~ExportFolders();
    ExportFolders(const ExportFolders&) = delete;
    ExportFolders& operator=(const ExportFolders&) = delete;

    // Opens `outFolder`, which must exist.
    Status open(const std::filesystem::path& outFolder);

    // Checks the way to `relative` (below the output folder) without changing anything: no
    // folder on the way, nor `relative` itself, is a symbolic link or other than a folder. Parts
    // that do not exist yet are fine. `exists` tells whether `relative` itself is there.
    Status checkWay(const std::filesystem::path& relative, bool* exists) const;

    // Opens the folder `relative` below the output folder, creating what is missing (each new
    // folder is handed to `created`, its full path, before the next is made). The descriptor is
    // the caller's to close.
    Result<int> openFolder(const std::filesystem::path& relative,
                           const std::function<Status(int parent, const std::string& name,
                                                      const std::filesystem::path& made)>& created);

    // Whether `name` in the folder of `descriptor` is a symbolic link: a link there fails with
    // kInUse naming `path`.
    static Status RefuseLink(int descriptor, const std::string& name,
                             const std::filesystem::path& path);

    const std::filesystem::path& outFolder() const { return m_outFolder; }
    // The output folder's descriptor, -1 before open().
    int descriptor() const { return m_descriptor; }

  private:
    std::filesystem::path m_outFolder;
    int m_descriptor = -1;
};

// The reason given for a symbolic link in the way: "<path> is a symbolic link: the export writes
// nothing through links".
std::string LinkInTheWay(const std::filesystem::path& path);

}  // namespace quillet::mailstore
