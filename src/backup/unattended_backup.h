#pragma once

#include <string>
#include <vector>

#include "backup/backup_run.h"
#include "backup/job_command_line.h"

namespace quillet {

// Exit statuses of the scheduled backup.
inline constexpr int kUnattendedAllSucceeded = 0;
inline constexpr int kUnattendedItemFailed = 1;  // the backup was written, an item failed
inline constexpr int kUnattendedNothingWritten = 2;

struct UnattendedResult {
    int exitCode = kUnattendedNothingWritten;
    std::vector<std::string> failures;  // one line each, for stderr
};

// Makes the backup a scheduled job asks for: the items whose mask digit is "1", the header
// "Auto Backup", protected when the password is not empty. Shows nothing and asks nothing.
UnattendedResult RunUnattendedBackup(ItemContext& context, const JobCommandLine& job,
                                     const std::string& timeText);

}  // namespace quillet
