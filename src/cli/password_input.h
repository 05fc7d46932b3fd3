#pragma once

#include <optional>
#include <string>

#include "archive/archive.h"
#include "platform/status.h"

namespace quillet::cli {

// The first line of a password file (without its line end). Fails when it cannot be read.
Result<std::string> ReadPasswordFile(const std::string& file);

// Asks for a password on the terminal without echo. Fails when there is no terminal.
Result<std::string> AskPassword(const std::string& prompt);

// The password for a protected archive: from the file when one is given, else asked.
Result<std::string> PasswordFor(const std::optional<std::string>& passwordFile,
                                const std::string& archiveName);

// The password to read `archiveFile` with: empty when it is not protected, else as PasswordFor.
Result<std::string> PasswordIfProtected(archive::Archive& archive, const std::string& archiveFile,
                                        const std::optional<std::string>& passwordFile);

}  // namespace quillet::cli
