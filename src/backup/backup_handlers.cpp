#include "backup/backup_handlers.h"

#include <system_error>

#include "archive/entry_name.h"
#include "backup/backup_item.h"
#include "backup/information_file.h"
#include "backup/oe_locations.h"
#include "registry/registry_text.h"

namespace quillet {
namespace {

bool IsMessageStore(const std::string& name) {
    if (name.size() < 4) return false;
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return extension == ".DBX";
}

bool AnyFile(const std::string& name) { return !name.empty(); }

// The information file is every backup's last entry; no file of the item may take its name.
bool TakesInformationFileName(const std::string& name) {
    return archive::EntryNamesCollide(name, kInformationFileName);
}

}  // namespace

bool BackupHandlers::fail(std::string reason) {
    m_lastFailure = std::move(reason);
    return false;
}

bool BackupHandlers::exportTree(const std::string& keyPath, const char* prefix,
                                const char* informationKey) {
    auto file = sGetTempFile(prefix, m_context.workFolder);
    if (!file) return fail(file.reason());
    m_exportFiles.push_back(*file);
    Status exported = registry::ExportKeyTree(m_context.modReg, keyPath, *file);
    if (!exported) return fail(exported.reason());
    auto added = m_context.archive.AddFileEntry(*file);
    if (!added) return fail(added.reason());
    Status saved = SaveINI(informationKey, file->filename().string(), m_context.informationFile);
    if (!saved) return fail(saved.reason());
    return true;
}

bool BackupHandlers::versionSubkeyTree(const std::string& identityKey, const char* subkey,
                                       const char* prefix, const char* informationKey) {
    const std::optional<std::string> versionKey = VersionKey(m_context.modReg, identityKey);
    if (!versionKey) return fail("the identity has no Outlook Express settings in the registry");
    const std::string keyPath = *versionKey + "\\" + subkey;
    // A missing key is created, so that an empty one is backed up; whether that could be
    // committed does not matter to the backup.
    if (!m_context.modReg.KeyExists(keyPath)) (void)m_context.modReg.CreateKey(keyPath);
    return exportTree(keyPath, prefix, informationKey);
}

bool BackupHandlers::BackupAccounts(const std::string& identityKey) {
    std::string keyPath = IdentityAccountsKey(identityKey);
    if (!m_context.modReg.KeyExists(keyPath)) keyPath = kSharedAccountsKey;
    if (!m_context.modReg.KeyExists(keyPath)) return fail("no mail accounts in the registry");
    return exportTree(keyPath, "OBA", "BackupAccounts");
}

bool BackupHandlers::BackupAddress() {
    const std::optional<std::string> windowsPath = AddressBookPath(m_context.modReg);
    if (!windowsPath) return fail("the registry names no address book file");
    const auto hostPath = m_context.paths.toHost(*windowsPath);
    std::error_code error;
    if (!hostPath || !std::filesystem::is_regular_file(*hostPath, error)) {
        return fail("the address book " + *windowsPath + " does not exist");
    }
    if (TakesInformationFileName(hostPath->filename().string())) {
        return fail("the address book may not be named " + std::string(kInformationFileName));
    }
    auto added = m_context.archive.AddFileEntry(*hostPath);
    if (!added) return fail(added.reason());
    Status saved =
        SaveINI("BackupAddressBook", hostPath->filename().string(), m_context.informationFile);
    if (!saved) return fail(saved.reason());
    return true;
}

bool BackupHandlers::BackupRules(const std::string& identityKey) {
    return versionSubkeyTree(identityKey, "Rules", "OBR", "BackupRules");
}

bool BackupHandlers::Backupblocksenders(const std::string& identityKey) {
    return versionSubkeyTree(identityKey, "Block Senders", "OBR", "BackupBlocksenders");
}

bool BackupHandlers::BackupSignatures(const std::string& identityKey) {
    return versionSubkeyTree(identityKey, "signatures", "OBR", "BackupSignatures");
}

bool BackupHandlers::BackupSettings(const std::string& identityKey) {
    return versionSubkeyTree(identityKey, "Mail", "OBS", "BackupSettings");
}

bool BackupHandlers::addFolderFiles(const std::string& windowsFolder,
                                    bool (*wanted)(const std::string& name),
                                    const char* informationKey, bool yieldPerFile) {
    const auto folder = m_context.paths.toHost(windowsFolder);
    std::error_code error;
    if (!folder || !std::filesystem::is_directory(*folder, error)) {
        return fail("the folder " + windowsFolder + " does not exist");
    }
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(*folder, error), end; !error && it != end;
         it.increment(error)) {
        if (!it->is_regular_file(error)) continue;
        const std::string name = it->path().filename().string();
        if (!wanted(name)) continue;
        if (TakesInformationFileName(name)) {
            return fail(windowsFolder + " holds a file named " + kInformationFileName +
                        ", which a backup keeps for its own information file");
        }
        files.push_back(it->path());
    }
    if (error) return fail("cannot list " + windowsFolder + ": " + error.message());
    std::string names;
    int count = 0;
    for (const std::filesystem::path& file : files) {
        const std::string name = file.filename().string();
        auto added = m_context.archive.AddFileEntry(file);
        if (!added) return fail(added.reason());
        if (count++ > 0) names += ';';
        names += name;
        if (yieldPerFile && m_context.yield) m_context.yield();
    }
    if (count == 0) return fail("no file to back up in " + windowsFolder);
    Status saved = SaveINI(informationKey, names, m_context.informationFile);
    if (!saved) return fail(saved.reason());
    return true;
}

bool BackupHandlers::BackupMails(const std::string& identityKey) {
    const std::optional<std::string> storeFolder =
        StoreFolder(m_context.modReg, identityKey, m_context.userProfile);
    if (!storeFolder) return fail("the registry names no message store folder for the identity");
    return addFolderFiles(*storeFolder, IsMessageStore, "BackupMails", true);
}

bool BackupHandlers::BackupStationeries() {
    return addFolderFiles(StationeryFolder(m_context.modReg), AnyFile, "BackupStationeries", false);
}

bool BackupHandlers::run(int index, const std::string& identityKey) {
    m_lastFailure.clear();
    if (index >= 0 && index < kItemCount && kItems[index].identityBound && identityKey.empty()) {
        return fail("no identity was chosen");
    }
    switch (index) {
        case kAccounts:
            return BackupAccounts(identityKey);
        case kAddressBook:
            return BackupAddress();
        case kRules:
            return BackupRules(identityKey);
        case kMessages:
            return BackupMails(identityKey);
        case kBlockSenders:
            return Backupblocksenders(identityKey);
        case kSignatures:
            return BackupSignatures(identityKey);
        case kStationeries:
            return BackupStationeries();
        case kSettings:
            return BackupSettings(identityKey);
        default:
            return fail("no such item");
    }
}

}  // namespace quillet
