#pragma once

#include <filesystem>

namespace quillet {

// Removal of a run's own temporaries when the process is ended by SIGINT, SIGTERM or SIGHUP.
//
// Listing a path installs a handler for each of those signals whose action is still the default
// one (an ignored signal or a handler someone else installed is left alone; one installed by an
// earlier listing stays). The handler removes everything listed at that moment, then restores the
// default action and raises the signal again, so that the process ends with the status the signal
// gives (a parent sees "terminated by SIGTERM", a shell 143).
//
// Two kinds of listing: a folder, removed with everything in it; and the files of a folder that a
// name test takes (a run's temporaries there, however many). A run that makes thousands of files
// in one folder (a restore extracts every message of a store before it renames the first) lists
// the folder and its test once, not each file: listings of the same folder and test share one
// slot, counted, so that the slots bound the folders a run works in, never its files. The
// handler then lists the folder and removes each file the test takes. This was chosen over slots
// that grow: growing needs memory allocated and published outside the handler for every file,
// while a folder listing costs the handler only system calls, in proportion to the folder.
//
// The handler makes system calls only (open, getdents64, unlink, rmdir, close, sigaction, raise,
// all safe in a signal handler), calls the name tests, and touches no heap: the paths wait in
// fixed buffers, and each slot is claimed by the handler with one atomic exchange, so that a
// thread unlisting its path at the same moment never hands the buffer to another path while the
// handler reads it. Whatever the handler cannot reach (more than kSignalCleanupSlots folders at
// once, a path longer than PATH_MAX, SIGKILL) is left to the next run, which removes the
// leftovers of dead processes by the process id in their names.
//
// May be used from several threads.

inline constexpr int kSignalCleanupSlots = 512;

enum class CleanupKind {
    // A folder and everything in it (symbolic links are removed, never followed).
    kFolder,
    // The files directly in a folder whose names a CleanupNameTest takes.
    kMatchingFiles,
};

// Whether the handler is to remove the file named `name` (a name in the folder, no path). Called
// in the signal handler: it may read the name and make system calls that are safe there, and
// nothing else (no heap, no lock).
using CleanupNameTest = bool (*)(const char* name);

// One listed path; unlisted when destroyed (the path itself is left alone then).
class SignalCleanupEntry {
  public:
    SignalCleanupEntry() = default;  // lists nothing
    // Lists a folder (CleanupKind::kFolder) to be removed whole.
    SignalCleanupEntry(const std::filesystem::path& path, CleanupKind kind);
    // Lists the files in `folder` that `test` takes (CleanupKind::kMatchingFiles). Entries of the
    // same folder and test share a slot; it is free again when the last of them is unlisted.
    SignalCleanupEntry(const std::filesystem::path& folder, CleanupNameTest test);
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

// Lets a write past the process's file size limit (`ulimit -f`) fail with EFBIG, which the writers
// report as a full disk (see KindOfWriteError), instead of SIGXFSZ ending the process without a
// word and before it can say what it completed. Each program's main() calls it first.
void TreatFileSizeLimitAsFullDisk();

}  // namespace quillet
