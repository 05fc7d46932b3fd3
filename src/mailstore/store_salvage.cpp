#include "mailstore/store_salvage.h"

#include <algorithm>

#include "mailstore/chunk_chain.h"
#include "mailstore/dbx_layout.h"
#include "mailstore/store_scan.h"

namespace quillet::mailstore {

void AppendRecoveredMessages(const StoreBytes& bytes, std::vector<MessageEntry>& messages,
                             std::vector<StoreDamage>& damages) {
    // The chains of a sound store hold each chunk once, so together no more chunks than the store
    // can hold. A chain that comes back on itself is cut where that shows (the saved offset is
    // met again, saved at doubling intervals); chains that share chunks are cut by the budget.
    std::uint64_t budget = 3 * (bytes.size() / kChunkSize);
    std::vector<std::uint32_t> reached;
    for (const MessageEntry& message : messages) {
        std::uint32_t saved = 0;
        std::uint64_t interval = 1;
        std::uint64_t sinceSaved = 0;
        for (std::uint32_t offset = message.firstChunk; offset != 0 && budget > 0; --budget) {
            auto chunk = ReadChunkHeader(bytes, offset);
            if (!chunk) break;
            reached.push_back(offset);
            if (++sinceSaved == interval) {
                saved = offset;
                interval *= 2;
                sinceSaved = 0;
            }
            offset = chunk->next;
            if (offset == saved) break;
        }
    }
    std::sort(reached.begin(), reached.end());
    reached.erase(std::unique(reached.begin(), reached.end()), reached.end());
    std::vector<MessageEntry> recovered = ScanForLostMessages(bytes, reached, damages);
    messages.insert(messages.end(), recovered.begin(), recovered.end());
}

}  // namespace quillet::mailstore
