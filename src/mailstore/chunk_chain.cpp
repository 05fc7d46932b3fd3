#include "mailstore/chunk_chain.h"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "mailstore/dbx_layout.h"

namespace quillet::mailstore {
namespace {

std::uint32_t LittleEndian32(const std::byte* raw) {
    return static_cast<std::uint32_t>(raw[0]) | static_cast<std::uint32_t>(raw[1]) << 8 |
           static_cast<std::uint32_t>(raw[2]) << 16 | static_cast<std::uint32_t>(raw[3]) << 24;
}

// Checks a chunk's header read into `raw` (at least kChunkData bytes) as found at `offset`.
Result<ChunkHeader> CheckChunk(const StoreBytes& bytes, std::uint64_t offset,
                               const std::byte* raw) {
    ChunkHeader header;
    header.offset = LittleEndian32(raw);
    if (header.offset != offset) return DamageAt(bytes, offset, "bad marker in data chunk");
    if (LittleEndian32(raw + 4) != kChunkDataSize) {
        return DamageAt(bytes, offset, "bad size in data chunk");
    }
    header.used = LittleEndian32(raw + kChunkUsed);
    if (header.used == 0 || header.used > kChunkDataSize) {
        return DamageAt(bytes, offset, "bad used-byte count in data chunk");
    }
    header.next = LittleEndian32(raw + kChunkNext);
    return header;
}

// Chunks lie after the file header and wholly inside the store.
Status CheckChunkPlace(const StoreBytes& bytes, std::uint64_t offset) {
    if (offset < kHeaderSize || offset > bytes.size() || bytes.size() - offset < kChunkSize) {
        return DamageAt(bytes, offset, "data chunk outside the store");
    }
    return Status::Ok();
}

// More chunks than the store can hold means the chain comes back on itself.
std::uint64_t MostChunks(const StoreBytes& bytes) { return bytes.size() / kChunkSize; }

}  // namespace

Result<ChunkHeader> ReadChunkHeader(const StoreBytes& bytes, std::uint64_t offset) {
    if (Status place = CheckChunkPlace(bytes, offset); !place) return place;
    std::array<std::byte, kChunkData> raw;
    if (Status read = bytes.readAt(offset, raw); !read) return read;
    return CheckChunk(bytes, offset, raw.data());
}

Status ChunkClaims::claim(const StoreBytes& bytes, std::uint32_t offset, std::uint32_t first,
                          std::uint32_t owner) {
    // Offsets are 32-bit: a larger file holds no chunk past 4 GB.
    constexpr std::uint64_t kOffsets = std::uint64_t{1} << 32;
    if (m_owners.empty()) m_owners.resize(std::min(m_storeSize, kOffsets) / kChunkSize + 1, 0);
    std::uint32_t& slot = m_owners.at(offset / kChunkSize);
    if (slot == owner) return DamageAt(bytes, first, "chunk chain loops");
    if (slot != 0) return DamageAt(bytes, offset, kChunkSharedDamage);
    slot = owner;
    return Status::Ok();
}

Result<std::uint64_t> CheckChunkChain(const StoreBytes& bytes, std::uint32_t first,
                                      ChunkClaims* claims, std::uint32_t owner) {
    std::uint64_t size = 0;
    std::uint64_t chunks = 0;
    for (std::uint32_t offset = first; offset != 0;) {
        if (++chunks > MostChunks(bytes)) return DamageAt(bytes, first, "chunk chain loops");
        Result<ChunkHeader> chunk = ReadChunkHeader(bytes, offset);
        if (!chunk) return chunk.status();
        if (claims != nullptr) {
            if (Status claimed = claims->claim(bytes, offset, first, owner); !claimed) {
                return claimed;
            }
        }
        size += chunk->used;
        offset = chunk->next;
    }
    return size;
}

Status StreamChunkChain(const StoreBytes& bytes, std::uint32_t first,
                        const std::function<Status(std::span<const std::byte>)>& sink) {
    std::array<std::byte, kChunkSize> raw;
    std::uint64_t chunks = 0;
    for (std::uint32_t offset = first; offset != 0;) {
        if (++chunks > MostChunks(bytes)) return DamageAt(bytes, first, "chunk chain loops");
        if (Status place = CheckChunkPlace(bytes, offset); !place) return place;
        if (Status read = bytes.readAt(offset, raw); !read) return read;
        Result<ChunkHeader> chunk = CheckChunk(bytes, offset, raw.data());
        if (!chunk) return chunk.status();
        if (Status taken = sink(std::span(raw).subspan(kChunkData, chunk->used)); !taken) {
            return taken;
        }
        offset = chunk->next;
    }
    return Status::Ok();
}

Result<std::uint64_t> StreamSoundStart(
    const StoreBytes& bytes, std::uint32_t first, std::uint64_t stopAt,
    const std::function<Status(std::span<const std::byte>)>* sink) {
    std::array<std::byte, kChunkSize> raw;
    std::unordered_set<std::uint32_t> met;
    std::uint64_t size = 0;
    for (std::uint32_t offset = first; offset != 0 && offset != stopAt;) {
        if (!CheckChunkPlace(bytes, offset) || !met.insert(offset).second) break;
        if (Status read = bytes.readAt(offset, raw); !read) return read;
        Result<ChunkHeader> chunk = CheckChunk(bytes, offset, raw.data());
        if (!chunk) break;
        if (sink != nullptr) {
            if (Status taken = (*sink)(std::span(raw).subspan(kChunkData, chunk->used)); !taken) {
                return taken;
            }
        }
        size += chunk->used;
        offset = chunk->next;
    }
    return size;
}

}  // namespace quillet::mailstore
