#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/status.h"

namespace quillet {

// The bytes of `file`, read in pieces that stop once more than `limit` bytes are held: a result
// longer than `limit` means the file is larger, and the rest of it was never read. Lets a reader
// refuse an outsized file, in its own words, without taking the whole of it into memory.
Result<std::string> ReadFileUpTo(const std::filesystem::path& file, std::uint64_t limit);

}  // namespace quillet
