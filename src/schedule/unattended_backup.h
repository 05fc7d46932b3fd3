#pragma once

#include <string>
#include <vector>

#include "backup/backup_run.h"
#include "backup/exit_status.h"
#include "schedule/job_command_line.h"

namespace quillet {

struct UnattendedResult {
    int exitCode = kExitNothingDone;    // as ExitStatusOf the backup's outcome
    std::vector<std::string> failures;  // one line each, for stderr
};

// Makes the backup a scheduled job asks for: the items whose mask digit is "1", the header
// "Auto Backup", protected when the password is not empty. Shows nothing and asks nothing.
// Refuses with kExitNothingDone, before anything is written or deleted, a mask that ticks no
// item (kSelectItemMessage) and an identity key that is not among the prefix's identities.
UnattendedResult RunUnattendedBackup(ItemContext& context, const JobCommandLine& job,
                                     const std::string& timeText);

}  // namespace quillet
