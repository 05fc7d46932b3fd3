#pragma once

#include <filesystem>
#include <system_error>
#include <vector>

#include "backup/backup_item.h"

namespace quillet {

// The files directly in `folder` that `filter` takes, in the folder's own order: plain files
// only, no folder and nothing of a subfolder. When the folder cannot be listed to its end,
// `error` says why and the files listed before that are returned; else it is cleared.
std::vector<std::filesystem::path> ItemFilesIn(const std::filesystem::path& folder,
                                               FileFilter filter, std::error_code& error);

}  // namespace quillet
