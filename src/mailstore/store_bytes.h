#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "platform/status.h"

namespace quillet::mailstore {

// Random access to the bytes of one message store: a file on disk, or a store read out of a backup
// into a sealed scratch file. The reader never writes through it.
//
// readAt may be called from one thread at a time.
class StoreBytes {
  public:
    virtual ~StoreBytes() = default;

    // The name that error messages give the store ("Inbox.dbx", or a path).
    virtual const std::string& name() const = 0;
    virtual std::uint64_t size() const = 0;

    // Fills `out` with the bytes at [offset, offset + out.size()). A range that passes the end of
    // the store fails with ErrorKind::kCorrupt naming the store and the offset; a read error with
    // kIo.
    virtual Status readAt(std::uint64_t offset, std::span<std::byte> out) const = 0;
};

// A store file on disk, opened read-only (pread; no buffering of its own: the reader asks for
// whole objects). Fails with kNotFound or kAccessDenied and the path when it cannot be opened.
Result<std::unique_ptr<StoreBytes>> OpenStoreFile(const std::filesystem::path& file);

// The failure of a damaged store: "<store name>: <what> at offset 0x<offset in hex>", kCorrupt.
Status DamageAt(const StoreBytes& store, std::uint64_t offset, const std::string& what);

// Little-endian integers of a store, read with bounds checks.
Result<std::uint32_t> ReadUint32(const StoreBytes& store, std::uint64_t offset);

}  // namespace quillet::mailstore
