#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/environment.h"
#include "platform/status.h"

namespace quillet::system {

// Finds the Wine prefix to work on: `explicitDir` (the --prefix option) when given, else
// $WINEPREFIX when set and not empty, else $HOME/.wine. A relative folder is taken relative to
// the current folder. On success the path is absolute and lexically normalised (no ".", "..",
// repeated or trailing separators; symbolic links are not resolved).
// Fails with a reason naming the folder when it does not exist, is not a folder, or holds no
// user.reg; fails when neither the option, WINEPREFIX nor HOME gives a folder.
Result<std::filesystem::path> LocateWinePrefix(const std::optional<std::string>& explicitDir,
                                               const Environment& env);

}  // namespace quillet::system
