#pragma once

#include <filesystem>
#include <string>

namespace quillet::testing {

// Gives this process (and what it starts) a private view of the mounts with an empty file system
// on `folder`, mounted with these tmpfs options: what the test creates there is seen by nobody
// else and goes when the last process of the test ends. False when the system does not allow it
// (not root, no namespaces). Call it in a forked child, not in the test process itself.
bool MountPrivateEmptyFolder(const std::filesystem::path& folder,
                             const std::string& options = "mode=0755");

}  // namespace quillet::testing
