// The recovery scan: chains the tree does not reach, found in one pass and read back.
#include "mailstore/store_scan.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>

#include "mailstore/chunk_chain.h"
#include "mailstore/dbx_builder.h"
#include "mailstore/dbx_layout.h"
#include "mailstore/salvage_test_store.h"
#include "mailstore/store_scan_internal.h"
#include "support/platform/temp_dir.h"

namespace quillet::mailstore {
namespace {

using testing::DbxMessageLayout;
using testing::PatchUint32;

class StoreScanTest : public SalvageTestStore {
  protected:
    std::vector<MessageEntry> scan() {
        std::vector<std::uint32_t> reached;
        for (const DbxMessageLayout& message : m_layout.messages) {
            if (message.placement != testing::DbxPlacement::kIndexed) continue;
            reached.insert(reached.end(), message.chunks.begin(), message.chunks.end());
        }
        return ScanForLostMessages(bytes(), reached, m_damages);
    }

    std::vector<StoreDamage> m_damages;
};

TEST_F(StoreScanTest, FindsLostAndDeletedChainsInFileOrderWithTheirBytes) {
    const std::vector<MessageEntry> found = scan();

    EXPECT_TRUE(m_damages.empty());
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].origin, MessageEntry::Origin::kLostChain);
    EXPECT_EQ(found[0].firstChunk, lost().chunks.front());
    EXPECT_EQ(found[1].origin, MessageEntry::Origin::kDeletedChain);
    EXPECT_EQ(found[1].firstChunk, deleted().chunks.front());

    std::string lostBytes;
    ASSERT_TRUE(StreamChunkChain(bytes(), found[0].firstChunk, Collect(lostBytes)));
    EXPECT_EQ(lostBytes, m_texts[kLost]);
    EXPECT_EQ(found[0].recordedSize, lostBytes.size());
    std::string deletedBytes;
    ASSERT_TRUE(StreamDeletedChain(bytes(), found[1].firstChunk, Collect(deletedBytes)));
    EXPECT_EQ(deletedBytes, WithoutLostBytes(m_texts[kDeleted]));
    EXPECT_EQ(found[1].recordedSize, deletedBytes.size());
}

// Damage done to the lost message's chain: where its damage is noted, and as what.
struct ChainDamage {
    const char* name;
    const char* what;
    // Patches the store; returns the offset the damage is noted at.
    std::function<std::uint32_t(StoreScanTest&)> apply;
};

void PrintTo(const ChainDamage& damage, std::ostream* out) { *out << damage.name; }

class DamagedChainTest : public StoreScanTest, public ::testing::WithParamInterface<ChainDamage> {};

TEST_P(DamagedChainTest, IsLeftOutWithItsDamageNoted) {
    const std::uint32_t damagedAt = GetParam().apply(*this);
    reopen();
    const std::vector<MessageEntry> found = scan();

    for (const MessageEntry& entry : found) EXPECT_NE(entry.firstChunk, lost().chunks.front());
    ASSERT_EQ(m_damages.size(), 1u);
    EXPECT_EQ(m_damages[0].offset, damagedAt);
    EXPECT_EQ(m_damages[0].what, GetParam().what);
}

// Points the lost message's last chunk at `target`.
std::uint32_t LinkLastChunk(StoreScanTest& test, std::uint32_t target) {
    const std::uint32_t last = test.lost().chunks.back();
    PatchUint32(test.file(), last + kChunkNext, target);
    return last;
}

INSTANTIATE_TEST_SUITE_P(
    Chains, DamagedChainTest,
    ::testing::Values(ChainDamage{"BreaksOff", kRecoveredChainBreaksOff,
                                  [](StoreScanTest& test) {
                                      return LinkLastChunk(
                                          test, test.lost().chunks.back() + kChunkSize / 2);
                                  }},
                      ChainDamage{"Loops", kRecoveredChainLoops,
                                  [](StoreScanTest& test) {
                                      return LinkLastChunk(test, test.lost().chunks.back());
                                  }},
                      ChainDamage{"MixesLiveAndDeleted", kRecoveredChainMixesKinds,
                                  [](StoreScanTest& test) {
                                      return LinkLastChunk(test, test.deleted().chunks.back());
                                  }},
                      ChainDamage{"JoinsAnIndexedMessage", kRecoveredChainJoinsAnother,
                                  [](StoreScanTest& test) {
                                      return LinkLastChunk(test, test.indexed().chunks.back());
                                  }}),
    [](const auto& info) { return std::string(info.param.name); });

// A lost chain whose first chunk starts `before` bytes before the end of the scan's first block.
class ChunkAtBlockEdgeTest : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(ChunkAtBlockEdgeTest, IsFoundWhole) {
    testing::TempDir dir;
    const std::string text(2 * kChunkDataSize, 'e');
    auto write = [&](std::uint64_t gap) {
        testing::DbxStoreBuilder builder(dir / "Inbox.dbx", {.gapBeforeMessages = gap});
        builder.addMessage(text, {.placement = testing::DbxPlacement::kLost});
        return builder.finish().messages[0].chunks.front();
    };
    const std::uint32_t unshifted = write(0);
    const std::uint32_t first = write(kHeaderSize + kScanBlockSize - GetParam() - unshifted);
    ASSERT_EQ(first, kHeaderSize + kScanBlockSize - GetParam());

    auto bytes = OpenStoreFile(dir / "Inbox.dbx");
    ASSERT_TRUE(bytes);
    std::vector<StoreDamage> damages;
    const std::vector<MessageEntry> found = ScanForLostMessages(**bytes, {}, damages);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].firstChunk, first);
    EXPECT_EQ(found[0].recordedSize, text.size());
}

INSTANTIATE_TEST_SUITE_P(Shifts, ChunkAtBlockEdgeTest,
                         ::testing::Values(4u, kChunkData, kChunkSize - 4, kChunkSize));

}  // namespace
}  // namespace quillet::mailstore
