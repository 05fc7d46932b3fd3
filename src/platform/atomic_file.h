#pragma once

#include <filesystem>
#include <functional>
#include <string_view>

#include "platform/status.h"

namespace quillet {

// Replaces a file so that a crash or a full disk at any moment leaves either the old file or the
// complete new one, never a mix: the content goes to a temporary file `.<name>.quillet-XXXXXX` in
// the target's folder, which is flushed, closed, renamed over the target, and the folder flushed.
// The new file keeps the old one's permission bits (and owner and group, where the process may
// set them); a new file gets mode 0644. When the target is a symbolic link, the file it leads to
// is replaced and the link stays.
// On failure the temporary file is removed, the target is left as it was, and the reason names
// the file and the system's error text (for example "No space left on device").
// Safe from several threads for different targets.
Status ReplaceFileAtomically(const std::filesystem::path& target, std::string_view content);

// The same, with the content written by `writeContent` to the temporary file's descriptor
// (positioned at its start). An error it returns abandons the replacement and is passed on,
// prefixed with the target's name. The callback must not close the descriptor.
Status ReplaceFileAtomically(const std::filesystem::path& target,
                             const std::function<Status(int fd)>& writeContent);

// Removes temporaries of ReplaceFileAtomically for `targetName` left in `folder` by a run that
// was killed. Call it only while holding whatever keeps other writers of that target away (the
// prefix lock): it would otherwise remove a temporary still being written. Errors are ignored;
// a leftover that cannot be removed is harmless.
void RemoveStaleTemporaries(const std::filesystem::path& folder, std::string_view targetName);

// Writes all of `data` to `fd`, continuing after interrupted and partial writes. On failure the
// reason is the system's error text alone; callers add the file's name.
Status WriteAllToFd(int fd, std::string_view data);

}  // namespace quillet
