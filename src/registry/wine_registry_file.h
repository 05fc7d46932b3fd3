#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/status.h"
#include "registry/key_tree.h"

namespace quillet::registry {

// Reads the text of a Wine registry file ("WINE REGISTRY Version 2"): key blocks
// `[path] seconds`, `#time=`, `#class=`, `#link`, and values `@=` / `"name"=` of the forms
// `"text"`, `str(N):"text"`, `dword:`, `hex:` and `hex(N):` (continued over lines ending in a
// backslash). Everything is kept so that SerializeWineRegistry gives back the same bytes for
// every key that was not changed; lines it does not interpret are kept as they are.
// Fails, with the line number, when the header is missing, a key line cannot be read or names a
// key deeper than kMaxKeyDepth levels.
Result<std::unique_ptr<KeyTree>> ParseWineRegistry(std::string_view text);

// Writes the key tree as Wine does. Unchanged keys are written exactly as read; changed and new
// keys are written in Wine's form with the modification time `nowTicks` (100 ns since 1601),
// keeping their unchanged values' lines. Afterwards the tree holds the written text as its source,
// so it counts as unchanged.
std::string SerializeWineRegistry(KeyTree& tree, std::uint64_t nowTicks);

// 100 ns ticks since 1601 for a time in seconds since 1970, and back.
std::uint64_t TicksFromUnixSeconds(std::uint64_t seconds);
std::uint64_t UnixSecondsFromTicks(std::uint64_t ticks);

}  // namespace quillet::registry
