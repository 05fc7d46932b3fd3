#pragma once

#include <filesystem>
#include <memory>

#include "platform/file_operations.h"
#include "platform/prefix_lock.h"
#include "platform/wine_server_probe.h"
#include "registry/tick_clock.h"
#include "registry/tree_registry_store.h"

namespace quillet::registry {

// The registry of a Wine prefix: HKEY_CURRENT_USER is `user.reg`, HKEY_LOCAL_MACHINE
// `system.reg`, each read on first use and kept in memory.
//
// Commit() replaces every changed file durably (FileReplacement, through `files`), keeping every
// byte of the keys that did not change, and holds the prefix lock while it checks and writes.
// It goes in two steps:
//  1. It refuses while a Wine server runs for the prefix (it would overwrite the files when it
//     exits) and when a changed file changed on disk since it was read. Then it writes and
//     flushes the new content of every changed file to a temporary beside it.
//     A failure here (a refusal, a full disk, any failed write or flush) changes no file and
//     leaves no temporary: every change is discarded (the files are read again on next use) and
//     the reason, naming the file, says that nothing was written.
//  2. It renames the temporaries over user.reg, then system.reg, flushing the folder after each,
//     and stops at the first failure. A failed rename of the first file changed is again a
//     failure that wrote nothing (as in step 1). When user.reg was replaced and system.reg then
//     fails (its rename, or flushing the folder after it):
//       - user.reg holds its new content, which the store now holds as committed;
//       - when system.reg's rename failed, it keeps its old bytes, no temporary is left, and its
//         changes stay in memory, not discarded: the next Commit() writes them, Discard() drops
//         them; the reason names system.reg and its error and ends "<user.reg> was written,
//         <system.reg> was not.";
//       - when only flushing the folder failed, both files hold their new content, committed,
//         and the reason says that the folder could not be flushed.
//     A failed folder flush after user.reg's rename stops the commit there: user.reg is
//     committed and system.reg's changes are kept, as when system.reg's rename fails.
// Handles opened before a failed Commit() no longer work (see TreeRegistryStore).
class WinePrefixRegistry : public TreeRegistryStore {
  public:
    WinePrefixRegistry(std::filesystem::path prefix, const WineServerProbe& serverProbe,
                       PrefixLock& prefixLock, TickClock clock = SystemTicksNow,
                       FileOperations& files = RealFileOperations());
};

}  // namespace quillet::registry
