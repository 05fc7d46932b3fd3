#include "backup/restore_handlers.h"

#include <memory>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "archive/entry_name.h"
#include "backup/backup_item.h"
#include "backup/information_file.h"
#include "backup/oe_locations.h"
#include "platform/case_fold.h"
#include "platform/durable_file.h"
#include "registry/registry_text.h"

namespace quillet {
namespace {

RestoreTarget Failed(std::string reason) {
    RestoreTarget target;
    target.failure = std::move(reason);
    return target;
}

// The names in a folder, to find many files in it without regard to case.
struct FolderNames {
    std::unordered_set<std::string> exact;
    std::unordered_map<std::string, std::string> byFoldedName;  // the smallest name of each

    // The name under which `name` exists: itself, else the smallest name equal to it without
    // regard to case, else itself (a file to be created).
    const std::string& nameOf(const std::string& name) const {
        if (exact.count(name) != 0) return name;
        const auto found = byFoldedName.find(FoldCase(name));
        return found != byFoldedName.end() ? found->second : name;
    }
};

FolderNames ListFolderNames(const std::filesystem::path& folder) {
    FolderNames names;
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) return names;  // a folder still to be created holds nothing
    for (auto it = std::filesystem::begin(entries); it != std::filesystem::end(entries);
         it.increment(error)) {
        if (error) break;
        std::string name = it->path().filename().string();
        auto [known, isNew] = names.byFoldedName.emplace(FoldCase(name), name);
        if (!isNew && name < known->second) known->second = name;
        names.exact.insert(std::move(name));
    }
    return names;
}

}  // namespace

Status RestoreHandlers::checkEntry(const std::string& entry) {
    if (Status plain = archive::CheckEntryName(entry); !plain) return plain;
    if (TakesInformationFileName(entry)) {
        return Status::Error("the entry " + entry + " takes the name of the backup's own " +
                             kInformationFileName + ", which is no item's file");
    }
    if (!m_backup.archive().LookupEntry(entry)) {
        return Status::Error("the backup holds no entry " + entry);
    }
    return Status::Ok();
}

RestoreTarget RestoreHandlers::keyTreeTarget(const ItemDescription& item,
                                             const std::string& identityKey) {
    const std::string& entry = m_backup.entryNames(item.index);
    if (Status checked = checkEntry(entry); !checked) return Failed(checked.reason());
    // Refused before it is extracted: reading an entry stops once it inflates past its recorded
    // size, so a crafted entry of gigabytes never reaches the disk or memory.
    if (const auto size = m_backup.archive().LookupEntry(entry)->size;
        size > registry::kMaxRegistryTextBytes) {
        return Failed("the entry " + entry + " holds " + std::to_string(size) +
                      " bytes, more than the " +
                      std::to_string(registry::kMaxRegistryTextBytes / (1024 * 1024)) +
                      " MB a registry text file may hold");
    }
    // Without either accounts key the shared one is made, so that the accounts are not reported
    // restored while going nowhere.
    const std::optional<std::string> key = ItemKey(m_context.system.modReg(), item, identityKey);
    if (!key) return Failed("the identity has no Outlook Express settings in the registry");
    RestoreTarget target;
    target.registryKey = *key;
    target.registryEntry = entry;
    target.ok = true;
    return target;
}

RestoreTarget RestoreHandlers::oneFileTarget(const ItemDescription& item) {
    const std::optional<std::string> windowsPath = AddressBookPath(m_context.system.modReg());
    if (!windowsPath) return Failed("the registry names no address book file");
    const auto hostPath = m_context.system.paths().toHost(*windowsPath);
    std::error_code error;
    if (!hostPath || !std::filesystem::is_regular_file(*hostPath, error)) {
        return Failed("there is no address book " + *windowsPath + " to replace");
    }
    const std::string& entry = m_backup.entryNames(item.index);
    if (Status checked = checkEntry(entry); !checked) return Failed(checked.reason());
    // The backed-up book takes the current book's name, whatever its own was.
    RestoreTarget target;
    target.files.emplace_back(entry, *hostPath);
    target.ok = true;
    return target;
}

RestoreTarget RestoreHandlers::folderTarget(const ItemDescription& item,
                                            const std::string& identityKey) {
    const std::optional<std::string> windowsFolder =
        ItemFolder(m_context.system.modReg(), item, identityKey, m_context.system.userProfile());
    if (!windowsFolder) {
        return Failed("the registry names no message store folder for the identity");
    }
    RestoreTarget target;
    const auto folder = m_context.system.paths().toHost(*windowsFolder);
    if (!folder) return Failed("the folder " + *windowsFolder + " is on no drive of the prefix");
    std::error_code error;
    if (!std::filesystem::is_directory(*folder, error)) {
        if (!item.restoreCreatesFolder) {
            return Failed("the folder " + *windowsFolder + " does not exist");
        }
        if (!std::filesystem::is_directory(folder->parent_path(), error)) {
            return Failed("the folder above " + *windowsFolder + " does not exist");
        }
        target.folderToCreate = *folder;
    }
    // A file whose name differs only in case is the one replaced, as on Windows. The folder is
    // listed once: a backup may hold tens of thousands of messages.
    const FolderNames existing = ListFolderNames(*folder);
    target.folder = *folder;
    for (const std::string& entry : SplitNameList(m_backup.entryNames(item.index))) {
        if (Status checked = checkEntry(entry); !checked) return Failed(checked.reason());
        target.files.emplace_back(entry, *folder / existing.nameOf(entry));
    }
    target.ok = true;
    return target;
}

RestoreTarget RestoreHandlers::plan(int index, const std::string& identityKey) {
    if (index < 0 || index >= kItemCount) return Failed("no such item");
    const ItemDescription& item = kItems[index];
    switch (item.data) {
        case ItemData::kKeyTree:
            return keyTreeTarget(item, identityKey);
        case ItemData::kOneFile:
            return oneFileTarget(item);
        case ItemData::kFolderFiles:
            return folderTarget(item, identityKey);
    }
    return Failed("no such item");
}

Status RestoreHandlers::apply(const RestoreTarget& target) {
    if (!target.ok) return Status::Error(target.failure);
    archive::Archive& archive = m_backup.archive();
    if (!target.registryKey.empty()) {
        const std::filesystem::path extracted = m_context.workFolder / target.registryEntry;
        Status status = archive.ExtractEntryTo(target.registryEntry, extracted);
        if (status)
            status =
                registry::ImportKeyFile(m_context.system.modReg(), target.registryKey, extracted);
        std::error_code ignored;
        std::filesystem::remove(extracted, ignored);
        return status;
    }
    if (!target.folderToCreate.empty()) {
        std::error_code error;
        std::filesystem::create_directory(target.folderToCreate, error);
        if (error) {
            return Status::Error("cannot create " + target.folderToCreate.string() + ": " +
                                 error.message());
        }
    }
    // A killed restore's half-written temporaries would otherwise stay beside the item's files.
    if (!target.folder.empty())
        RemoveStaleTemporariesIn(target.folder, m_context.system.fileOperations());
    // Every file is extracted and checked before the first live file is replaced, so that a
    // damaged entry or a full disk leaves the item's files all as they were, not a mix of old and
    // new ones. Replacements not committed remove their temporaries when they go.
    std::vector<std::unique_ptr<FileReplacement>> replacements;
    for (const auto& [entry, destination] : target.files) {
        Result<std::unique_ptr<FileReplacement>> extracted =
            archive.ExtractEntryToTemporary(entry, destination, !target.folder.empty());
        if (!extracted) return extracted.status();
        replacements.push_back(std::move(*extracted));
        if (m_context.yield) m_context.yield();
    }
    for (const std::unique_ptr<FileReplacement>& replacement : replacements) {
        if (Status committed = replacement->commit(); !committed) return committed;
    }
    return Status::Ok();
}

Status RestoreHandlers::run(int index, const std::string& identityKey) {
    if (index >= 0 && index < kItemCount && kItems[index].identityBound && identityKey.empty()) {
        return Status::Error("no identity was chosen to restore into");
    }
    return apply(plan(index, identityKey));
}

}  // namespace quillet
