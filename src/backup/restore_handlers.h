#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "backup/item_context.h"
#include "backup/opened_backup.h"

namespace quillet {

// Where one item of an opened backup would go, worked out without changing anything.
struct RestoreTarget {
    bool ok = false;
    std::string failure;  // why the item cannot be restored, when !ok
    // A registry item: the key whose tree the entry replaces.
    std::string registryKey;
    std::string registryEntry;
    // A file item: each entry and the host file it replaces.
    std::vector<std::pair<std::string, std::filesystem::path>> files;
    // A folder to create first (its parent must exist); empty when none.
    std::filesystem::path folderToCreate;
    // A folder item's folder, whose dead runs' temporaries go before its files are restored.
    std::filesystem::path folder;
};

// Puts each item's data from the opened backup back in place, as the item table describes it:
// key trees through the registry text import (checked whole before the target tree is replaced),
// files through temporary files in the target folder, every file of the item extracted and checked
// before the first is renamed over its live file. Entry names that are not plain file names, or
// that take the information file's name (TakesInformationFileName), fail the item before anything
// is written. Nothing is shown.
class RestoreHandlers {
  public:
    RestoreHandlers(ItemContext& context, OpenedBackup& backup)
        : m_context(context), m_backup(backup) {}

    // Restores item `index` (0 to 7) into the identity: Ok, or why it failed.
    Status run(int index, const std::string& identityKey);
    // Where item `index` would go, for a dry run; changes nothing.
    RestoreTarget plan(int index, const std::string& identityKey);

  private:
    RestoreTarget keyTreeTarget(const ItemDescription& item, const std::string& identityKey);
    RestoreTarget oneFileTarget(const ItemDescription& item);
    RestoreTarget folderTarget(const ItemDescription& item, const std::string& identityKey);
    // The entry (or entries) of the item, checked to be plain names the backup holds.
    Status checkEntry(const std::string& entry);
    Status apply(const RestoreTarget& target);

    ItemContext& m_context;
    OpenedBackup& m_backup;
};

}  // namespace quillet
