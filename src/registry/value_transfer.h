#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "registry/registry_store.h"

namespace quillet::registry {

// How value data crosses the RegistryStore interface, for every store alike.

// The bytes of a stored value as the non-raw calls hand them out: text types as UTF-8 with the
// terminating zero counted, others as stored.
std::string ValueAsAnsi(std::uint32_t type, const std::string& stored);
// The stored bytes of a value set through the non-raw calls.
std::string ValueFromAnsi(std::uint32_t type, std::string_view data);

// Copies `bytes` into the caller's buffer as RegEnumValue and RegQueryValueEx do: *dataSize is
// the buffer's size on entry and the data's size on return; kErrorMoreData when it is too small;
// a null `data` asks for the size only.
RegResult CopyValueOut(const std::string& bytes, std::uint8_t* data, std::uint32_t* dataSize);
// The same for RegQueryValue's text buffer.
RegResult CopyTextOut(const std::string& text, char* data, std::int32_t* dataSize);

}  // namespace quillet::registry
