#include "schedule/unattended_backup.h"

#include <algorithm>

#include "backup/identity_list.h"
#include "platform/case_fold.h"

namespace quillet {
namespace {

// Why the job must not run, or empty. A job that ticks nothing, or names an identity the prefix
// does not hold, would replace a good backup with an empty or partial one.
std::string Refusal(ItemContext& context, const JobCommandLine& job, const ItemMask& items) {
    if (Status selected = CheckItemSelected(items); !selected) return selected.reason();
    const std::vector<Identity> identities = ListIdentities(context.system.modReg());
    const bool known = std::any_of(identities.begin(), identities.end(), [&](const Identity& id) {
        return EqualsIgnoringCase(id.key, job.identityKey);
    });
    if (!known) return "the identity key " + job.identityKey + " is not an identity of this prefix";
    return {};
}

}  // namespace

UnattendedResult RunUnattendedBackup(ItemContext& context, const JobCommandLine& job,
                                     const std::string& timeText) {
    BackupRequest request;
    for (int i = 0; i < kItemCount; ++i) request.items[i] = job.itemMask[i] == '1';
    if (const std::string refusal = Refusal(context, job, request.items); !refusal.empty()) {
        return UnattendedResult{kExitNothingDone, {refusal + "; nothing was done"}};
    }
    request.identityKey = job.identityKey;
    request.headerLines = UnattendedHeader(timeText);
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
    if (outcome.keptPrevious) result.failures.push_back(outcome.keptPreviousNote());
    if (!outcome.written) {
        result.failures.push_back("the backup file " + job.backupFile +
                                  " was not written: " + outcome.writeFailure);
    }
    result.exitCode = ExitStatusOf(outcome);
    return result;
}

}  // namespace quillet
