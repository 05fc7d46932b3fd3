#include "cli/backup_reading.h"

#include "cli/commands.h"
#include "cli/password_input.h"

namespace quillet::cli {

std::unique_ptr<BackupReading> BackupReading::Open(const std::string& file,
                                                   const std::optional<std::string>& passwordFile,
                                                   CliContext& context, std::ostream& err) {
    auto work = WorkFolder::Create(context.environment());
    if (!work) {
        Fail(err, work.reason());
        return nullptr;
    }
    std::unique_ptr<BackupReading> reading(new BackupReading(std::move(work.value()), context));
    if (Status opened = OpenBackup(reading->m_backup, file, passwordFile, context); !opened) {
        Fail(err, opened.reason());
        return nullptr;
    }
    reading->m_protected = reading->m_backup.archive().ArchiveHasPassword(file);
    return reading;
}

}  // namespace quillet::cli
