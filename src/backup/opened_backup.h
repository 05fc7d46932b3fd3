#pragma once

#include <array>
#include <filesystem>
#include <string>

#include "archive/archive.h"
#include "backup/backup_item.h"
#include "platform/ansi_code_page.h"

namespace quillet {

// The messages of a failed open, which the user sees as they stand.
inline constexpr char kWrongPasswordMessage[] = "Incorect Password or Invalid backup file";
inline constexpr char kInvalidBackupMessage[] = "Invalid backup file";

// Refuses a loaded archive whose information file records more than kMaxInformationFileBytes,
// with kInvalidBackupMessage, ": " and the reason (ErrorKind::kCorrupt). Reading an entry stops
// as soon as it inflates past its recorded size, so the record bounds what extracting it writes.
Status CheckInformationFileSize(archive::Archive& archive);

// A backup file opened for restore: the loaded archive, what its information file says, and
// whether it may be restored from. The window and quillet-cli drive the same object.
//
// Usage: ArchiveHasPassword(file) tells whether to ask for a password; open(file, password)
// loads it, checks the password, reads the information file in the work folder and removes it.
class OpenedBackup {
  public:
    OpenedBackup(archive::Archive& archive, std::filesystem::path workFolder)
        : m_archive(archive), m_workFolder(std::move(workFolder)) {}

    bool ArchiveHasPassword(const std::filesystem::path& backupFile);

    // Forgets the archive and marks the backup invalid, as every new open begins.
    void clear();

    // Opens the file; `password` is used when the file is protected. Fails with
    // kWrongPasswordMessage (ErrorKind::kAccessDenied) when the password does not open a
    // protected file, and nothing was read; with kInvalidBackupMessage (ErrorKind::kCorrupt) when
    // the file is no backup, and the origin and description hold what could be read (followed by
    // ": " and the reason when its information file is too large: see CheckInformationFileSize);
    // with the reason (ErrorKind::kDiskFull or kIo) when the information file cannot be written
    // to the work folder, whose files are then all removed.
    Status open(const std::filesystem::path& backupFile, const std::string& password);

    // True until a backup was opened successfully, and again after a failed open or clear().
    bool invalid() const { return m_invalid; }
    const std::filesystem::path& file() const { return m_file; }

    // "Computer:" + computer CR LF "User:" + logon user CR LF "Identity:" + identity CR LF
    // "Date:" + time; a missing line leaves its caption alone. Empty when no information file
    // was read (none opened, or the file is no archive or holds no readable information file).
    std::string originText() const;
    // The description, with its line breaks (CR LF) restored.
    const std::string& description() const { return m_description; }
    const std::string& identity() const { return m_identity; }
    // The origin's other lines, each as read (empty when missing).
    const std::string& computer() const { return m_computer; }
    const std::string& logonUser() const { return m_logonUser; }
    const std::string& time() const { return m_time; }
    // The BackupItem value: "1" at the position of every item the backup holds.
    const std::string& itemFlags() const { return m_itemFlags; }
    bool holds(int index) const {
        return m_itemFlags.size() == kItemCount && m_itemFlags[index] == '1';
    }
    // The code page of the system the backup was made on (Windows-1252 when it does not say).
    const AnsiCodePage& codePage() const { return m_codePage; }
    // The entry name (or names joined by ";") of an item the backup holds.
    const std::string& entryNames(int index) const { return m_entryNames[index]; }

    archive::Archive& archive() { return m_archive; }

  private:
    archive::Archive& m_archive;
    std::filesystem::path m_workFolder;
    std::filesystem::path m_file;
    bool m_invalid = true;
    bool m_informationRead = false;
    std::string m_computer, m_logonUser, m_identity, m_time, m_description, m_itemFlags;
    std::array<std::string, kItemCount> m_entryNames;
    AnsiCodePage m_codePage;
};

}  // namespace quillet
