#pragma once

#include <optional>
#include <string>

#include "archive/archive.h"
#include "platform/status.h"

namespace quillet::cli {

class CliContext;

// The first line of a password file (without its line end). Fails when it names a folder or
// cannot be read.
Result<std::string> ReadPasswordFile(const std::string& file);

// The password that protects a new backup: empty without a password file, else the file's first
// line, which must not be empty (a protected backup with an empty password would be written
// unprotected).
Result<std::string> ProtectionPassword(const std::optional<std::string>& passwordFile);

// Asks for a password on the terminal without echo. Fails when there is no terminal.
Result<std::string> AskPassword(const std::string& prompt);

// The password to read `archiveFile` with: empty when it is not protected, else from the password
// file when one is given, else asked through the context.
Result<std::string> PasswordIfProtected(archive::Archive& archive, const std::string& archiveFile,
                                        const std::optional<std::string>& passwordFile,
                                        CliContext& context);

}  // namespace quillet::cli
