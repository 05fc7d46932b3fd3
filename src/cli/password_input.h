#pragma once

#include <optional>
#include <string>

#include "archive/archive.h"
#include "backup/opened_backup.h"
#include "platform/status.h"

namespace quillet::cli {

class CliContext;

// What the command line says of a backup that does not open: "wrong password for the backup
// FILE", or "FILE is not a backup" and, after ": ", what is wrong with it.
inline constexpr char kWrongPasswordText[] = "wrong password for the backup";
inline constexpr char kNotABackupText[] = "is not a backup";

// The environment variable that names a password file for every command (see GivenPassword).
inline constexpr char kPasswordFileVariable[] = "QUILLET_PASSWORD_FILE";

// The first line of a password file (without its line end). Fails when it names a folder or
// cannot be read.
Result<std::string> ReadPasswordFile(const std::string& file);

// The password given without a terminal: the first line of `passwordFile`, else of what the
// context's --password-command prints (which must exit 0), else of the file that the environment
// variable QUILLET_PASSWORD_FILE names; nullopt when none of them is given.
Result<std::optional<std::string>> GivenPassword(const std::optional<std::string>& passwordFile,
                                                 const CliContext& context);

// The password that protects a new backup: empty when none is given (see GivenPassword), else
// the given one, which must not be empty (a protected backup with an empty password would be
// written unprotected).
Result<std::string> ProtectionPassword(const std::optional<std::string>& passwordFile,
                                       const CliContext& context);

// Asks for a password on the terminal without echo. Fails when there is no terminal.
Result<std::string> AskPassword(const std::string& prompt);

// The password to read `archiveFile` with: empty when it is not protected, else the given one
// (see GivenPassword), else asked through the context.
Result<std::string> PasswordIfProtected(archive::Archive& archive, const std::string& archiveFile,
                                        const std::optional<std::string>& passwordFile,
                                        CliContext& context);

// Opens `backupFile` into `backup` with the password PasswordIfProtected gives. Fails with the
// texts above (ErrorKind::kAccessDenied, kCorrupt): unlike the window's one message for both, it
// tells a wrong password from a file that is no backup; else with the reason.
Status OpenBackup(OpenedBackup& backup, const std::string& backupFile,
                  const std::optional<std::string>& passwordFile, CliContext& context);

}  // namespace quillet::cli
