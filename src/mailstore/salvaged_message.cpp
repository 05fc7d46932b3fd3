#include "mailstore/salvaged_message.h"

#include <cstdio>

namespace quillet::mailstore {

bool StartsWithHeaderField(std::span<const std::byte> start) {
    std::size_t at = 0;
    for (; at < start.size(); ++at) {
        const auto c = static_cast<unsigned char>(start[at]);
        if (c == ':') return at > 0;
        if (c <= ' ' || c > '~') return false;
    }
    // A first piece too short to hold the colon: a header field as far as it goes.
    return at > 0;
}

std::string DamagedMessageLine(std::uint64_t keptBytes, std::uint64_t damageOffset,
                               std::span<const std::byte> start) {
    std::string_view lineEnd = "\r\n";
    for (std::size_t at = 0; at < start.size(); ++at) {
        if (start[at] != std::byte{'\n'}) continue;
        if (at == 0 || start[at - 1] != std::byte{'\r'}) lineEnd = "\n";
        break;
    }
    char offset[24];
    std::snprintf(offset, sizeof offset, "0x%llX", static_cast<unsigned long long>(damageOffset));
    return std::string(kDamagedMessageField) + ": the bytes of this message from byte " +
           std::to_string(keptBytes) + " on are missing (its store is damaged at offset " + offset +
           ")" + std::string(lineEnd);
}

}  // namespace quillet::mailstore
