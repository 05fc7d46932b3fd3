#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/byte_source.h"

namespace quillet::wab {

// The bytes of one address book: a .wab file on disk, or one read out of a backup into a sealed
// scratch file.
using BookBytes = ByteSource;

// An address book is read through a window of 64 KiB: a scan asks for one word after another.
inline constexpr std::size_t kBookWindowBytes = 64 * 1024;

class WindowedBookBytes : public WindowedByteSource {
  public:
    WindowedBookBytes(std::string name, std::uint64_t size)
        : WindowedByteSource(std::move(name), size, kBookWindowBytes) {}
};

// An address book file on disk, opened read-only (see OpenByteFile).
inline Result<std::unique_ptr<BookBytes>> OpenBookFile(const std::filesystem::path& file) {
    return OpenByteFile(file, kBookWindowBytes);
}

using quillet::DamageAt;
using quillet::ReadUint32;

}  // namespace quillet::wab
