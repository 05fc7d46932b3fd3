#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "backup/item_context.h"

namespace quillet {

// One routine per item that gathers the item's data from the registry or the prefix's files,
// adds it to the archive being written and appends the item's line to the information file.
// Each returns true only when its data was added and its line written; on false, lastFailure()
// says why, nothing is shown, and entries already added stay in the archive.
// Registry items are exported to work files (OBA/OBR/OBS + hex + .TMP) in the work folder; they
// must stay until the archive is saved (exportFiles() lists them).
class BackupHandlers {
  public:
    explicit BackupHandlers(ItemContext& context) : m_context(context) {}

    bool BackupAccounts(const std::string& identityKey);
    bool BackupAddress();
    bool BackupRules(const std::string& identityKey);
    bool BackupMails(const std::string& identityKey);
    bool Backupblocksenders(const std::string& identityKey);
    bool BackupSignatures(const std::string& identityKey);
    bool BackupStationeries();
    bool BackupSettings(const std::string& identityKey);

    // The handler of item `index` (0 to 7).
    bool run(int index, const std::string& identityKey);

    const std::string& lastFailure() const { return m_lastFailure; }
    const std::vector<std::filesystem::path>& exportFiles() const { return m_exportFiles; }

  private:
    bool exportTree(const std::string& keyPath, const char* prefix, const char* informationKey);
    bool versionSubkeyTree(const std::string& identityKey, const char* subkey, const char* prefix,
                           const char* informationKey);
    // Adds every file directly in the folder that `wanted` accepts; records their names.
    bool addFolderFiles(const std::string& windowsFolder, bool (*wanted)(const std::string& name),
                        const char* informationKey, bool yieldPerFile);
    bool fail(std::string reason);

    ItemContext& m_context;
    std::vector<std::filesystem::path> m_exportFiles;
    std::string m_lastFailure;
};

}  // namespace quillet
