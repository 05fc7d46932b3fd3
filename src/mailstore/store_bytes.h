#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

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

// A StoreBytes that serves reads from a window of the store kept in memory (256 KiB), because
// the reader asks for many small objects that lie next to each other (a message's chunks, a tree
// node's entries): one read of the source then serves a run of them. A derived class reads exact
// ranges of its source; ranges that pass the end are refused here first. The window's bytes are
// wiped when the object goes.
class WindowedStoreBytes : public StoreBytes {
  public:
    WindowedStoreBytes(std::string name, std::uint64_t size)
        : m_name(std::move(name)), m_size(size) {}
    ~WindowedStoreBytes() override;

    const std::string& name() const override { return m_name; }
    std::uint64_t size() const override { return m_size; }
    Status readAt(std::uint64_t offset, std::span<std::byte> out) const final;

  protected:
    // Fills `out` with the source's bytes at `offset`; the range lies inside the store.
    virtual Status readExact(std::uint64_t offset, std::span<std::byte> out) const = 0;

  private:
    std::string m_name;
    std::uint64_t m_size;
    mutable std::vector<std::byte> m_window;
    mutable std::uint64_t m_windowStart = 0;
    mutable std::uint64_t m_windowFilled = 0;
};

// A store file on disk, opened read-only and read with pread through a WindowedStoreBytes. Fails
// with kNotFound or kAccessDenied and the path when it cannot be opened.
Result<std::unique_ptr<StoreBytes>> OpenStoreFile(const std::filesystem::path& file);

// The failure of a damaged store: "<store name>: <what> at offset 0x<offset in hex>", kCorrupt.
Status DamageAt(const StoreBytes& store, std::uint64_t offset, const std::string& what);

// Little-endian integers of a store, read with bounds checks.
Result<std::uint32_t> ReadUint32(const StoreBytes& store, std::uint64_t offset);

}  // namespace quillet::mailstore
