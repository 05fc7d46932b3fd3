#include "schedule/register_backup_job.h"

namespace quillet {
namespace {

Status Refuse(MessageService& messages, const Status& failure) {
    messages.showMessage("The task was not scheduled: " + failure.reason() + ".",
                         MessageIcon::Critical, MessageButtons::Ok);
    return failure;
}

}  // namespace

std::string JobScheduledMessage(int number) {
    return "Task " + std::to_string(number) + " has been scheduled.";
}

Result<int> RegisterBackupJob(MessageService& messages, Scheduler& scheduler,
                              const std::string& program, const BackupJobRequest& request) {
    const JobCommandLine job{request.identityKey, request.itemMask, request.password,
                             request.backupFile};
    auto record = BuildJobRecord(request.startTime, request.dayList, job, program);
    if (!record) {
        messages.showMessage("Invalid start time.", MessageIcon::Exclamation, MessageButtons::Ok);
        return record.status();
    }
    if (Status valid = CheckJobValues(job); !valid) return Refuse(messages, valid);
    auto number = scheduler.addJob(*record);
    if (!number) return Refuse(messages, number.status());
    messages.showMessage(JobScheduledMessage(*number), MessageIcon::None, MessageButtons::Ok);
    return number;
}

}  // namespace quillet
