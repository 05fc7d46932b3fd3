#pragma once

#include <optional>
#include <string>

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

// Why a backup job was not registered.
enum class JobRefusal {
    kStartTime,  // the start-time text is no time of day
    kDayList,    // a piece of the day list names no day
    kJobValue,   // a value a scheduled job cannot carry (see CheckJobValues)
    kProgram,    // the program the job would start is not there or cannot be run
    kScheduler,  // the scheduler did not take the job
};

// What came of RegisterBackupJob: the job's number, or the refusal and its reason. Each front
// end words and shows it itself.
struct JobRegistration {
    std::optional<int> number;                    // set when the scheduler took the job
    JobRefusal refusal = JobRefusal::kScheduler;  // when there is no number
    Status reason = Status::Ok();                 // when there is no number

    bool scheduled() const { return number.has_value(); }
};

// Registers a backup job that starts `program`, checking first, in this order, the start time,
// the day list (FirstPieceNamingNoDay), the values (CheckJobValues) and that `program` is a file
// this user can run. Shows and asks nothing.
JobRegistration RegisterBackupJob(Scheduler& scheduler, const std::string& program,
                                  const BackupJobRequest& request);

// The report of job `number` registered: "Task N has been scheduled."
std::string JobScheduledMessage(int number);

// The report of a job refused for `reason` (all refusals but the start time's, which the schedule
// window reports in its own words): "The task was not scheduled: <reason>."
std::string JobNotScheduledMessage(const Status& reason);

}  // namespace quillet
