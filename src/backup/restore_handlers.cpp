#include "backup/restore_handlers.h"

#include <system_error>

#include "archive/entry_name.h"
#include "backup/backup_item.h"
#include "backup/oe_locations.h"
#include "registry/registry_text.h"

namespace quillet {
namespace {

RestoreTarget Failed(std::string reason) {
    RestoreTarget target;
    target.failure = std::move(reason);
    return target;
}

std::vector<std::string> SplitNames(const std::string& names) {
    std::vector<std::string> list;
    std::size_t start = 0;
    while (start < names.size()) {
        std::size_t end = names.find(';', start);
        if (end == std::string::npos) end = names.size();
        list.push_back(names.substr(start, end - start));
        start = end + 1;
    }
    return list;
}

}  // namespace

bool RestoreHandlers::fail(std::string reason) {
    m_lastFailure = std::move(reason);
    return false;
}

RestoreTarget RestoreHandlers::registryTarget(int index, const std::string& identityKey,
                                              const char* subkey) {
    RestoreTarget target;
    const std::string& entry = m_backup.entryNames(index);
    if (Status plain = archive::CheckEntryName(entry); !plain) return Failed(plain.reason());
    if (!m_backup.archive().LookupEntry(entry)) return Failed("the backup holds no entry " + entry);
    if (index == kAccounts) {
        target.registryKey = IdentityAccountsKey(identityKey);
        // Without either accounts key the shared one is made, so that the accounts are not
        // reported restored while going nowhere.
        if (!m_context.modReg.KeyExists(target.registryKey))
            target.registryKey = kSharedAccountsKey;
    } else {
        const std::optional<std::string> versionKey = VersionKey(m_context.modReg, identityKey);
        if (!versionKey) {
            return Failed("the identity has no Outlook Express settings in the registry");
        }
        target.registryKey = *versionKey + "\\" + subkey;
    }
    target.registryEntry = entry;
    target.ok = true;
    return target;
}

RestoreTarget RestoreHandlers::folderTarget(int index, const std::string& windowsFolder,
                                            bool createLastLevel) {
    RestoreTarget target;
    const auto folder = m_context.paths.toHost(windowsFolder);
    if (!folder) return Failed("the folder " + windowsFolder + " is on no drive of the prefix");
    std::error_code error;
    if (!std::filesystem::is_directory(*folder, error)) {
        if (!createLastLevel) return Failed("the folder " + windowsFolder + " does not exist");
        if (!std::filesystem::is_directory(folder->parent_path(), error)) {
            return Failed("the folder above " + windowsFolder + " does not exist");
        }
        target.folderToCreate = *folder;
    }
    for (const std::string& entry : SplitNames(m_backup.entryNames(index))) {
        if (Status plain = archive::CheckEntryName(entry); !plain) return Failed(plain.reason());
        if (!m_backup.archive().LookupEntry(entry)) {
            return Failed("the backup holds no entry " + entry);
        }
        // Through the drive mapping, so that a file whose name differs only in case is the one
        // replaced, as on Windows.
        const auto file = m_context.paths.toHost(windowsFolder + "\\" + entry);
        if (!file) return Failed("cannot place " + entry + " in " + windowsFolder);
        target.files.emplace_back(entry, *file);
    }
    target.ok = true;
    return target;
}

RestoreTarget RestoreHandlers::plan(int index, const std::string& identityKey) {
    switch (index) {
        case kAccounts:
            return registryTarget(index, identityKey, "");
        case kRules:
            return registryTarget(index, identityKey, "Rules");
        case kBlockSenders:
            return registryTarget(index, identityKey, "Block Senders");
        case kSignatures:
            return registryTarget(index, identityKey, "signatures");
        case kSettings:
            return registryTarget(index, identityKey, "Mail");
        case kAddressBook: {
            const std::optional<std::string> windowsPath = AddressBookPath(m_context.modReg);
            if (!windowsPath) return Failed("the registry names no address book file");
            const auto hostPath = m_context.paths.toHost(*windowsPath);
            std::error_code error;
            if (!hostPath || !std::filesystem::is_regular_file(*hostPath, error)) {
                return Failed("there is no address book " + *windowsPath + " to replace");
            }
            const std::string& entry = m_backup.entryNames(index);
            if (Status plain = archive::CheckEntryName(entry); !plain) {
                return Failed(plain.reason());
            }
            if (!m_backup.archive().LookupEntry(entry)) {
                return Failed("the backup holds no entry " + entry);
            }
            // The backed-up book takes the current book's name, whatever its own was.
            RestoreTarget target;
            target.files.emplace_back(entry, *hostPath);
            target.ok = true;
            return target;
        }
        case kMessages: {
            const std::optional<std::string> storeFolder =
                StoreFolder(m_context.modReg, identityKey, m_context.userProfile);
            if (!storeFolder) {
                return Failed("the registry names no message store folder for the identity");
            }
            return folderTarget(index, *storeFolder, false);
        }
        case kStationeries:
            return folderTarget(index, StationeryFolder(m_context.modReg), true);
        default:
            return Failed("no such item");
    }
}

bool RestoreHandlers::apply(const RestoreTarget& target) {
    if (!target.ok) return fail(target.failure);
    archive::Archive& archive = m_backup.archive();
    if (!target.registryKey.empty()) {
        const std::filesystem::path extracted = m_context.workFolder / target.registryEntry;
        Status status = archive.ExtractEntryTo(target.registryEntry, extracted);
        if (status)
            status = registry::ImportKeyFile(m_context.modReg, target.registryKey, extracted);
        std::error_code ignored;
        std::filesystem::remove(extracted, ignored);
        return status ? true : fail(status.reason());
    }
    if (!target.folderToCreate.empty()) {
        std::error_code error;
        std::filesystem::create_directory(target.folderToCreate, error);
        if (error)
            return fail("cannot create " + target.folderToCreate.string() + ": " + error.message());
    }
    for (const auto& [entry, destination] : target.files) {
        Status status = archive.ExtractEntryTo(entry, destination);
        if (!status) return fail(status.reason());
        if (m_context.yield) m_context.yield();
    }
    return true;
}

bool RestoreHandlers::run(int index, const std::string& identityKey) {
    m_lastFailure.clear();
    if (index >= 0 && index < kItemCount && kItems[index].identityBound && identityKey.empty()) {
        return fail("no identity was chosen to restore into");
    }
    return apply(plan(index, identityKey));
}

bool RestoreHandlers::RestoreAccounts(const std::string& identityKey) {
    return run(kAccounts, identityKey);
}
bool RestoreHandlers::RestoreAddress() { return run(kAddressBook, ""); }
bool RestoreHandlers::RestoreRules(const std::string& identityKey) {
    return run(kRules, identityKey);
}
bool RestoreHandlers::RestoreMails(const std::string& identityKey) {
    return run(kMessages, identityKey);
}
bool RestoreHandlers::RestoreBlocksenders(const std::string& identityKey) {
    return run(kBlockSenders, identityKey);
}
bool RestoreHandlers::RestoreSignatures(const std::string& identityKey) {
    return run(kSignatures, identityKey);
}
bool RestoreHandlers::RestoreStationeries() { return run(kStationeries, ""); }
bool RestoreHandlers::RestoreSettings(const std::string& identityKey) {
    return run(kSettings, identityKey);
}

}  // namespace quillet
