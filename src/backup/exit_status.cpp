#include "backup/exit_status.h"

#include <algorithm>

namespace quillet {
namespace {

bool AnyFailed(const ItemOutcomes& items) {
    return std::any_of(items.begin(), items.end(),
                       [](const ItemOutcome& item) { return item.ran && !item.succeeded; });
}

}  // namespace

int ExitStatusFor(bool done, bool anyItemFailed) {
    if (!done) return kExitNothingDone;
    return anyItemFailed ? kExitPartial : kExitOk;
}

int ExitStatusOf(const BackupOutcome& outcome) {
    return ExitStatusFor(outcome.written, AnyFailed(outcome.items));
}

int ExitStatusOf(const RestoreOutcome& outcome) {
    const bool anyRan = std::any_of(outcome.items.begin(), outcome.items.end(),
                                    [](const ItemOutcome& item) { return item.ran; });
    return ExitStatusFor(outcome.started.ok() && anyRan, AnyFailed(outcome.items));
}

}  // namespace quillet
