#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quillet::testing {

// The bytes of every file this process holds open whose path lies under `folder`, unlinked ones
// included, read through /proc/self/fd: what a file's descriptor would show anyone on the disk.
std::vector<std::string> OpenFileBytesUnder(const std::filesystem::path& folder);

// Whether some regular file under `root` (at any depth) holds `needle`; its path, or "".
std::string FileHolding(const std::filesystem::path& root, const std::string& needle);

}  // namespace quillet::testing
