#pragma once

#include <filesystem>

#include "platform/environment.h"
#include "platform/file_operations.h"
#include "platform/signal_cleanup.h"
#include "platform/status.h"

namespace quillet {

// A private folder for one run's work files (mode 0700, named `quillet-<process id>-XXXXXX`),
// removed with everything in it when the object is destroyed, and also when the process is ended
// by SIGINT, SIGTERM or SIGHUP (see platform/signal_cleanup.h).
//
// A run ended by SIGKILL or a crash leaves its folder behind, with the registry exports in it.
// Creating a folder first removes such leftovers from the folder it is created in: folders named
// exactly `quillet-<process id>-XXXXXX` (six letters or digits) whose process no longer runs,
// owned by this user, not symbolic links. Anything else there is never touched. A leftover whose
// process id a new process has taken stays until that process ends.
//
// Create() and the destructor may be called from several threads.
class WorkFolder {
  public:
    // Creates the folder in $TMPDIR when that is set to an absolute folder, else in /tmp.
    static Result<WorkFolder> Create(const Environment& env);
    static Result<WorkFolder> Create() { return Create(Environment::Process()); }
    // Creates the folder inside `parent`. The leftovers are looked for through `files`.
    static Result<WorkFolder> CreateIn(const std::filesystem::path& parent,
                                       FileOperations& files = RealFileOperations());

    // The folder Create(env) uses.
    static std::filesystem::path TemporaryRoot(const Environment& env);

    // Removes the leftovers of dead runs, as Create does, from the folder Create(env) uses, and
    // creates nothing. Every command of both programs calls it once as it starts (whatever the
    // command, making a work folder or not), so that the work files a killed run left (the
    // accounts text of a backup among them) do not wait for a later run's work folder. Errors
    // are ignored: a leftover that stays harms nothing but space, and the next run tries again.
    static void RemoveDeadRunsFolders(const Environment& env,
                                      FileOperations& files = RealFileOperations());

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
    SignalCleanupEntry m_signalCleanup;
};

}  // namespace quillet
