#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "backup/backup_item.h"
#include "backup/item_context.h"

namespace quillet {

// Gathers each item's data from the registry or the prefix's files, as the item table describes
// it, adds it to the archive being written and appends the item's line to the information file.
// Registry items are exported to work files (prefix + hex + .TMP) in the work folder; they must
// stay until the archive is saved (exportFiles() lists them). On failure nothing is shown and
// entries already added stay in the archive.
class BackupHandlers {
  public:
    explicit BackupHandlers(ItemContext& context) : m_context(context) {}

    // The handler of item `index` (0 to 7): Ok only when its data was added and its line written;
    // else why not.
    Status run(int index, const std::string& identityKey);

    const std::vector<std::filesystem::path>& exportFiles() const { return m_exportFiles; }
    // The files added to the archive so far, each with the item (0 to 7) it was added for.
    const std::vector<std::pair<int, std::filesystem::path>>& addedFiles() const {
        return m_addedFiles;
    }

    // The first item (0 to 7) one of whose files added to the archive cannot be opened for
    // reading now; nullopt when every one can.
    std::optional<int> firstUnreadableItem() const;

  private:
    Status keyTree(const ItemDescription& item, const std::string& identityKey);
    Status oneFile(const ItemDescription& item);
    Status folderFiles(const ItemDescription& item, const std::string& identityKey);

    // Adds the file to the archive as an entry of the item running.
    Result<int> add(const std::filesystem::path& file);

    ItemContext& m_context;
    std::vector<std::filesystem::path> m_exportFiles;
    int m_running = 0;
    std::vector<std::pair<int, std::filesystem::path>> m_addedFiles;
};

}  // namespace quillet
