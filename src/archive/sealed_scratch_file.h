#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "platform/status.h"

namespace quillet::archive {

// A temporary file that holds data read out of a protected backup while it is used, without the
// data ever reaching the disk in the clear: the file has no name (it is unlinked from the start)
// and its bytes are encrypted with AES-256 in counter mode under a random key and nonce that only
// this object holds. The block at byte offset o is enciphered with counter nonce + o / 16, so any
// range deciphers on its own. The key is wiped and the file goes when the object is destroyed.
//
// Written once, front to back (append), then read at any offset (readAt).
// Not thread-safe: one thread at a time.
class SealedScratchFile {
  public:
    // Makes the file in `folder`. Fails with kNotFound when the folder does not exist,
    // kAccessDenied when it may not be written, kDiskFull when it is full, kIo otherwise.
    static Result<std::unique_ptr<SealedScratchFile>> Create(const std::filesystem::path& folder);

    ~SealedScratchFile();
    SealedScratchFile(const SealedScratchFile&) = delete;
    SealedScratchFile& operator=(const SealedScratchFile&) = delete;

    // Adds `data` at the end. Fails with kDiskFull, naming the folder, when the disk is full, or
    // kIo; after a failure the file takes nothing more.
    Status append(std::span<const std::byte> data);

    // The bytes appended.
    std::uint64_t size() const { return m_size; }

    // Fills `out` with the clear bytes at [offset, offset + out.size()). A range that passes the
    // end is kBadInput; a read error kIo.
    Status readAt(std::uint64_t offset, std::span<std::byte> out) const;

  private:
    struct Cipher;

    SealedScratchFile(int descriptor, std::filesystem::path folder);
    // Enciphers (or deciphers: the same in counter mode) `data` in place, as the bytes at
    // `offset`, with `cipher` set to that position first.
    Status transform(Cipher& cipher, std::uint64_t offset, std::span<std::byte> data) const;
    Status writeFailure(int error);

    int m_descriptor;
    std::filesystem::path m_folder;
    std::array<unsigned char, 32> m_key{};
    std::array<unsigned char, 16> m_nonce{};
    std::unique_ptr<Cipher> m_cipher;
    std::vector<std::byte> m_buffer;  // enciphered bytes on their way to the file
    std::uint64_t m_size = 0;
    bool m_failed = false;
};

}  // namespace quillet::archive
