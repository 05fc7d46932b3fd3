#pragma once

#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "backup/opened_backup.h"
#include "cli/cli_context.h"
#include "platform/work_folder.h"

namespace quillet::cli {

// A backup opened for reading, with the private work folder that holds its scratch files (removed
// with it). Whatever reads through the backup must go before it.
class BackupReading {
  public:
    // Opens `file`, asking for its password when it is protected (or reading --password-file).
    // Null, with the reason written to `err`: no work folder, no password, a wrong password, a
    // file that is no backup.
    static std::unique_ptr<BackupReading> Open(const std::string& file,
                                               const std::optional<std::string>& passwordFile,
                                               CliContext& context, std::ostream& err);

    OpenedBackup& backup() { return m_backup; }
    const std::filesystem::path& workFolder() const { return m_workFolder.path(); }
    // Whether the backup is protected by a password.
    bool isProtected() const { return m_protected; }

  private:
    BackupReading(WorkFolder workFolder, CliContext& context)
        : m_workFolder(std::move(workFolder)), m_backup(context.archive(), m_workFolder.path()) {}

    WorkFolder m_workFolder;
    OpenedBackup m_backup;
    bool m_protected = false;
};

}  // namespace quillet::cli
