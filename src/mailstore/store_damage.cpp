#include "mailstore/store_damage.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace quillet::mailstore {

StoreDamage DamageFrom(const StoreBytes& store, const Status& failure) {
    constexpr std::string_view kAtOffset = " at offset 0x";
    const std::string& reason = failure.reason();
    const std::string prefix = store.name() + ": ";
    const std::size_t at = reason.rfind(kAtOffset);
    if (!failure.is(ErrorKind::kCorrupt) || reason.rfind(prefix, 0) != 0 ||
        at == std::string::npos || at < prefix.size()) {
        return {0, reason};
    }
    const std::string hex = reason.substr(at + kAtOffset.size());
    char* end = nullptr;
    const unsigned long long offset = std::strtoull(hex.c_str(), &end, 16);
    if (hex.empty() || *end != '\0') return {0, reason};
    return {offset, reason.substr(prefix.size(), at - prefix.size())};
}

std::string DamageNote(const std::string& store, const StoreDamage& damage) {
    char offset[24];
    std::snprintf(offset, sizeof offset, "0x%llX", static_cast<unsigned long long>(damage.offset));
    return store + ": " + damage.what + " at offset " + offset;
}

}  // namespace quillet::mailstore
