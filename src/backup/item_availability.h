#pragma once

#include <string>

#include "backup/backup_item.h"
#include "registry/mod_reg.h"
#include "system/windows_path_mapper.h"

namespace quillet {

// Which items can be backed up for an identity, as the backup tab shows them: the accounts when
// the identity's or the shared accounts key exists; the address book unless the address-book key
// names an empty path or a missing file (a key that cannot be read leaves it available); the
// stationery when its folder directly holds a file; every other item always.
ItemMask ItemAvailability(registry::ModReg& modReg, const system::WindowsPathMapper& paths,
                          const std::string& identityKey);

}  // namespace quillet
