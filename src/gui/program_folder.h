#pragma once

#include <filesystem>

namespace quillet {

// The folder that holds the program's skin and help: the executable's own folder when it has a
// `skins` folder beside it (a build tree), else ../share/quillet from it (an installation).
std::filesystem::path ProgramDataFolder(const std::filesystem::path& executableFolder);

// The help file inside the data folder.
std::filesystem::path HelpFile(const std::filesystem::path& dataFolder);

}  // namespace quillet
