#pragma once

#include <cstdint>
#include <functional>
#include <span>

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

// Walks the chain from `first` reading headers only: every chunk checked as ReadChunkHeader does,
// and a chain of more chunks than the store can hold is a loop ("chunk chain loops"). Returns the
// message's size in bytes.
Result<std::uint64_t> CheckChunkChain(const StoreBytes& bytes, std::uint32_t first);

// Hands the used bytes of each chunk of the chain from `first` to `sink`, in order, with the same
// checks as CheckChunkChain (a caller that must hand over nothing of a damaged chain checks it
// first). Fails with the damage, or the sink's failure.
Status StreamChunkChain(const StoreBytes& bytes, std::uint32_t first,
                        const std::function<Status(std::span<const std::byte>)>& sink);

}  // namespace quillet::mailstore
