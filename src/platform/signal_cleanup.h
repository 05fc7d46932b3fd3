#pragma once

#include <filesystem>

namespace quillet {

// Removal of a run's own temporaries when the process is ended by SIGINT, SIGTERM or SIGHUP.
//
// Listing a path installs a handler for each of those signals whose action is still the default
// one (an ignored signal or a handler someone else installed is left alone; one installed by an
// earlier listing stays). The handler removes every path listed at that moment, then restores the
// default action and raises the signal again, so that the process ends with the status the signal
// gives (a parent sees "terminated by SIGTERM", a shell 143).
//
// The handler makes system calls only (open, getdents64, unlink, rmdir, close, sigaction, raise,
// all safe in a signal handler) and touches no heap: the paths wait in fixed buffers, and each
// slot is claimed by the handler with one atomic exchange, so that a thread unlisting its path at
// the same moment never hands the buffer to another path while the handler reads it. Whatever
// the handler cannot reach (more than kSignalCleanupSlots paths at once, a path longer than
// PATH_MAX, SIGKILL) is left to the next run, which removes the leftovers of dead processes by
// the process id in their names.
//
// May be used from several threads.

inline constexpr int kSignalCleanupSlots = 512;

enum class CleanupKind {
    // A folder and everything in it (symbolic links are removed, never followed).
    kFolder,
    // A file, and the files beside it whose names start with its name and a dot: a library that
    // writes through a temporary of its own names it so.
    kFileAndLibraryTemporaries,
};

// One listed path; unlisted when destroyed (the path itself is left alone then).
class SignalCleanupEntry {
  public:
    SignalCleanupEntry() = default;  // lists nothing
    SignalCleanupEntry(const std::filesystem::path& path, CleanupKind kind);
    ~SignalCleanupEntry() { unlist(); }
    SignalCleanupEntry(SignalCleanupEntry&& other) noexcept;
    SignalCleanupEntry& operator=(SignalCleanupEntry&& other) noexcept;
    SignalCleanupEntry(const SignalCleanupEntry&) = delete;
    SignalCleanupEntry& operator=(const SignalCleanupEntry&) = delete;

    // Whether the path is covered (false when every slot is taken or the path is too long).
    bool listed() const { return m_slot >= 0; }
    // Stops covering the path, as when the work that made it has removed or renamed it.
    void unlist();

  private:
    int m_slot = -1;
};

}  // namespace quillet
