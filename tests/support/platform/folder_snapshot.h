#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace quillet::testing {

// The names in a folder, sorted.
std::vector<std::string> FolderListing(const std::filesystem::path& folder);

// The regular files directly in a folder, name -> bytes.
std::map<std::string, std::string> FilesIn(const std::filesystem::path& folder);

// Everything below `root`: relative path -> the file's bytes, "<folder>" or "-> link target",
// each followed by its permission bits. Two equal snapshots mean nothing was written there.
using TreeSnapshot = std::map<std::string, std::string>;
TreeSnapshot SnapshotTree(const std::filesystem::path& root);

// The paths that differ between two snapshots, for a readable failure.
std::vector<std::string> ChangedPaths(const TreeSnapshot& before, const TreeSnapshot& after);

}  // namespace quillet::testing
