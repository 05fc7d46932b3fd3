#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>

#include "support/platform/child_process.h"

namespace quillet::testing {

// Plays wineserver: a child process that holds the write lock on `lockFile` until told to end.
class FakeWineServer {
  public:
    // Creates the lock file (its folder must exist) and takes the lock in a child process.
    explicit FakeWineServer(const std::filesystem::path& lockFile);
    ~FakeWineServer() { stop(); }

    bool locked() const { return m_locked; }

    // Ends the child and waits for it; its lock goes with it.
    void stop();

  private:
    Pipe m_ready;
    Pipe m_quit;
    pid_t m_child = -1;
    bool m_locked = false;
};

// The lock file a Wine server for `prefix` would hold, in the standard server folder below
// `tmpRoot` (the folder is created).
std::filesystem::path StandardServerLockFile(const std::filesystem::path& tmpRoot,
                                             const std::filesystem::path& prefix);

// Lists a process in a stand-in for /proc below `procRoot`: `<procRoot>/<pid>/comm` holds `name`
// and `<procRoot>/<pid>/cwd` is a symbolic link to `workingFolder` (which need not exist). The
// entry belongs to the user running the test.
void AddFakeProcess(const std::filesystem::path& procRoot, int pid, const std::string& name,
                    const std::filesystem::path& workingFolder);

}  // namespace quillet::testing
