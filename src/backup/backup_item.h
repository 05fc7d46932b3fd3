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

// The shape of an item's data.
enum class ItemData {
    kKeyTree,      // a registry key and everything below it, kept in the registry text form
    kOneFile,      // one file that the registry names
    kFolderFiles,  // the files directly in one folder (not its subfolders)
};

// Where an item's data lives (the functions of oe_locations.h resolve it).
enum class ItemPlace {
    kAccountsKey,         // the identity's accounts key, else the shared accounts key
    kVersionSubkey,       // `versionSubkey` under the identity's Outlook Express version key
    kAddressBookFile,     // the file the address-book key names
    kMessageStoreFolder,  // the identity's message store folder (its Store Root)
    kStationeryFolder,    // the shared stationery folder
};

// Which files of a folder item are taken.
enum class FileFilter {
    kNone,           // not a folder item
    kAnyFile,        // every file
    kMessageStores,  // files ending in ".dbx", in any case
};

struct ItemDescription {
    ItemIndex index;
    std::string_view backupCaption;   // its box on the backup tab
    std::string_view restoreCaption;  // its box on the restore tab
    ItemData data;
    ItemPlace place;
    std::string_view versionSubkey;  // for kVersionSubkey
    std::string_view exportPrefix;   // a key tree's work-file prefix (OBA, OBR, OBS)
    FileFilter filter;               // for kFolderFiles
    // A backup gives the window a chance to repaint after each of its files.
    bool yieldsPerFile;
    // A restore makes the folder's last level when it is missing (its parent must exist).
    bool restoreCreatesFolder;
    // Its handlers need the identity's key; the others work on data the identities share.
    bool identityBound;
    std::string_view informationKey;     // its line in the information file
    std::string_view commandName;        // its name in quillet-cli's item lists
    std::string_view backupStatus;       // status text while it is backed up
    std::string_view backupReportName;   // its line in the backup report
    int backupProgress;                  // progress added after its backup step
    std::string_view restoreStatus;      // status text while it is restored
    std::string_view restoreReportName;  // its line in the restore report
    int restoreProgress;                 // progress added after its restore step
};

// The table every part of the program reads: handlers, runs, windows and commands.
extern const std::array<ItemDescription, kItemCount> kItems;

// Which items a run takes, by index.
using ItemMask = std::array<bool, kItemCount>;

// What a user is told who starts a backup, a restore or a scheduled job without an item.
inline constexpr char kSelectItemMessage[] = "Please select at least one item.";

// Ok when the mask selects an item; else kSelectItemMessage (ErrorKind::kBadInput). The backup
// and restore runs refuse to start without an item; a front end that checks its entries in an
// order of its own asks here.
Status CheckItemSelected(const ItemMask& items);

// "all", an eight-character mask of "0"/"1" in item order, or a comma list of command names
// (accounts,addressbook,rules,messages,blocksenders,signatures,stationery,settings), blanks around
// each name and around the whole ignored.
Result<ItemMask> ParseItemList(std::string_view text);

// Every item's command name, in item order, joined by `separator`.
std::string ItemCommandNames(std::string_view separator);

// The names of the items that a mask of "0"/"1" characters selects, in item order: each selected
// item's `name` (a member of ItemDescription, such as commandName), joined by `separator`.
std::string SelectedItemNames(std::string_view itemMask, std::string_view ItemDescription::*name,
                              std::string_view separator);

// The mask as eight "0"/"1" characters.
std::string MaskText(const ItemMask& mask);

// Whether a file of a folder item is taken by the item's filter.
bool FilterTakes(FileFilter filter, std::string_view fileName);

}  // namespace quillet
