#pragma once

#include <filesystem>
#include <system_error>
#include <vector>

#include "backup/backup_item.h"
#include "platform/status.h"
#include "system/windows_system.h"

namespace quillet {

// The files directly in `folder` that `filter` takes, in the folder's own order: plain files
// only, no folder, nothing of a subfolder and no temporary of a run (IsTemporaryName). When the
// folder cannot be listed to its end, `error` says why and the files listed before that are
// returned; else it is cleared.
std::vector<std::filesystem::path> ItemFilesIn(const std::filesystem::path& folder,
                                               FileFilter filter, std::error_code& error);

// Lists the files as ItemFilesIn does, after making sure that reading `folder` stays inside
// `system` (its confineRead), and then each file; a refusal, which names the path, is returned
// with no file and nothing listed past the folder's check.
Result<std::vector<std::filesystem::path>> ConfinedItemFilesIn(const system::WindowsSystem& system,
                                                               const std::filesystem::path& folder,
                                                               FileFilter filter,
                                                               std::error_code& error);

}  // namespace quillet
