#pragma once

#include <optional>
#include <string>

#include "platform/environment.h"

namespace quillet {

// The system a scheduled backup reads: the mounted Windows disk `windowsRoot` (its profile
// `user`, else the only one holding identities) when given, else the Wine prefix `prefix` (else
// $WINEPREFIX, else ~/.wine).
struct ScheduledSystem {
    std::optional<std::string> prefix;
    std::optional<std::string> windowsRoot;
    std::optional<std::string> user;
};

// Runs the backup of a job command line without any window or message box (it works from cron,
// with no display): failures go to stderr, one line each. Returns the exit status: 0 when every
// selected item succeeded, 1 when the backup was written but an item failed, 2 when nothing was
// written (a malformed command line deletes and writes nothing). The run is recorded in the run
// log of the state folder of `env` (see run_log.h, state_folder.h); a run-once job (QUILLET_ONCE
// of `env`) then removes its own line.
int RunScheduledBackup(const ScheduledSystem& where, const std::string& commandLine,
                       const Environment& env);

}  // namespace quillet
