#pragma once

#include <array>
#include <string>

#include "backup/backup_item.h"
#include "backup/backup_run.h"
#include "backup/item_context.h"
#include "backup/opened_backup.h"

namespace quillet {

struct RestoreRequest {
    std::string identityKey;  // the identity restored into
    ItemMask ticked{};        // items the user ticked; those the backup does not hold are skipped
};

// The messages of a restore that refused to start, which the user sees as they stand.
inline constexpr char kRestoreInvalidMessage[] = "Invalid backup file.";

struct RestoreOutcome {
    // Ok when the run started; else why it refused, having changed nothing:
    // kRestoreInvalidMessage (ErrorKind::kCorrupt) for a backup that is not open and valid,
    // kSelectItemMessage (ErrorKind::kBadInput) without a ticked item, and the reason
    // (ErrorKind::kInUse) while Wine runs for the prefix or another run holds its lock.
    Status started = Status::Ok();
    ItemOutcomes items{};

    bool allSucceeded() const;
    // One line per item that ran: CR LF, its report name, TAB, "Successed!" or "Fail!".
    std::string report() const { return ItemReportText(items, RunDirection::kRestore); }
};

// The restore run shared by the window and quillet-cli: the ticked items that the backup holds,
// in item order, each through its restore handler. Refuses to start for an invalid backup,
// without a ticked item, or while Wine runs for the prefix; holds the prefix's lock otherwise.
// Progress: +5 at the start, each item's step, 100 at the end.
RestoreOutcome RunRestore(ItemContext& context, OpenedBackup& backup, const RestoreRequest& request,
                          BackupProgress* progress);

}  // namespace quillet
