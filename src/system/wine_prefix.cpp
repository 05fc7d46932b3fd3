#include "system/wine_prefix.h"

#include <system_error>

namespace quillet::system {
namespace {

std::filesystem::path Normalised(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::path absolute = std::filesystem::absolute(folder, error);
    if (error) absolute = folder;
    absolute = absolute.lexically_normal();
    // "/a/b/" normalises to "/a/b/" (an empty last element); the prefix is the folder itself.
    if (!absolute.has_filename() && absolute.has_relative_path()) {
        absolute = absolute.parent_path();
    }
    return absolute;
}

}  // namespace

Result<std::filesystem::path> LocateWinePrefix(const std::optional<std::string>& explicitDir,
                                               const Environment& env) {
    std::filesystem::path folder;
    if (explicitDir) {
        if (explicitDir->empty()) return Status::Error("The Wine prefix folder name is empty");
        folder = *explicitDir;
    } else if (auto winePrefix = env.get("WINEPREFIX"); winePrefix && !winePrefix->empty()) {
        folder = *winePrefix;
    } else if (auto home = env.get("HOME"); home && !home->empty()) {
        folder = std::filesystem::path(*home) / ".wine";
    } else {
        return Status::Error(
            "Cannot find the Wine prefix: neither WINEPREFIX nor HOME is set (use --prefix DIR)");
    }

    folder = Normalised(folder);
    const std::string name = folder.string();
    std::error_code error;
    const auto state = std::filesystem::status(folder, error);
    if (error && error != std::errc::no_such_file_or_directory &&
        error != std::errc::not_a_directory) {
        return Status::Error("Cannot open the Wine prefix " + name + ": " + error.message());
    }
    if (!std::filesystem::exists(state)) {
        return Status::Error("Wine prefix " + name + " does not exist");
    }
    if (!std::filesystem::is_directory(state)) {
        return Status::Error("Wine prefix " + name + " is not a folder");
    }
    if (!std::filesystem::is_regular_file(folder / "user.reg", error)) {
        return Status::Error("Wine prefix " + name + " has no user.reg: not a Wine prefix");
    }
    return folder;
}

}  // namespace quillet::system
