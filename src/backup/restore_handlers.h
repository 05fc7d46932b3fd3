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
};

// One routine per item that puts the item's data from the opened backup back in place: registry
// items through the registry text import (checked whole before the target tree is replaced),
// files through a temporary file in the target folder that is checked before it is renamed over
// the live file. Each returns true on success; on false, lastFailure() says why and nothing is
// shown. Entry names that are not plain file names fail the item before anything is written.
class RestoreHandlers {
  public:
    RestoreHandlers(ItemContext& context, OpenedBackup& backup)
        : m_context(context), m_backup(backup) {}

    bool RestoreAccounts(const std::string& identityKey);
    bool RestoreAddress();
    bool RestoreRules(const std::string& identityKey);
    bool RestoreMails(const std::string& identityKey);
    bool RestoreBlocksenders(const std::string& identityKey);
    bool RestoreSignatures(const std::string& identityKey);
    bool RestoreStationeries();
    bool RestoreSettings(const std::string& identityKey);

    // The handler of item `index` (0 to 7).
    bool run(int index, const std::string& identityKey);
    // Where item `index` would go, for a dry run.
    RestoreTarget plan(int index, const std::string& identityKey);

    const std::string& lastFailure() const { return m_lastFailure; }

  private:
    RestoreTarget registryTarget(int index, const std::string& identityKey, const char* subkey);
    RestoreTarget folderTarget(int index, const std::string& windowsFolder, bool createLastLevel);
    bool apply(const RestoreTarget& target);
    bool fail(std::string reason);

    ItemContext& m_context;
    OpenedBackup& m_backup;
    std::string m_lastFailure;
};

}  // namespace quillet
