#pragma once

#include <optional>
#include <string>

namespace quillet {

// Runs the backup of a job command line without any window or message box (it works from cron,
// with no display): failures go to stderr, one line each. Returns the exit status: 0 when every
// selected item succeeded, 1 when the backup was written but an item failed, 2 when nothing was
// written (a malformed command line deletes and writes nothing).
int RunScheduledBackup(const std::optional<std::string>& prefix, const std::string& commandLine);

}  // namespace quillet
