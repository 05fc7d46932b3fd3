#include "support/platform/private_mount.h"

#include <sched.h>
#include <sys/mount.h>

namespace quillet::testing {

bool MountPrivateEmptyFolder(const std::filesystem::path& folder, const std::string& options) {
    if (unshare(CLONE_NEWNS) != 0) return false;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
    return mount("quillet-test", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

}  // namespace quillet::testing
