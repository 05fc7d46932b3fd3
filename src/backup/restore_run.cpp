#include "backup/restore_run.h"

#include "backup/restore_handlers.h"

namespace quillet {
namespace {

constexpr int kProgressAtStart = 5;
constexpr int kProgressMaximum = 100;

}  // namespace

bool RestoreOutcome::allSucceeded() const {
    if (!started) return false;
    for (const ItemOutcome& item : items) {
        if (item.ran && !item.succeeded) return false;
    }
    return true;
}

RestoreOutcome RunRestore(ItemContext& context, OpenedBackup& backup, const RestoreRequest& request,
                          BackupProgress* progress) {
    RestoreOutcome outcome;
    if (backup.invalid()) {
        outcome.started = Status::Error(kRestoreInvalidMessage, ErrorKind::kCorrupt);
        return outcome;
    }
    if (Status selected = CheckItemSelected(request.ticked); !selected) {
        outcome.started = selected;
        return outcome;
    }
    // Outlook Express, open in the prefix, would overwrite or corrupt what is restored.
    if (Status idle = context.system.checkIdle(); !idle) {
        outcome.started = Status::Error(idle.reason(), ErrorKind::kInUse);
        return outcome;
    }

    Result<PrefixLock::Guard> held = HoldPrefixForRun(context);
    if (!held) {
        outcome.started = Status::Error(held.reason(), ErrorKind::kInUse);
        return outcome;
    }

    int progressValue = kProgressAtStart;
    if (progress != nullptr) progress->progress(progressValue);
    backup.archive().setObserver(progress);
    RestoreHandlers handlers(context, backup);
    for (int i = 0; i < kItemCount; ++i) {
        if (request.ticked[i] && backup.holds(i)) {
            if (progress != nullptr) progress->status(std::string(kItems[i].restoreStatus));
            ItemOutcome& item = outcome.items[i];
            item.ran = true;
            const Status restored = handlers.run(i, request.identityKey);
            item.succeeded = restored.ok();
            item.failure = restored.reason();
        }
        progressValue =
            i + 1 == kItemCount ? kProgressMaximum : progressValue + kItems[i].restoreProgress;
        if (progress != nullptr) progress->progress(progressValue);
    }
    backup.archive().setObserver(nullptr);
    if (progress != nullptr) progress->status("Operation complete!");
    return outcome;
}

}  // namespace quillet
