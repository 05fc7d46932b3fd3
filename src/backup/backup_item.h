#pragma once

#include <array>
#include <string>
#include <string_view>

#include "platform/status.h"

namespace quillet {

// The eight backup items, in the fixed order of every mask, result string and run.
inline constexpr int kItemCount = 8;
enum ItemIndex : int {
    kAccounts = 0,
    kAddressBook = 1,
    kRules = 2,
    kMessages = 3,
    kBlockSenders = 4,
    kSignatures = 5,
    kStationeries = 6,
    kSettings = 7,
};

struct ItemDescription {
    std::string_view informationKey;     // its line in the information file
    std::string_view commandName;        // its name in quillet-cli's item lists
    std::string_view backupStatus;       // status text while it is backed up
    std::string_view backupReportName;   // its line in the backup report
    int backupProgress;                  // progress added after its backup step
    std::string_view restoreStatus;      // status text while it is restored
    std::string_view restoreReportName;  // its line in the restore report
    int restoreProgress;                 // progress added after its restore step
    bool identityBound;                  // whether its handlers take the identity key
};

extern const std::array<ItemDescription, kItemCount> kItems;

// Which items a run takes, by index.
using ItemMask = std::array<bool, kItemCount>;

// "all", an eight-character mask of "0"/"1" in item order, or a comma list of command names
// (accounts,addressbook,rules,messages,blocksenders,signatures,stationery,settings).
Result<ItemMask> ParseItemList(std::string_view text);

// The mask as eight "0"/"1" characters.
std::string MaskText(const ItemMask& mask);

}  // namespace quillet
