#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "platform/status.h"

namespace quillet {

// The process environment as the platform layer sees it. Tests build one from a map;
// main() uses Process().
struct Environment {
    // The value of a variable, or nullopt when it is not set.
    std::function<std::optional<std::string>(const std::string& name)> get;

    // Reads the real environment (getenv). Safe to call from any thread as long as nothing
    // changes the environment at the same time.
    static Environment Process();
};

// Finds the Wine prefix to work on: `explicitDir` (the --prefix option) when given, else
// $WINEPREFIX when set and not empty, else $HOME/.wine. A relative folder is taken relative to
// the current folder. On success the path is absolute and lexically normalised (no ".", "..",
// repeated or trailing separators; symbolic links are not resolved).
// Fails with a reason naming the folder when it does not exist, is not a folder, or holds no
// user.reg; fails when neither the option, WINEPREFIX nor HOME gives a folder.
Result<std::filesystem::path> LocateWinePrefix(const std::optional<std::string>& explicitDir,
                                               const Environment& env);

}  // namespace quillet
