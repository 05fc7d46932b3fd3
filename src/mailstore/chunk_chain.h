#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "mailstore/store_bytes.h"
#include "platform/status.h"

namespace quillet::mailstore {

// The header of one message data chunk.
struct ChunkHeader {
    std::uint32_t offset = 0;  // its own offset (the marker)
    std::uint32_t used = 0;    // data bytes in use, 1..kChunkDataSize
    std::uint32_t next = 0;    // the next chunk, 0 for the last
};

// Reads the chunk at `offset` and checks it: inside the store, marker equal to the offset, size
// field 0x200, used bytes 1..0x200. Fails with DamageAt naming what is wrong.
Result<ChunkHeader> ReadChunkHeader(const StoreBytes& bytes, std::uint64_t offset);

// Which message each data chunk of one store belongs to, so that chains which come back on
// themselves or share chunks with another message's are found in one pass over the store, however
// many messages lead into them. Two chunks that do not overlap start at least kChunkSize bytes
// apart, so one word per kChunkSize bytes of the store tells them apart (8 MB for a 1 GB store,
// taken when the first chain is claimed). One thread.
class ChunkClaims {
  public:
    explicit ChunkClaims(std::uint64_t storeSize) : m_storeSize(storeSize) {}

    // Gives the chunk at `offset` to `owner` (nonzero). Fails with DamageAt when the chunk (or one
    // that starts in the same kChunkSize bytes, which overlaps it) belongs to `owner` already:
    // "chunk chain loops" at `first`, the chain's first chunk; or to another owner:
    // kChunkSharedDamage at `offset`.
    Status claim(const StoreBytes& bytes, std::uint32_t offset, std::uint32_t first,
                 std::uint32_t owner);

  private:
    std::uint64_t m_storeSize;
    std::vector<std::uint32_t> m_owners;
};

inline constexpr char kChunkSharedDamage[] = "data chunk belongs to another message too";

// Walks the chain from `first` reading headers only: every chunk checked as ReadChunkHeader does,
// and a chain of more chunks than the store can hold is a loop ("chunk chain loops"). With
// `claims`, every chunk is claimed for `owner` as it is met (so a loop is found at its first
// repeated chunk). Returns the message's size in bytes.
Result<std::uint64_t> CheckChunkChain(const StoreBytes& bytes, std::uint32_t first,
                                      ChunkClaims* claims = nullptr, std::uint32_t owner = 0);

// Hands the used bytes of each chunk of the chain from `first` to `sink`, in order, with the same
// checks as CheckChunkChain (a caller that must hand over nothing of a damaged chain checks it
// first). Fails with the damage, or the sink's failure.
Status StreamChunkChain(const StoreBytes& bytes, std::uint32_t first,
                        const std::function<Status(std::span<const std::byte>)>& sink);

// The sound start of a damaged chain: follows the chain from `first` for as long as each chunk
// passes ReadChunkHeader's checks, is met for the first time and does not lie at `stopAt`, and
// hands the used bytes of those chunks to `sink` when one is given. Returns their count; fails only
// when reading the store fails.
Result<std::uint64_t> StreamSoundStart(
    const StoreBytes& bytes, std::uint32_t first, std::uint64_t stopAt,
    const std::function<Status(std::span<const std::byte>)>* sink);

}  // namespace quillet::mailstore
