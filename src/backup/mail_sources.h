#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "backup/opened_backup.h"
#include "mailstore/mail_source.h"
#include "platform/status.h"
#include "system/windows_system.h"

namespace quillet {

// The message stores of one identity on a Wine prefix or a mounted Windows disk: the ".dbx" files
// of the identity's store folder (as the message-store item finds it), read in place and never
// written. Fails with kNotFound when the identity has no store folder or it does not exist.
Result<std::unique_ptr<mailstore::MailSource>> IdentityMailSource(system::WindowsSystem& system,
                                                                  const std::string& identityKey);

// The message stores a backup holds: the entries of its message-store item. Each store opened is
// read from its entry once, checked (authentication, CRC) and kept in a sealed scratch file in
// `workFolder` (unlinked, encrypted with a key held only in memory), so nothing of it reaches the
// disk in the clear and nothing is restored. `backup` must be open and outlive the source. Fails
// with kNotFound when the backup holds no message stores.
Result<std::unique_ptr<mailstore::MailSource>> BackupMailSource(OpenedBackup& backup,
                                                                std::filesystem::path workFolder);

}  // namespace quillet
