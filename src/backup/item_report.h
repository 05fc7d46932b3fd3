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

// What a report line says of an item after its name and a TAB.
inline constexpr char kItemSucceededText[] = "Successed!";
inline constexpr char kItemFailedText[] = "Fail!";
// Of an item that was gathered for a backup that was then not written: it is in no file.
inline constexpr char kItemNotSavedText[] = "Gathered, not saved!";

// The report line of one item that ran.
struct ItemReportLine {
    std::string_view name;  // the item's report name in the run's direction
    bool succeeded = false;
    std::string_view failure;  // why it failed, when it did
    bool saved = true;         // false when the run wrote nothing (a backup not written)

    // The name, TAB, and kItemSucceededText, kItemFailedText, or kItemNotSavedText when the item
    // succeeded but was not saved.
    std::string text() const;
};

// The lines of the items that ran, in item order; `saved` false marks every line of a run that
// wrote nothing. The lines refer to `items`, which must outlive them.
std::vector<ItemReportLine> ItemReport(const ItemOutcomes& items, RunDirection direction,
                                       bool saved = true);

// The report the windows show after the run's first line: CR LF and the text of each item's line.
std::string ItemReportText(const ItemOutcomes& items, RunDirection direction, bool saved = true);

}  // namespace quillet
