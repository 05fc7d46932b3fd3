#include "backup/mail_sources.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "archive/sealed_entry.h"
#include "backup/backup_item.h"
#include "backup/identity_list.h"
#include "backup/information_file.h"
#include "backup/item_files.h"
#include "backup/oe_locations.h"
#include "mailstore/folder_mail_source.h"
#include "platform/case_fold.h"
#include "registry/mod_reg.h"
#include "system/system_code_page.h"

namespace quillet {

namespace {

using mailstore::MailSource;
using mailstore::SortStores;
using mailstore::StoreBytes;

class ArchiveMailSource : public MailSource {
  public:
    ArchiveMailSource(OpenedBackup& backup, std::filesystem::path workFolder,
                      std::vector<StoreName> stores)
        : m_backup(backup), m_workFolder(std::move(workFolder)), m_stores(std::move(stores)) {}

    std::string description() const override {
        return "backup " + m_backup.file().filename().string();
    }
    std::vector<StoreName> stores() const override { return m_stores; }

    Result<std::unique_ptr<StoreBytes>> openStore(const std::string& fileName) override {
        if (Status listed = mailstore::CheckListed(m_stores, fileName, description()); !listed) {
            return listed;
        }
        return archive::ReadEntrySealed(m_backup.archive(), fileName, m_workFolder,
                                        mailstore::kStoreWindowBytes);
    }

  private:
    OpenedBackup& m_backup;
    std::filesystem::path m_workFolder;
    std::vector<StoreName> m_stores;
};

// The names of the accounts the identity can see, by key in lower case: its own accounts key's
// first, then the shared one's (where Outlook Express keeps the accounts of every identity).
std::map<std::string, std::string> AccountNames(registry::ModReg& modReg,
                                                const std::string& identityKey) {
    constexpr char kAccountNameValue[] = "Account Name";
    std::map<std::string, std::string> names;
    for (const std::string& accounts :
         {IdentityAccountsKey(identityKey), std::string(kSharedAccountsKey)}) {
        for (const std::string& key : modReg.EnumSubkeys(accounts)) {
            const std::string name =
                modReg.ReadStringValue(accounts + "\\" + key, kAccountNameValue);
            if (!name.empty()) names.emplace(AsciiLower(key), name);
        }
    }
    return names;
}

}  // namespace

Result<std::unique_ptr<mailstore::MailSource>> IdentityMailSource(system::WindowsSystem& system,
                                                                  const std::string& identityKey) {
    // Reads only; the key paths read here are built, never typed, so the key-path access has
    // nothing to report.
    registry::ModReg& modReg = system.modReg();
    const std::vector<Identity> identities = ListIdentities(modReg);
    const Identity* identity = FindIdentity(identities, identityKey);
    if (identity == nullptr) {
        return Status::Error("There is no identity " + identityKey, ErrorKind::kNotFound);
    }
    const std::string description =
        "identity " + (identity->userName.empty() ? identity->key : identity->userName);
    const std::optional<std::string> windowsFolder =
        ItemFolder(modReg, kItems[kMessages], identity->key, system.userProfile());
    if (!windowsFolder) {
        return Status::Error("The registry names no message store folder for the " + description,
                             ErrorKind::kNotFound);
    }
    const std::optional<std::filesystem::path> folder = system.paths().toHost(*windowsFolder);
    std::error_code error;
    if (!folder || !std::filesystem::is_directory(*folder, error)) {
        return Status::Error("The message store folder " + *windowsFolder + " does not exist",
                             ErrorKind::kNotFound);
    }
    auto files = ConfinedItemFilesIn(system, *folder, kItems[kMessages].filter, error);
    if (!files) return files.status();
    std::vector<MailSource::StoreName> stores;
    for (const std::filesystem::path& file : *files) {
        std::error_code fileError;
        const std::uintmax_t size = std::filesystem::file_size(file, fileError);
        if (fileError) {
            return Status::Error("Cannot read the size of " + file.string() + ": " +
                                 fileError.message());
        }
        stores.push_back({file.filename().string(), static_cast<std::uint64_t>(size)});
    }
    if (error) {
        return Status::Error(
            "Cannot list " + *windowsFolder + ": " + error.message(),
            error == std::errc::permission_denied ? ErrorKind::kAccessDenied : ErrorKind::kIo);
    }
    SortStores(stores);
    std::unique_ptr<MailSource> source =
        mailstore::MakeFolderMailSource(description, *folder, std::move(stores));
    source->setOrigin({system::SystemCodePage(modReg), AccountNames(modReg, identity->key)});
    return source;
}

Result<std::unique_ptr<mailstore::MailSource>> BackupMailSource(OpenedBackup& backup,
                                                                std::filesystem::path workFolder) {
    if (backup.invalid()) {
        return Status::Error("No backup file is open to read messages from", ErrorKind::kBadInput);
    }
    const std::string description = "backup " + backup.file().filename().string();
    std::vector<MailSource::StoreName> stores;
    std::set<std::string> seen;
    for (std::string& name : SplitNameList(backup.entryNames(kMessages))) {
        if (!FilterTakes(kItems[kMessages].filter, name) || !seen.insert(name).second) continue;
        // An entry the information file names but the archive lacks is still listed: opening it
        // says the backup is damaged, and the other stores can still be read.
        const std::optional<archive::ArchiveEntry> entry = backup.archive().LookupEntry(name);
        stores.push_back({std::move(name), entry ? entry->size : 0});
    }
    if (stores.empty()) {
        return Status::Error("The " + description + " holds no message stores",
                             ErrorKind::kNotFound);
    }
    SortStores(stores);
    auto source =
        std::make_unique<ArchiveMailSource>(backup, std::move(workFolder), std::move(stores));
    source->setOrigin({.codePage = backup.codePage()});
    return std::unique_ptr<MailSource>(std::move(source));
}

}  // namespace quillet
