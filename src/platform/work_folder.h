#pragma once

#include <filesystem>

#include "platform/status.h"
#include "platform/wine_prefix.h"

namespace quillet {

// A private folder for one run's work files (mode 0700, named `quillet-XXXXXX`), removed with
// everything in it when the object is destroyed, and also when the process is ended by SIGINT,
// SIGTERM or SIGHUP.
//
// Signal cleanup: each Create() installs a handler for each of those signals whose action is
// still the default one (an ignored signal or a handler someone else installed is left alone;
// one installed by an earlier Create() stays). The handler removes every live work folder, then
// restores the default action and raises the signal again, so the process ends with the status
// the signal would have given.
// The removal uses openat/fdopendir/readdir/unlinkat; fdopendir and readdir are not on POSIX's
// list of async-signal-safe calls. That is a deliberate trade-off: the process is ending anyway,
// and the worst case is a leftover folder in the temporary folder. Up to 16 folders at a time
// (paths up to PATH_MAX) are covered; more are still removed by their destructors.
//
// Create() and the destructor may be called from several threads.
class WorkFolder {
  public:
    // Creates the folder in $TMPDIR when that is set to an absolute folder, else in /tmp.
    static Result<WorkFolder> Create(const Environment& env);
    static Result<WorkFolder> Create() { return Create(Environment::Process()); }
    // Creates the folder inside `parent`.
    static Result<WorkFolder> CreateIn(const std::filesystem::path& parent);

    // The folder Create(env) uses.
    static std::filesystem::path TemporaryRoot(const Environment& env);

    WorkFolder() = default;  // holds no folder
    ~WorkFolder();
    WorkFolder(WorkFolder&& other) noexcept;
    WorkFolder& operator=(WorkFolder&& other) noexcept;
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    // Empty for a default-constructed or moved-from object.
    const std::filesystem::path& path() const { return m_path; }

  private:
    void removeNow();

    std::filesystem::path m_path;
    int m_signalSlot = -1;  // index in the list the signal handler walks, -1 when not listed
};

}  // namespace quillet
