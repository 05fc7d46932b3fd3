#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/byte_source.h"

namespace quillet::mailstore {

// The bytes of one message store: a file on disk, or a store read out of a backup into a sealed
// scratch file.
using StoreBytes = ByteSource;

// A store is read through a window of 256 KiB: a message's chunks and a tree node's entries lie
// next to each other.
inline constexpr std::size_t kStoreWindowBytes = 256 * 1024;

class WindowedStoreBytes : public WindowedByteSource {
  public:
    WindowedStoreBytes(std::string name, std::uint64_t size)
        : WindowedByteSource(std::move(name), size, kStoreWindowBytes) {}
};

// A store file on disk, opened read-only (see OpenByteFile).
inline Result<std::unique_ptr<StoreBytes>> OpenStoreFile(const std::filesystem::path& file) {
    return OpenByteFile(file, kStoreWindowBytes);
}

using quillet::DamageAt;
using quillet::ReadUint32;

}  // namespace quillet::mailstore
