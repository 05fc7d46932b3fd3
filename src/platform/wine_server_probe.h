#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/status.h"

namespace quillet {

// Where Wine servers keep their folders and where running processes are listed. The defaults are
// the real places; tests point them into a temporary folder.
struct WineServerPlaces {
    // The system's temporary folder: upstream Wine keeps its servers in
    // `<tmpRoot>/.wine-<uid>`, and Debian's Wine falls back to it when $TMPDIR is not set.
    std::filesystem::path tmpRoot = "/tmp";
    // $TMPDIR as the user's programs see it, when set and not empty.
    std::optional<std::filesystem::path> tmpDir;
    // Parent of the per-user runtime folders: Debian's Wine keeps its servers in
    // `<runtimeRoot>/<uid>/wine` when that user's folder exists.
    std::filesystem::path runtimeRoot = "/run/user";
    // Where running processes are listed (proc(5)).
    std::filesystem::path procRoot = "/proc";
    // The user whose servers count.
    uid_t uid = getuid();

    // The real places, with $TMPDIR taken from `env`.
    static WineServerPlaces FromEnvironment(const Environment& env);
};

// Tells whether a Wine server runs for a prefix, whichever build of Wine started it.
//
// A server works in its server folder `.../server-<dev>-<ino>` (dev and ino of the prefix folder
// in lower-case hex) and holds a write lock (fcntl, whole file) on the file `lock` in it. That
// folder lies below one of:
//  - `<tmpRoot>/.wine-<uid>` (upstream Wine);
//  - `<runtimeRoot>/<uid>/wine` (Debian's Wine when the user's runtime folder exists);
//  - a folder `wine-XXXXXX` below $TMPDIR or `<tmpRoot>` whose name, relative to that temporary
//    folder, Debian's Wine records in the file `<prefix>/wineserver` (an absolute path there, or a
//    symbolic link, is taken as it is).
// As a check that needs no folder, a process of the same user named `wineserver...` whose
// working folder is named `server-<dev>-<ino>` is a server for the prefix too.
//
// Only reads; safe from any thread. fcntl locks belong to a process, so a lock this process holds
// itself is not seen.
class WineServerProbe {
  public:
    // The real places, with `tmpRoot` as the system's temporary folder and $TMPDIR not set.
    explicit WineServerProbe(std::filesystem::path tmpRoot = "/tmp");
    explicit WineServerProbe(WineServerPlaces places);

    // `server-<dev>-<ino>` for `prefix`; nullopt when the prefix folder cannot be examined.
    static std::optional<std::string> ServerFolderName(const std::filesystem::path& prefix);

    // The folders where a server for `prefix` would keep its lock file, upstream place first,
    // without repeats; whether they exist is not checked. Empty when the prefix folder cannot be
    // examined.
    std::vector<std::filesystem::path> serverFolders(const std::filesystem::path& prefix) const;

    // The first candidate folder whose `lock` file another process holds; nullopt when there is
    // none.
    std::optional<std::filesystem::path> lockedServerFolder(
        const std::filesystem::path& prefix) const;

    // The process id of a running server for `prefix` found among the running processes; nullopt
    // when there is none (or the process list cannot be read).
    std::optional<pid_t> serverProcess(const std::filesystem::path& prefix) const;

    // True when a candidate folder's lock is held (lockedServerFolder) or a server process for
    // `prefix` runs (serverProcess). A missing folder or lock file means no server; so does a lock
    // state the system cannot report.
    bool isRunning(const std::filesystem::path& prefix) const;

  private:
    WineServerPlaces m_places;
};

// Ok when no Wine server runs for `prefix`; otherwise an error telling the user to close the
// prefix's Windows programs (or run `wineserver -k`) and try again.
Status RefuseWhileWineRuns(const WineServerProbe& probe, const std::filesystem::path& prefix);

}  // namespace quillet
