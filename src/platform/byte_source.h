#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/status.h"

namespace quillet {

// Random access to the bytes of one file a reader takes apart (a message store, an address book):
// a file on disk, or one read out of a backup into a sealed scratch file. Readers never write
// through it.
//
// readAt may be called from one thread at a time.
class ByteSource {
  public:
    virtual ~ByteSource() = default;

    // The name that error messages give the file ("Inbox.dbx", or a path).
    virtual const std::string& name() const = 0;
    virtual std::uint64_t size() const = 0;

    // Fills `out` with the bytes at [offset, offset + out.size()). A range that passes the end
    // fails with ErrorKind::kCorrupt naming the file and the offset; a read error with kIo.
    virtual Status readAt(std::uint64_t offset, std::span<std::byte> out) const = 0;
};

// A ByteSource that serves reads from a window of the source kept in memory, because readers ask
// for many small objects that lie next to each other (a message's chunks, a record's words): one
// read of the source then serves a run of them. A derived class reads exact ranges of its source;
// ranges that pass the end are refused here first. The window's bytes are wiped when the object
// goes (they may be clear bytes of a file kept enciphered elsewhere).
class WindowedByteSource : public ByteSource {
  public:
    WindowedByteSource(std::string name, std::uint64_t size, std::size_t windowSize)
        : m_name(std::move(name)), m_size(size), m_windowSize(windowSize) {}
    ~WindowedByteSource() override;

    const std::string& name() const override { return m_name; }
    std::uint64_t size() const override { return m_size; }
    Status readAt(std::uint64_t offset, std::span<std::byte> out) const final;

  protected:
    // Fills `out` with the source's bytes at `offset`; the range lies inside the source.
    virtual Status readExact(std::uint64_t offset, std::span<std::byte> out) const = 0;

  private:
    std::string m_name;
    std::uint64_t m_size;
    std::size_t m_windowSize;
    mutable std::vector<std::byte> m_window;
    mutable std::uint64_t m_windowStart = 0;
    mutable std::uint64_t m_windowFilled = 0;
};

// A file on disk, opened read-only without blocking (a FIFO in a file's place must not stop a
// reader) and read with pread through a window of `windowSize` bytes; named by its file name.
// Fails with kNotFound or kAccessDenied and the path when it cannot be opened, kBadInput when it
// is no regular file.
Result<std::unique_ptr<ByteSource>> OpenByteFile(const std::filesystem::path& file,
                                                 std::size_t windowSize);

// The failure of a damaged file: "<name>: <what> at offset 0x<offset in hex>", kCorrupt.
Status DamageAt(const ByteSource& source, std::uint64_t offset, const std::string& what);

// A little-endian 32-bit word, read with bounds checks.
Result<std::uint32_t> ReadUint32(const ByteSource& source, std::uint64_t offset);

}  // namespace quillet
