#include "backup/backup_item.h"

namespace quillet {

const std::array<ItemDescription, kItemCount> kItems = {{
    {"BackupAccounts", "accounts", "Copying Accounts...", "Backup Accounts", 20,
     "Copying Accounts...", "Restore Accounts", 10, true},
    {"BackupAddressBook", "addressbook", "Copying Address Book...", "Backup Adress Book", 10,
     "Copying Adress Book...", "Restore Adress Book", 10, false},
    {"BackupRules", "rules", "Copying Rules...", "Backup Rules", 10, "Copying Rules...",
     "Restore Rules", 15, true},
    {"BackupMails", "messages", "Copying Messages...", "Backup Messages", 5, "Copying Messages...",
     "Restore Messages", 10, true},
    {"BackupBlocksenders", "blocksenders", "Copying Block Senders...", "Backup Block Senders", 5,
     "Copying Block Senders...", "Restore Block Senders", 15, true},
    {"BackupSignatures", "signatures", "Copying Signatures...", "Backup Signatures", 5,
     "Copying Signatures...", "Restore Signatures", 15, true},
    {"BackupStationeries", "stationery", "Copying Stationeries...", "Backup Stationeries", 15,
     "Copying Stationeries...", "Restore Stationeries", 10, false},
    {"BackupSettings", "settings", "Copying Settings...", "Backup Settings", 0,
     "Copying Settings...", "Restore Settings", 0, true},
}};

Result<ItemMask> ParseItemList(std::string_view text) {
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
        const std::string_view name = text.substr(start, comma - start);
        bool known = false;
        for (int i = 0; i < kItemCount; ++i) {
            if (kItems[i].commandName == name) {
                mask[i] = true;
                known = true;
            }
        }
        if (!known) {
            return Status::Error("unknown item \"" + std::string(name) +
                                 "\": use all, eight 0/1 digits, or a comma list of accounts, "
                                 "addressbook, rules, messages, blocksenders, signatures, "
                                 "stationery, settings");
        }
        start = comma + 1;
    }
    return mask;
}

std::string MaskText(const ItemMask& mask) {
    std::string text;
    for (const bool selected : mask) text += selected ? '1' : '0';
    return text;
}

}  // namespace quillet
