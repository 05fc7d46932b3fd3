// A salvaging read: the tree's messages first, then what the recovery scan found; and whatever
// damage the store suffers, every message it did not touch comes out whole.
#include "mailstore/store_salvage.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "mailstore/message_store.h"
#include "mailstore/salvage_test_store.h"

namespace quillet::mailstore {
namespace {

using testing::DbxDamage;

class SalvagingOpenTest : public SalvageTestStore {
  protected:
    // Every message the store gives, read; those that fail to read are left out.
    std::vector<std::string> readAll(MessageStore& store) {
        std::vector<std::string> read;
        for (const MessageEntry& message : store.messages()) {
            std::string text;
            if (store.readMessage(message, Collect(text))) read.push_back(text);
        }
        return read;
    }
};

TEST_F(SalvagingOpenTest, AppendsTheRecoveredMessagesAfterTheIndexedOnes) {
    auto store = MessageStore::Open(bytes(), ReadMode::kSalvage);
    ASSERT_TRUE(store) << store.reason();

    using Origin = MessageEntry::Origin;
    std::vector<Origin> origins;
    for (const MessageEntry& message : (*store)->messages()) origins.push_back(message.origin);
    EXPECT_EQ(origins, (std::vector<Origin>{Origin::kIndex, Origin::kIndex, Origin::kLostChain,
                                            Origin::kDeletedChain}));
    EXPECT_EQ(readAll(**store),
              (std::vector<std::string>{m_texts[kIndexed], m_texts[kLastIndexed], m_texts[kLost],
                                        WithoutLostBytes(m_texts[kDeleted])}));
    EXPECT_TRUE((*store)->damages().empty());
}

class SalvagedDamageTest : public SalvagingOpenTest,
                           public ::testing::WithParamInterface<DbxDamage> {};

TEST_P(SalvagedDamageTest, KeepsEveryUndamagedMessage) {
    // The damage hits the first message the tree reaches.
    (void)testing::DamageDbxStore(m_file, m_layout, GetParam());
    reopen();
    auto store = MessageStore::Open(bytes(), ReadMode::kSalvage);
    ASSERT_TRUE(store) << store.reason();
    const std::vector<std::string> read = readAll(**store);

    EXPECT_FALSE((*store)->damages().empty());
    auto wasRead = [&](const std::string& text) {
        return std::find(read.begin(), read.end(), text) != read.end();
    };
    // Of two messages that share chunks, the first read keeps them.
    const bool secondLoses = GetParam() == DbxDamage::kChunksShared;
    EXPECT_EQ(wasRead(m_texts[kLastIndexed]), !secondLoses);
    EXPECT_TRUE(wasRead(m_texts[kLost]));
    EXPECT_TRUE(wasRead(WithoutLostBytes(m_texts[kDeleted])));
    // Damage to the tree or an info object leaves the message's own chain whole.
    if (testing::DbxDamageFoundOnOpen(GetParam()) || secondLoses) {
        EXPECT_TRUE(wasRead(m_texts[kIndexed]));
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, SalvagedDamageTest, ::testing::ValuesIn(testing::kAllDbxDamages),
                         [](const auto& info) { return testing::DbxDamageName(info.param); });

}  // namespace
}  // namespace quillet::mailstore
