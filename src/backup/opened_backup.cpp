#include "backup/opened_backup.h"

#include <system_error>

#include "backup/information_file.h"

namespace quillet {

bool OpenedBackup::ArchiveHasPassword(const std::filesystem::path& backupFile) {
    return m_archive.ArchiveHasPassword(backupFile);
}

void OpenedBackup::clear() {
    m_archive.ClearArchive();
    m_invalid = true;
    m_file.clear();
    m_computer.clear();
    m_logonUser.clear();
    m_identity.clear();
    m_time.clear();
    m_description.clear();
}

Status OpenedBackup::open(const std::filesystem::path& backupFile, const std::string& password) {
    clear();
    const bool protectedFile = m_archive.ArchiveHasPassword(backupFile);
    const Status loaded = m_archive.LoadArchive(backupFile);
    if (protectedFile) {
        m_archive.ReadPassword(password);
        if (!loaded || !m_archive.CheckReadPassword())
            return Status::Error(kWrongPasswordMessage, ErrorKind::kAccessDenied);
    }
    m_file = backupFile;

    // Whatever cannot be read leaves its field empty; an unreadable information file leaves the
    // item flags empty, which rejects the backup below.
    const std::filesystem::path information = m_workFolder / kInformationFileName;
    std::error_code ignored;
    std::filesystem::remove(information, ignored);
    std::string itemFlags;
    if (loaded && m_archive.LookupEntry(kInformationFileName) &&
        m_archive.ExtractEntryTo(kInformationFileName, information)) {
        const auto read = [&](const char* key) {
            auto value = GetINI(key, information);
            return value ? *value : std::string();
        };
        m_computer = read("BackupComputer");
        m_logonUser = read("BackupLogonUser");
        m_identity = read("BackupIdentity");
        m_time = read("BackupTime");
        m_description = DecodeDescription(read("BackupInformation"));
        itemFlags = read("BackupItem");
        if (itemFlags.size() == kItemCount) {
            for (int i = 0; i < kItemCount; ++i) {
                if (itemFlags[i] == '1') m_entryNames[i] = read(kItems[i].informationKey.data());
            }
        }
    }
    std::filesystem::remove(information, ignored);
    m_itemFlags = itemFlags;
    if (m_itemFlags.size() != kItemCount) {
        return Status::Error(kInvalidBackupMessage, ErrorKind::kCorrupt);
    }
    m_invalid = false;
    return Status::Ok();
}

std::string OpenedBackup::originText() const {
    return "Computer:" + m_computer + "\r\nUser:" + m_logonUser + "\r\nIdentity:" + m_identity +
           "\r\nDate:" + m_time;
}

}  // namespace quillet
