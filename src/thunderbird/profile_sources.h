#pragma once

#include <filesystem>
#include <memory>

#include "backup/identity_list.h"
#include "backup/opened_backup.h"
#include "platform/status.h"
#include "system/windows_system.h"
#include "thunderbird/thunderbird_profile.h"

namespace quillet::thunderbird {

// An identity of a Wine prefix or a Windows disk, read in place: its registry keys, its message
// stores and its signature file. `system` must outlive the source.
std::unique_ptr<ProfileSource> IdentityProfileSource(system::WindowsSystem& system,
                                                     const Identity& identity);

// A backup: its accounts, rules, blocked senders and signatures rebuilt from its registry text
// entries in a registry held only in memory, its message stores read as the export reads them
// (nothing of them in the clear on disk). A backup holds no signature file. `backup` must be open
// and outlive the source; `workFolder` holds the stores' sealed scratch files. Fails when an
// entry cannot be read or is no registry text.
Result<std::unique_ptr<ProfileSource>> BackupProfileSource(OpenedBackup& backup,
                                                           std::filesystem::path workFolder);

}  // namespace quillet::thunderbird
