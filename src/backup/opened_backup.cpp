#include "backup/opened_backup.h"

#include <optional>
#include <system_error>

#include "backup/information_file.h"

namespace quillet {

bool OpenedBackup::ArchiveHasPassword(const std::filesystem::path& backupFile) {
    return m_archive.ArchiveHasPassword(backupFile);
}

void OpenedBackup::clear() {
    m_archive.ClearArchive();
    m_invalid = true;
    m_informationRead = false;
    m_file.clear();
    m_computer.clear();
    m_logonUser.clear();
    m_identity.clear();
    m_time.clear();
    m_description.clear();
    m_codePage = AnsiCodePage();
    m_itemFlags.clear();
    for (std::string& names : m_entryNames) names.clear();
}

Status CheckInformationFileSize(archive::Archive& archive) {
    const std::optional<archive::ArchiveEntry> entry = archive.LookupEntry(kInformationFileName);
    if (entry && entry->size > kMaxInformationFileBytes) {
        return Status::Error(std::string(kInvalidBackupMessage) + ": its information file " +
                                 kInformationFileName + " holds " + std::to_string(entry->size) +
                                 " bytes, more than the " +
                                 std::to_string(kMaxInformationFileBytes / (1024 * 1024)) +
                                 " MB an information file may hold",
                             ErrorKind::kCorrupt);
    }
    return Status::Ok();
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
    if (loaded) {
        if (Status bounded = CheckInformationFileSize(m_archive); !bounded) return bounded;
    }

    // Whatever cannot be read leaves its field empty; an unreadable information file leaves the
    // item flags empty, which rejects the backup below.
    const std::filesystem::path information = m_workFolder / kInformationFileName;
    std::error_code ignored;
    std::filesystem::remove(information, ignored);
    std::string itemFlags;
    Status extracted = Status::Ok();
    if (loaded && m_archive.LookupEntry(kInformationFileName)) {
        extracted = m_archive.ExtractEntryTo(kInformationFileName, information);
    }
    if (loaded && extracted && m_archive.LookupEntry(kInformationFileName)) {
        const Result<std::string> text = ReadInformationText(information);
        m_informationRead = text.ok();
        const auto read = [&](const char* key) { return text ? INIValue(key, *text) : ""; };
        m_computer = read("BackupComputer");
        m_logonUser = read("BackupLogonUser");
        m_identity = read("BackupIdentity");
        m_time = read("BackupTime");
        m_description = DecodeDescription(read("BackupInformation"));
        itemFlags = read("BackupItem");
        m_codePage = AnsiCodePage::FromText(read(kCodePageKey)).value_or(AnsiCodePage());
        if (itemFlags.size() == kItemCount) {
            for (int i = 0; i < kItemCount; ++i) {
                if (itemFlags[i] == '1') m_entryNames[i] = read(kItems[i].informationKey.data());
            }
        }
    }
    std::filesystem::remove(information, ignored);
    // A sound backup that could not be written out (a full temporary folder) is not invalid: say
    // why it could not be read.
    if (!extracted && !extracted.is(ErrorKind::kCorrupt)) return extracted;
    m_itemFlags = itemFlags;
    if (m_itemFlags.size() != kItemCount) {
        return Status::Error(kInvalidBackupMessage, ErrorKind::kCorrupt);
    }
    m_invalid = false;
    return Status::Ok();
}

std::string OpenedBackup::originText() const {
    if (!m_informationRead) return {};
    return "Computer:" + m_computer + "\r\nUser:" + m_logonUser + "\r\nIdentity:" + m_identity +
           "\r\nDate:" + m_time;
}

}  // namespace quillet
