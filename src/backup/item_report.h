#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "backup/backup_item.h"

namespace quillet {

// How one item of a backup or restore run went.
struct ItemOutcome {
    bool ran = false;
    bool succeeded = false;
    std::string failure;  // why it failed, when it did
};

using ItemOutcomes = std::array<ItemOutcome, kItemCount>;

// Which way a run went: it names the items in its report by that direction's report name
// ("Backup Rules", "Restore Rules").
enum class RunDirection { kBackup, kRestore };

// The report line of one item that ran.
struct ItemReportLine {
    std::string_view name;  // the item's report name in the run's direction
    bool succeeded = false;
    std::string_view failure;  // why it failed, when it did

    // The name, TAB, and "Successed!" or "Fail!".
    std::string text() const;
};

// The lines of the items that ran, in item order. The lines refer to `items`, which must outlive
// them.
std::vector<ItemReportLine> ItemReport(const ItemOutcomes& items, RunDirection direction);

// The report the windows show after the run's first line: CR LF and the text of each item's line.
std::string ItemReportText(const ItemOutcomes& items, RunDirection direction);

}  // namespace quillet
