#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/status.h"

namespace quillet::wab {

// Random access to the bytes of one address book: a .wab file on disk, or one read out of a backup
// into a sealed scratch file. The reader never writes through it.
//
// readAt may be called from one thread at a time.
class BookBytes {
  public:
    virtual ~BookBytes() = default;

    // The name that error messages give the address book ("quillet.wab", or a path).
    virtual const std::string& name() const = 0;
    virtual std::uint64_t size() const = 0;

    // Fills `out` with the bytes at [offset, offset + out.size()). A range that passes the end
    // fails with ErrorKind::kCorrupt naming the file and the offset; a read error with kIo.
    virtual Status readAt(std::uint64_t offset, std::span<std::byte> out) const = 0;
};

// A BookBytes that serves small reads from a window of the source kept in memory (64 KiB), since
// a scan asks for one word after another. A derived class reads exact ranges of its source;
// ranges that pass the end are refused here first. The window is wiped when the object goes.
class WindowedBookBytes : public BookBytes {
  public:
    WindowedBookBytes(std::string name, std::uint64_t size)
        : m_name(std::move(name)), m_size(size) {}
    ~WindowedBookBytes() override;

    const std::string& name() const override { return m_name; }
    std::uint64_t size() const override { return m_size; }
    Status readAt(std::uint64_t offset, std::span<std::byte> out) const final;

  protected:
    // Fills `out` with the source's bytes at `offset`; the range lies inside the source.
    virtual Status readExact(std::uint64_t offset, std::span<std::byte> out) const = 0;

  private:
    std::string m_name;
    std::uint64_t m_size;
    mutable std::vector<std::byte> m_window;
    mutable std::uint64_t m_windowStart = 0;
    mutable std::uint64_t m_windowFilled = 0;
};

// An address book file on disk, opened read-only. Fails with kNotFound or kAccessDenied and the
// path when it cannot be opened, kBadInput when it is no regular file.
Result<std::unique_ptr<BookBytes>> OpenBookFile(const std::filesystem::path& file);

// The failure of a damaged address book: "<name>: <what> at offset 0x<hex>", kCorrupt.
Status DamageAt(const BookBytes& book, std::uint64_t offset, const std::string& what);

// A little-endian 32-bit word of the address book, read with bounds checks.
Result<std::uint32_t> ReadWord(const BookBytes& book, std::uint64_t offset);

}  // namespace quillet::wab
