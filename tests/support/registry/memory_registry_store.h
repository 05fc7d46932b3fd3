#pragma once

#include <string>

#include "registry/tick_clock.h"
#include "registry/tree_registry_store.h"

namespace quillet::registry {

// A registry held in memory behind the same interface as a prefix's, for tests. A commit keeps
// the current state as the committed one (in Wine's text form, so it also exercises that
// form); a discard returns to it. It records how often it committed and can be told to fail.
class MemoryRegistryStore : public TreeRegistryStore {
  public:
    explicit MemoryRegistryStore(TickClock clock = [] { return std::uint64_t{0x1d9c5a0f0000000}; });

    // The next Commit() fails with this reason (and discards the changes, as a real one would).
    void failNextCommit(std::string reason);
    int commitCount() const;
    // The committed state of the current-user or local-machine key tree in Wine's text form.
    std::string committedText(HKey root) const;

  private:
    class Backend;
    Backend* m_backend;
};

}  // namespace quillet::registry
