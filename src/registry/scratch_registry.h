#pragma once

#include <memory>

#include "registry/registry_store.h"

namespace quillet::registry {

// A registry that lives only in memory and is gone with the object: the place where key trees
// read out of a backup are rebuilt at their usual paths, so that what reads an identity's keys on
// a system reads them from a backup the same way. Commit() keeps the changes; nothing is written.
std::unique_ptr<RegistryStore> MakeScratchRegistry();

}  // namespace quillet::registry
