#include "backup/item_files.h"

#include "platform/durable_file.h"

namespace quillet {

std::vector<std::filesystem::path> ItemFilesIn(const std::filesystem::path& folder,
                                               FileFilter filter, std::error_code& error) {
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        // An entry whose kind cannot be read is not a file to take.
        std::error_code kindError;
        if (!it->is_regular_file(kindError)) continue;
        // A run's temporary (maybe a killed one's, half written) is never an item's file.
        if (IsTemporaryName(it->path().filename().string())) continue;
        if (FilterTakes(filter, it->path().filename().string())) files.push_back(it->path());
    }
    return files;
}

Result<std::vector<std::filesystem::path>> ConfinedItemFilesIn(const system::WindowsSystem& system,
                                                               const std::filesystem::path& folder,
                                                               FileFilter filter,
                                                               std::error_code& error) {
    if (Status confined = system.confineRead(folder); !confined) return confined;
    std::vector<std::filesystem::path> files = ItemFilesIn(folder, filter, error);
    for (const std::filesystem::path& file : files) {
        if (Status confined = system.confineRead(file); !confined) return confined;
    }
    return files;
}

}  // namespace quillet
