#include "backup/unattended_backup.h"

namespace quillet {

UnattendedResult RunUnattendedBackup(ItemContext& context, const JobCommandLine& job,
                                     const std::string& timeText) {
    BackupRequest request;
    request.identityKey = job.identityKey;
    request.headerLines = UnattendedHeader(timeText);
    for (int i = 0; i < kItemCount; ++i) request.items[i] = job.itemMask[i] == '1';
    request.password = job.password;
    request.backupFile = job.backupFile;

    const BackupOutcome outcome = RunBackup(context, request, nullptr);
    UnattendedResult result;
    for (const ItemReportLine& line : ItemReport(outcome.items, RunDirection::kBackup)) {
        if (!line.succeeded) {
            result.failures.push_back(std::string(line.name) +
                                      " failed: " + std::string(line.failure));
        }
    }
    if (!outcome.written) {
        result.failures.push_back("the backup file " + job.backupFile +
                                  " was not written: " + outcome.writeFailure);
    }
    result.exitCode = ExitStatusOf(outcome);
    return result;
}

}  // namespace quillet
