#include "support/platform/folder_snapshot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "support/platform/temp_dir.h"

namespace quillet::testing {
namespace fs = std::filesystem;

std::vector<std::string> FolderListing(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::map<std::string, std::string> FilesIn(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[entry.path().filename().string()] = ReadFileBytes(entry.path());
        }
    }
    return files;
}

TreeSnapshot SnapshotTree(const fs::path& root) {
    TreeSnapshot snapshot;
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(root, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::path& path = it->path();
        std::string what;
        const fs::file_status status = fs::symlink_status(path);
        if (fs::is_symlink(status)) {
            what = "-> " + fs::read_symlink(path).string();
        } else if (fs::is_directory(status)) {
            what = "<folder>";
        } else {
            what = ReadFileBytes(path);
        }
        char mode[16];
        std::snprintf(mode, sizeof mode, " %04o", static_cast<unsigned>(status.permissions()));
        snapshot[fs::relative(path, root).string()] = what + mode;
    }
    EXPECT_FALSE(error) << root << ": " << error.message();
    return snapshot;
}

std::vector<std::string> ChangedPaths(const TreeSnapshot& before, const TreeSnapshot& after) {
    std::vector<std::string> changed;
    for (const auto& [path, what] : before) {
        const auto found = after.find(path);
        if (found == after.end()) {
            changed.push_back("removed " + path);
        } else if (found->second != what) {
            changed.push_back("changed " + path);
        }
    }
    for (const auto& [path, what] : after) {
        if (!before.contains(path)) changed.push_back("added " + path);
    }
    return changed;
}

}  // namespace quillet::testing
