#include "backup/item_context.h"

namespace quillet {

Result<PrefixLock::Guard> HoldPrefixForRun(ItemContext& context) {
    PrefixLock* lock = context.system.lock();
    if (lock == nullptr) return PrefixLock::Guard();
    Result<PrefixLock::Guard> held = lock->hold();
    registry::RegistryStore& store = context.system.registry();
    if (held && !store.HasChanges()) store.Discard();
    return held;
}

}  // namespace quillet
