#pragma once

#include <string>

#include "platform/message_service.h"
#include "platform/status.h"
#include "schedule/scheduler.h"

namespace quillet {

// The values of one backup job, as the schedule window or the command line collects them.
struct BackupJobRequest {
    std::string identityKey;
    std::string itemMask;
    std::string password;
    std::string backupFile;
    std::string startTime;  // the start-time text, e.g. "9:00"
    std::string dayList;    // day codes joined by ",", e.g. "M,TH"; "" for a job that runs once
};

// Registers a backup job that starts `program` and tells the user: "Task N has been scheduled."
// (no icon) when the scheduler took it; "Invalid start time." (exclamation) for a start time that
// is no time of day; otherwise a message that says why nothing was registered (critical). Returns
// the job number or the failure.
Result<int> RegisterBackupJob(MessageService& messages, Scheduler& scheduler,
                              const std::string& program, const BackupJobRequest& request);

// The message that reports job `number` registered.
std::string JobScheduledMessage(int number);

}  // namespace quillet
