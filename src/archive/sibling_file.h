#pragma once

#include <filesystem>
#include <string>

#include "platform/status.h"

namespace quillet::archive {

// Temporary files written beside a file they will replace, so that the replacement is one
// rename within a folder: a crash or a failure leaves the old file or the new one, never a mix.
//
// Our temporaries are named ".<target name>.quillet-<process id>-<random>" (plus any suffix a
// library appends to build its own temporary from ours). The process id lets a later run tell the
// leftovers of a crashed run from the temporaries of a run still at work.
//
// All functions may be called from any thread; they share no state.

// Creates a new, empty temporary file beside `target`, with mode 0666 less the umask.
// Returns its path, or the reason it could not be created (folder missing or not writable...).
Result<std::filesystem::path> CreateSiblingTemp(const std::filesystem::path& target);

// Removes the temporaries of `target` whose process no longer runs. Failures are ignored: a
// leftover that cannot be removed harms nothing but space.
void RemoveStaleSiblingTemps(const std::filesystem::path& target);

// Flushes a file's data and metadata to the disk.
Status SyncFile(const std::filesystem::path& file);

// Renames `temp` over `target` (same folder) and flushes the folder, so the rename itself survives
// a crash. Fails only when the rename fails; then `target` is unchanged and `temp` is left for the
// caller to remove.
Status ReplaceWithSibling(const std::filesystem::path& temp, const std::filesystem::path& target);

// Removes a file, ignoring a failure (used on paths that are already failing).
void RemoveQuietly(const std::filesystem::path& file);

// "<what> '<path>': <system message for errorNumber>".
std::string SystemFailure(const std::string& what, const std::filesystem::path& path,
                          int errorNumber);

}  // namespace quillet::archive
