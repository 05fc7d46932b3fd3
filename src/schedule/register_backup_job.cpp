#include "schedule/register_backup_job.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <utility>

#include "schedule/day_codes.h"

namespace quillet {
namespace {

JobRegistration Refused(JobRefusal refusal, Status reason) {
    return JobRegistration{.number = std::nullopt, .refusal = refusal, .reason = std::move(reason)};
}

}  // namespace

std::string JobScheduledMessage(int number) {
    return "Task " + std::to_string(number) + " has been scheduled.";
}

std::string JobNotScheduledMessage(const Status& reason) {
    return "The task was not scheduled: " + reason.reason() + ".";
}

JobRegistration RegisterBackupJob(Scheduler& scheduler, const std::string& program,
                                  const BackupJobRequest& request) {
    const JobCommandLine job{request.identityKey, request.itemMask, request.password,
                             request.backupFile};
    auto record = BuildJobRecord(request.startTime, request.dayList, job, program);
    if (!record) return Refused(JobRefusal::kStartTime, record.status());
    if (const auto piece = FirstPieceNamingNoDay(request.dayList)) {
        return Refused(
            JobRefusal::kDayList,
            Status::Error("\"" + *piece + "\" is not a day; days are " + DayListFromDays(0x7F),
                          ErrorKind::kBadInput));
    }
    if (Status valid = CheckJobValues(job); !valid) {
        return Refused(JobRefusal::kJobValue, std::move(valid));
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(program, error) || access(program.c_str(), X_OK) != 0) {
        return Refused(JobRefusal::kProgram,
                       Status::Error("the program a scheduled job starts, " + program +
                                         ", is not there or cannot be run",
                                     ErrorKind::kNotFound));
    }
    auto number = scheduler.addJob(*record);
    if (!number) return Refused(JobRefusal::kScheduler, number.status());
    return JobRegistration{.number = *number};
}

}  // namespace quillet
