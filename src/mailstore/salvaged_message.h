#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace quillet::mailstore {

// What a salvaging export does with the pieces of mail a damaged store still holds.

// The folder, at the top of the export, that holds recovered pieces of mail with no header of
// their own (the rest of a message whose start was lost): they are kept, but apart from the mail.
inline constexpr std::string_view kRecoveredFragmentsFolder = "Recovered fragments";

// The header field put at the top of a message of which only the start could be read.
inline constexpr std::string_view kDamagedMessageField = "X-Quillet-Damaged";

// Whether `start`, the first bytes of a message, begins with a header field ("Name:", the name of
// printable characters but ":"): a message's own start, not a piece of one.
bool StartsWithHeaderField(std::span<const std::byte> start);

// The kDamagedMessageField line for a message whose bytes from `keptBytes` on are missing, the
// store damaged at `damageOffset`, ending as the message's own first line ends (`start`, its first
// bytes: CR LF unless that line ends in a bare LF).
std::string DamagedMessageLine(std::uint64_t keptBytes, std::uint64_t damageOffset,
                               std::span<const std::byte> start);

}  // namespace quillet::mailstore
