#pragma once

#include <filesystem>
#include <memory>

#include "platform/prefix_lock.h"
#include "platform/wine_server_probe.h"
#include "registry/hive_registry_store.h"
#include "registry/tick_clock.h"

namespace quillet::registry {

// The registry of a Wine prefix: HKEY_CURRENT_USER is `user.reg`, HKEY_LOCAL_MACHINE
// `system.reg`, each read on first use and kept in memory.
//
// Commit() writes every changed file atomically (ReplaceFileAtomically), keeping every byte of
// the keys that did not change. It refuses, changing nothing on disk and discarding the changes,
// while a Wine server runs for the prefix (it would overwrite the files when it exits), and when
// a file changed on disk since it was read; it holds the prefix lock while it checks and writes.
// The two files are committed one after the other, each atomically.
class WinePrefixRegistry : public HiveRegistryStore {
  public:
    WinePrefixRegistry(std::filesystem::path prefix, const WineServerProbe& serverProbe,
                       PrefixLock& prefixLock, TickClock clock = SystemTicksNow);
};

}  // namespace quillet::registry
