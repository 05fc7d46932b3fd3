#include "backup/item_context.h"

namespace quillet {

Result<PrefixLock::Guard> HoldPrefixForRun(ItemContext& context) {
    if (context.prefixLock == nullptr) return PrefixLock::Guard();
    Result<PrefixLock::Guard> held = context.prefixLock->hold();
    registry::RegistryStore& store = context.modReg.store();
    if (held && !store.HasChanges()) store.Discard();
    return held;
}

}  // namespace quillet
