#include "cli/commands.h"

namespace quillet::cli {

void AddBackupReadingOptions(CLI::App& command, std::string& file,
                             std::optional<std::string>& passwordFile) {
    command.add_option("FILE", file, "The backup file")->required()->check(CLI::ExistingFile);
    command.add_option("--password-file", passwordFile,
                       "The password on this file's first line (else it is asked)");
}

}  // namespace quillet::cli
