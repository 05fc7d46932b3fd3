#pragma once

#include "backup/backup_run.h"
#include "backup/restore_run.h"

namespace quillet {

// The exit status of every program run: quillet-cli's commands and the scheduled backup alike.
inline constexpr int kExitOk = 0;           // everything succeeded
inline constexpr int kExitPartial = 1;      // the run completed but some item failed
inline constexpr int kExitNothingDone = 2;  // bad input, refusal or error: nothing was done

// kExitNothingDone when the run did nothing, else kExitPartial when an item failed, else kExitOk.
int ExitStatusFor(bool done, bool anyItemFailed);

// A backup did something when it wrote the backup file.
int ExitStatusOf(const BackupOutcome& outcome);

// A restore did something when it started and at least one item ran.
int ExitStatusOf(const RestoreOutcome& outcome);

}  // namespace quillet
