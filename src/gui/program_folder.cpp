#include "gui/program_folder.h"

#include <system_error>

namespace quillet {

std::filesystem::path ProgramDataFolder(const std::filesystem::path& executableFolder) {
    std::error_code error;
    if (std::filesystem::is_directory(executableFolder / "skins", error)) return executableFolder;
    return (executableFolder / ".." / "share" / "quillet").lexically_normal();
}

std::filesystem::path HelpFile(const std::filesystem::path& dataFolder) {
    return dataFolder / "help" / "quillet-help.html";
}

}  // namespace quillet
