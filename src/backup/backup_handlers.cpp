#include "backup/backup_handlers.h"

#include <fstream>
#include <system_error>

#include "backup/information_file.h"
#include "backup/item_files.h"
#include "backup/oe_locations.h"
#include "registry/registry_text.h"

namespace quillet {

Result<int> BackupHandlers::add(const std::filesystem::path& file) {
    auto added = m_context.archive.AddFileEntry(file);
    if (added) m_addedFiles.emplace_back(m_running, file);
    return added;
}

std::optional<int> BackupHandlers::firstUnreadableItem() const {
    for (const auto& [item, file] : m_addedFiles) {
        if (!std::ifstream(file, std::ios::binary)) return item;
    }
    return std::nullopt;
}

Status BackupHandlers::run(int index, const std::string& identityKey) {
    m_running = index;
    Status outcome = Status::Ok();
    if (index < 0 || index >= kItemCount) {
        outcome = Status::Error("no such item");
    } else if (kItems[index].identityBound && identityKey.empty()) {
        outcome = Status::Error("no identity was chosen");
    } else {
        const ItemDescription& item = kItems[index];
        switch (item.data) {
            case ItemData::kKeyTree:
                outcome = keyTree(item, identityKey);
                break;
            case ItemData::kOneFile:
                outcome = oneFile(item);
                break;
            case ItemData::kFolderFiles:
                outcome = folderFiles(item, identityKey);
                break;
        }
    }
    return outcome;
}

Status BackupHandlers::keyTree(const ItemDescription& item, const std::string& identityKey) {
    const std::optional<std::string> keyPath =
        ItemKey(m_context.system.modReg(), item, identityKey);
    if (!keyPath) {
        return Status::Error("the identity has no Outlook Express settings in the registry");
    }
    if (item.place == ItemPlace::kAccountsKey) {
        if (!m_context.system.modReg().KeyExists(*keyPath)) {
            return Status::Error("no mail accounts in the registry");
        }
    } else if (!m_context.system.modReg().KeyExists(*keyPath)) {
        // A missing key is created, so that an empty one is backed up; whether that could be
        // committed does not matter to the backup.
        (void)m_context.system.modReg().CreateKey(*keyPath);
    }
    auto file = sGetTempFile(item.exportPrefix, m_context.workFolder);
    if (!file) return file.status();
    m_exportFiles.push_back(*file);
    if (Status exported = registry::ExportKeyTree(m_context.system.modReg(), *keyPath, *file);
        !exported) {
        return exported;
    }
    if (auto added = add(*file); !added) return added.status();
    return SaveINI(item.informationKey, file->filename().string(), m_context.informationFile);
}

Status BackupHandlers::oneFile(const ItemDescription& item) {
    const std::optional<std::string> windowsPath = AddressBookPath(m_context.system.modReg());
    if (!windowsPath) return Status::Error("the registry names no address book file");
    const auto hostPath = m_context.system.paths().toHost(*windowsPath);
    std::error_code error;
    if (!hostPath || !std::filesystem::is_regular_file(*hostPath, error)) {
        return Status::Error("the address book " + *windowsPath + " does not exist");
    }
    if (Status confined = m_context.system.confineRead(*hostPath); !confined) return confined;
    if (TakesInformationFileName(hostPath->filename().string())) {
        return Status::Error("the address book may not be named " +
                             std::string(kInformationFileName));
    }
    if (auto added = add(*hostPath); !added) return added.status();
    return SaveINI(item.informationKey, hostPath->filename().string(), m_context.informationFile);
}

Status BackupHandlers::folderFiles(const ItemDescription& item, const std::string& identityKey) {
    const std::optional<std::string> windowsFolder =
        ItemFolder(m_context.system.modReg(), item, identityKey, m_context.system.userProfile());
    if (!windowsFolder) {
        return Status::Error("the registry names no message store folder for the identity");
    }
    const auto folder = m_context.system.paths().toHost(*windowsFolder);
    std::error_code error;
    if (!folder || !std::filesystem::is_directory(*folder, error)) {
        return Status::Error("the folder " + *windowsFolder + " does not exist");
    }
    auto listed = ConfinedItemFilesIn(m_context.system, *folder, item.filter, error);
    if (!listed) return listed.status();
    const std::vector<std::filesystem::path>& files = *listed;
    for (const std::filesystem::path& file : files) {
        if (TakesInformationFileName(file.filename().string())) {
            return Status::Error(*windowsFolder + " holds a file named " + kInformationFileName +
                                 ", which a backup keeps for its own information file");
        }
    }
    if (error) return Status::Error("cannot list " + *windowsFolder + ": " + error.message());
    if (files.empty()) return Status::Error("no file to back up in " + *windowsFolder);
    std::string names;
    for (const std::filesystem::path& file : files) {
        if (auto added = add(file); !added) return added.status();
        if (!names.empty()) names += ';';
        names += file.filename().string();
        if (item.yieldsPerFile && m_context.yield) m_context.yield();
    }
    return SaveINI(item.informationKey, names, m_context.informationFile);
}

}  // namespace quillet
