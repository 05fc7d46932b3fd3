#include "mailstore/store_scan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>

#include "mailstore/dbx_layout.h"
#include "mailstore/recovery_damage.h"

namespace quillet::mailstore {
namespace {

// The store is read in blocks of this size; each block also holds the next chunk's worth of bytes
// so that a chunk starting near its end is seen whole.
constexpr std::size_t kScanBlockSize = 1024 * 1024;

// The data of a deleted chunk: what follows the link to the previous chunk.
constexpr std::uint32_t kDeletedData = kDeletedChunkPrevious + 4;
constexpr std::uint32_t kDeletedDataSize = kChunkSize - kDeletedData;

std::uint32_t WordAt(const std::byte* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

// The bytes a deleted chunk still holds: its data, up to the first NUL when it is the last one.
std::uint32_t DeletedBytesHeld(const std::byte* chunk, bool last) {
    const std::byte* data = chunk + kDeletedData;
    if (!last) return kDeletedDataSize;
    const void* nul = std::memchr(data, 0, kDeletedDataSize);
    return nul ? static_cast<std::uint32_t>(static_cast<const std::byte*>(nul) - data)
               : kDeletedDataSize;
}

// One chunk the scan found. Kept small: a store of a gigabyte holds two million chunks.
struct FoundChunk {
    enum State : std::uint8_t { kUnvisited, kInWalk, kWalked };
    std::uint32_t offset = 0;
    std::uint32_t next = 0;
    std::uint16_t bytes = 0;  // message bytes it holds
    bool deleted = false;
    bool pointedTo = false;
    State state = kUnvisited;
};
static_assert(sizeof(FoundChunk) <= 16);

// The chunk header at `at` (offset `offset`, `room` bytes readable), or nullopt when it is not
// one: the marker equals the offset and the size fields are those of a live or a deleted chunk.
std::optional<FoundChunk> ChunkAt(const std::byte* at, std::uint64_t offset, std::uint64_t room) {
    if (room < kChunkSize || WordAt(at) != offset) return std::nullopt;
    const std::uint32_t second = WordAt(at + 4);
    const std::uint32_t third = WordAt(at + kChunkUsed);
    FoundChunk chunk;
    chunk.offset = static_cast<std::uint32_t>(offset);
    chunk.next = WordAt(at + kChunkNext);
    if (second == kChunkDataSize && third >= 1 && third <= kChunkDataSize) {
        chunk.bytes = static_cast<std::uint16_t>(third);
    } else if (second == kDeletedChunkSizeField && third == kChunkSize) {
        chunk.deleted = true;
        chunk.bytes = static_cast<std::uint16_t>(DeletedBytesHeld(at, chunk.next == 0));
    } else {
        return std::nullopt;
    }
    return chunk;
}

class ChainScan {
  public:
    ChainScan(const StoreBytes& bytes, const std::vector<std::uint32_t>& reachedChunks,
              std::vector<StoreDamage>& damages)
        : m_bytes(bytes), m_reached(reachedChunks), m_damages(damages) {
        if (!std::is_sorted(m_reached.begin(), m_reached.end())) {
            m_sortedCopy = m_reached;
            std::sort(m_sortedCopy.begin(), m_sortedCopy.end());
        }
    }

    std::vector<MessageEntry> run() {
        if (!collect()) return {};
        markLinkedChunks();
        std::vector<MessageEntry> found;
        for (std::size_t head = 0; head < m_chunks.size(); ++head) {
            if (m_chunks[head].pointedTo || m_chunks[head].state != FoundChunk::kUnvisited) {
                continue;
            }
            std::uint64_t size = 0;
            if (walk(head, size)) {
                MessageEntry entry;
                entry.origin = m_chunks[head].deleted ? MessageEntry::Origin::kDeletedChain
                                                      : MessageEntry::Origin::kLostChain;
                entry.firstChunk = m_chunks[head].offset;
                entry.recordedSize = static_cast<std::uint32_t>(
                    std::min<std::uint64_t>(size, std::numeric_limits<std::uint32_t>::max()));
                found.push_back(entry);
            }
        }
        return found;
    }

  private:
    const std::vector<std::uint32_t>& reached() const {
        return m_sortedCopy.empty() ? m_reached : m_sortedCopy;
    }
    bool isReached(std::uint32_t offset) const {
        return std::binary_search(reached().begin(), reached().end(), offset);
    }

    // One pass over the store: every chunk at a 4-byte boundary that no reached chain holds.
    // False when the store cannot be read (noted as damage).
    bool collect() {
        const std::uint64_t size = std::min<std::uint64_t>(
            m_bytes.size(), std::uint64_t{std::numeric_limits<std::uint32_t>::max()} + 1);
        std::vector<std::byte> block(kScanBlockSize + kChunkSize);
        for (std::uint64_t start = kHeaderSize; start + kChunkSize <= size;
             start += kScanBlockSize) {
            const std::uint64_t length =
                std::min<std::uint64_t>(block.size(), m_bytes.size() - start);
            if (Status read = m_bytes.readAt(start, std::span(block.data(), length)); !read) {
                m_damages.push_back({start, read.reason()});
                return false;
            }
            const std::uint64_t candidates = std::min<std::uint64_t>(kScanBlockSize, length);
            for (std::uint64_t at = 0; at < candidates; at += 4) {
                const std::uint64_t offset = start + at;
                if (offset >= size) break;
                auto chunk = ChunkAt(block.data() + at, offset, length - at);
                if (chunk && !isReached(chunk->offset)) m_chunks.push_back(*chunk);
            }
        }
        return true;
    }

    FoundChunk* find(std::uint32_t offset) {
        auto it = std::lower_bound(
            m_chunks.begin(), m_chunks.end(), offset,
            [](const FoundChunk& chunk, std::uint32_t wanted) { return chunk.offset < wanted; });
        return it != m_chunks.end() && it->offset == offset ? &*it : nullptr;
    }

    void markLinkedChunks() {
        for (const FoundChunk& chunk : m_chunks) {
            if (chunk.next == 0) continue;
            if (FoundChunk* next = find(chunk.next)) next->pointedTo = true;
        }
    }

    // Follows the chain from m_chunks[head]. True when it is sound to its end (its message bytes
    // in `size`); otherwise the damage is noted. Every chunk walked is marked so that no chain is
    // walked twice.
    bool walk(std::size_t head, std::uint64_t& size) {
        FoundChunk* chunk = &m_chunks[head];
        const bool deleted = chunk->deleted;
        bool sound = true;
        while (true) {
            chunk->state = FoundChunk::kInWalk;
            size += chunk->bytes;
            if (chunk->next == 0) break;
            FoundChunk* next = find(chunk->next);
            const char* damage = nullptr;
            if (next == nullptr) {
                damage =
                    isReached(chunk->next) ? kRecoveredChainJoinsAnother : kRecoveredChainBreaksOff;
            } else if (next->state == FoundChunk::kInWalk) {
                damage = kRecoveredChainLoops;
            } else if (next->state == FoundChunk::kWalked) {
                damage = kRecoveredChainJoinsAnother;
            } else if (next->deleted != deleted) {
                damage = kRecoveredChainMixesKinds;
            }
            if (damage) {
                m_damages.push_back({chunk->offset, damage});
                sound = false;
                break;
            }
            chunk = next;
        }
        // A second pass over the same chunks: it ends, as the first did.
        for (chunk = &m_chunks[head]; chunk && chunk->state == FoundChunk::kInWalk;
             chunk = chunk->next ? find(chunk->next) : nullptr) {
            chunk->state = FoundChunk::kWalked;
        }
        return sound;
    }

    const StoreBytes& m_bytes;
    const std::vector<std::uint32_t>& m_reached;
    std::vector<std::uint32_t> m_sortedCopy;
    std::vector<StoreDamage>& m_damages;
    std::vector<FoundChunk> m_chunks;  // in file order
};

// Reads and checks the deleted chunk at `offset` whole.
Result<FoundChunk> ReadDeletedChunk(const StoreBytes& bytes, std::uint32_t offset,
                                    std::span<std::byte, kChunkSize> raw) {
    if (Status read = bytes.readAt(offset, raw); !read) return read;
    auto chunk = ChunkAt(raw.data(), offset, raw.size());
    if (!chunk || !chunk->deleted) return DamageAt(bytes, offset, "not a deleted chunk");
    return *chunk;
}

}  // namespace

std::vector<MessageEntry> ScanForLostMessages(const StoreBytes& bytes,
                                              const std::vector<std::uint32_t>& reachedChunks,
                                              std::vector<StoreDamage>& damages) {
    return ChainScan(bytes, reachedChunks, damages).run();
}

Status StreamDeletedChain(const StoreBytes& bytes, std::uint32_t first,
                          const std::function<Status(std::span<const std::byte>)>& sink) {
    std::array<std::byte, kChunkSize> raw;
    // More chunks than the store can hold is a loop.
    const std::uint64_t limit = bytes.size() / kChunkSize;
    // The whole chain is checked before the first byte is handed over.
    std::uint64_t count = 0;
    for (std::uint32_t offset = first; offset != 0; ++count) {
        if (count >= limit) return DamageAt(bytes, offset, kRecoveredChainLoops);
        auto chunk = ReadDeletedChunk(bytes, offset, raw);
        if (!chunk) return chunk.status();
        offset = chunk->next;
    }
    for (std::uint32_t offset = first; offset != 0;) {
        auto chunk = ReadDeletedChunk(bytes, offset, raw);
        if (!chunk) return chunk.status();
        if (Status taken = sink(std::span(raw.data() + kDeletedData, chunk->bytes)); !taken) {
            return taken;
        }
        offset = chunk->next;
    }
    return Status::Ok();
}

}  // namespace quillet::mailstore
