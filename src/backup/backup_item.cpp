#include "backup/backup_item.h"

#include "platform/case_fold.h"

namespace quillet {

const std::array<ItemDescription, kItemCount> kItems = {{
    {.index = kAccounts,
     .backupCaption = "Accounts",
     .restoreCaption = "Accounts",
     .data = ItemData::kKeyTree,
     .place = ItemPlace::kAccountsKey,
     .versionSubkey = "",
     .exportPrefix = "OBA",
     .filter = FileFilter::kNone,
     .yieldsPerFile = false,
     .restoreCreatesFolder = false,
     .identityBound = true,
     .informationKey = "BackupAccounts",
     .commandName = "accounts",
     .backupStatus = "Copying Accounts...",
     .backupReportName = "Backup Accounts",
     .backupProgress = 20,
     .restoreStatus = "Copying Accounts...",
     .restoreReportName = "Restore Accounts",
     .restoreProgress = 10},
    {.index = kAddressBook,
     .backupCaption = "Address Book",
     .restoreCaption = "Address Book",
     .data = ItemData::kOneFile,
     .place = ItemPlace::kAddressBookFile,
     .versionSubkey = "",
     .exportPrefix = "",
     .filter = FileFilter::kNone,
     .yieldsPerFile = false,
     .restoreCreatesFolder = false,
     .identityBound = false,
     .informationKey = "BackupAddressBook",
     .commandName = "addressbook",
     .backupStatus = "Copying Address Book...",
     .backupReportName = "Backup Adress Book",
     .backupProgress = 10,
     .restoreStatus = "Copying Adress Book...",
     .restoreReportName = "Restore Adress Book",
     .restoreProgress = 10},
    {.index = kRules,
     .backupCaption = "Rules",
     .restoreCaption = "Rules",
     .data = ItemData::kKeyTree,
     .place = ItemPlace::kVersionSubkey,
     .versionSubkey = "Rules",
     .exportPrefix = "OBR",
     .filter = FileFilter::kNone,
     .yieldsPerFile = false,
     .restoreCreatesFolder = false,
     .identityBound = true,
     .informationKey = "BackupRules",
     .commandName = "rules",
     .backupStatus = "Copying Rules...",
     .backupReportName = "Backup Rules",
     .backupProgress = 10,
     .restoreStatus = "Copying Rules...",
     .restoreReportName = "Restore Rules",
     .restoreProgress = 15},
    {.index = kMessages,
     .backupCaption = "Email/News Messages",
     .restoreCaption = "Email/News Messages",
     .data = ItemData::kFolderFiles,
     .place = ItemPlace::kMessageStoreFolder,
     .versionSubkey = "",
     .exportPrefix = "",
     .filter = FileFilter::kMessageStores,
     .yieldsPerFile = true,
     .restoreCreatesFolder = false,
     .identityBound = true,
     .informationKey = "BackupMails",
     .commandName = "messages",
     .backupStatus = "Copying Messages...",
     .backupReportName = "Backup Messages",
     .backupProgress = 5,
     .restoreStatus = "Copying Messages...",
     .restoreReportName = "Restore Messages",
     .restoreProgress = 10},
    {.index = kBlockSenders,
     .backupCaption = "Block Senders",
     .restoreCaption = "Block Senders",
     .data = ItemData::kKeyTree,
     .place = ItemPlace::kVersionSubkey,
     .versionSubkey = "Block Senders",
     .exportPrefix = "OBR",
     .filter = FileFilter::kNone,
     .yieldsPerFile = false,
     .restoreCreatesFolder = false,
     .identityBound = true,
     .informationKey = "BackupBlocksenders",
     .commandName = "blocksenders",
     .backupStatus = "Copying Block Senders...",
     .backupReportName = "Backup Block Senders",
     .backupProgress = 5,
     .restoreStatus = "Copying Block Senders...",
     .restoreReportName = "Restore Block Senders",
     .restoreProgress = 15},
    {.index = kSignatures,
     .backupCaption = "Signatures",
     .restoreCaption = "Signatures",
     .data = ItemData::kKeyTree,
     .place = ItemPlace::kVersionSubkey,
     .versionSubkey = "signatures",
     .exportPrefix = "OBR",
     .filter = FileFilter::kNone,
     .yieldsPerFile = false,
     .restoreCreatesFolder = false,
     .identityBound = true,
     .informationKey = "BackupSignatures",
     .commandName = "signatures",
     .backupStatus = "Copying Signatures...",
     .backupReportName = "Backup Signatures",
     .backupProgress = 5,
     .restoreStatus = "Copying Signatures...",
     .restoreReportName = "Restore Signatures",
     .restoreProgress = 15},
    {.index = kStationeries,
     .backupCaption = "Stationeries",
     .restoreCaption = "Stationeries",
     .data = ItemData::kFolderFiles,
     .place = ItemPlace::kStationeryFolder,
     .versionSubkey = "",
     .exportPrefix = "",
     .filter = FileFilter::kAnyFile,
     .yieldsPerFile = false,
     .restoreCreatesFolder = true,
     .identityBound = false,
     .informationKey = "BackupStationeries",
     .commandName = "stationery",
     .backupStatus = "Copying Stationeries...",
     .backupReportName = "Backup Stationeries",
     .backupProgress = 15,
     .restoreStatus = "Copying Stationeries...",
     .restoreReportName = "Restore Stationeries",
     .restoreProgress = 10},
    {.index = kSettings,
     .backupCaption = "OE Settings",
     .restoreCaption = "Settings",
     .data = ItemData::kKeyTree,
     .place = ItemPlace::kVersionSubkey,
     .versionSubkey = "Mail",
     .exportPrefix = "OBS",
     .filter = FileFilter::kNone,
     .yieldsPerFile = false,
     .restoreCreatesFolder = false,
     .identityBound = true,
     .informationKey = "BackupSettings",
     .commandName = "settings",
     .backupStatus = "Copying Settings...",
     .backupReportName = "Backup Settings",
     .backupProgress = 0,
     .restoreStatus = "Copying Settings...",
     .restoreReportName = "Restore Settings",
     .restoreProgress = 0},
}};

namespace {

// `text` without the blanks around it ("accounts, rules" is read as "accounts,rules").
std::string_view WithoutBlanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

Result<ItemMask> ParseItemList(std::string_view text) {
    text = WithoutBlanks(text);
    ItemMask mask{};
    if (text == "all") {
        mask.fill(true);
        return mask;
    }
    if (text.size() == kItemCount && text.find_first_not_of("01") == std::string_view::npos) {
        for (int i = 0; i < kItemCount; ++i) mask[i] = text[i] == '1';
        return mask;
    }
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos) comma = text.size();
        const std::string_view name = WithoutBlanks(text.substr(start, comma - start));
        bool known = false;
        for (int i = 0; i < kItemCount; ++i) {
            if (kItems[i].commandName == name) {
                mask[i] = true;
                known = true;
            }
        }
        if (!known) {
            return Status::Error("unknown item \"" + std::string(name) +
                                     "\": use all, eight 0/1 digits, or a comma list of " +
                                     ItemCommandNames(", "),
                                 ErrorKind::kBadInput);
        }
        start = comma + 1;
    }
    return mask;
}

std::string ItemCommandNames(std::string_view separator) {
    std::string names;
    for (const ItemDescription& item : kItems) {
        if (!names.empty()) names += separator;
        names += item.commandName;
    }
    return names;
}

Status CheckItemSelected(const ItemMask& items) {
    for (const bool selected : items) {
        if (selected) return Status::Ok();
    }
    return Status::Error(kSelectItemMessage, ErrorKind::kBadInput);
}

std::string MaskText(const ItemMask& mask) {
    std::string text;
    for (const bool selected : mask) text += selected ? '1' : '0';
    return text;
}

bool FilterTakes(FileFilter filter, std::string_view fileName) {
    switch (filter) {
        case FileFilter::kAnyFile:
            return !fileName.empty();
        case FileFilter::kMessageStores: {
            if (fileName.size() < 4) return false;
            return AsciiUpper(fileName.substr(fileName.size() - 4)) == ".DBX";
        }
        case FileFilter::kNone:
            break;
    }
    return false;
}

std::string SelectedItemNames(std::string_view itemMask, std::string_view ItemDescription::*name,
                              std::string_view separator) {
    std::string names;
    for (std::size_t i = 0; i < kItems.size() && i < itemMask.size(); ++i) {
        if (itemMask[i] != '1') continue;
        if (!names.empty()) names += separator;
        names += kItems[i].*name;
    }
    return names;
}

}  // namespace quillet
