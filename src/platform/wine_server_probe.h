#pragma once

#include <filesystem>
#include <vector>

#include "platform/status.h"

namespace quillet {

// Tells whether a Wine server runs for a prefix. A running wineserver holds a write lock
// (fcntl, whole file) on the file `lock` in its server folder, which is
// `<tmpRoot>/.wine-<uid>/server-<dev>-<ino>` (dev and ino of the prefix folder in lower-case hex)
// or, with Debian's packages, the folder that `<prefix>/wineserver` records (a symbolic link to
// it, or a file whose first line is its path).
// Only reads; safe from any thread. fcntl locks belong to a process, so a lock this process holds
// itself is not seen.
class WineServerProbe {
  public:
    explicit WineServerProbe(std::filesystem::path tmpRoot = "/tmp");

    // The folders where a server for `prefix` would keep its lock file, standard place first;
    // whether they exist is not checked. Empty when the prefix folder cannot be examined.
    std::vector<std::filesystem::path> serverFolders(const std::filesystem::path& prefix) const;

    // True when any candidate folder's `lock` file is locked by another process. A missing
    // folder or lock file means no server; so does a lock state the system cannot report.
    bool isRunning(const std::filesystem::path& prefix) const;

  private:
    std::filesystem::path m_tmpRoot;
};

// Ok when no Wine server runs for `prefix`; otherwise an error telling the user to close the
// prefix's Windows programs (or run `wineserver -k`) and try again.
Status RefuseWhileWineRuns(const WineServerProbe& probe, const std::filesystem::path& prefix);

}  // namespace quillet
