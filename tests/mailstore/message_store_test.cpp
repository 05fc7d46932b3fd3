// The message store read from stores generated from the format's layout, sound and damaged.
#include "mailstore/message_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "mailstore/chunk_chain.h"
#include "mailstore/dbx_layout.h"
#include "support/dbx_builder.h"
#include "support/temp_dir.h"

namespace quillet::mailstore {
namespace {

using testing::DbxDamage;
using testing::DbxStoreBuilder;
using testing::DbxStoreLayout;

std::string Message(std::uint32_t number, std::size_t bodyBytes) {
    return "Subject: message " + std::to_string(number) + "\r\n\r\n" +
           std::string(bodyBytes, static_cast<char>('a' + number % 26)) + "\r\n";
}

class MessageStoreTest : public ::testing::Test {
  protected:
    std::unique_ptr<StoreBytes> bytes() {
        auto opened = OpenStoreFile(m_file);
        EXPECT_TRUE(opened.ok()) << opened.reason();
        return std::move(*opened);
    }

    static Result<std::string> Read(MessageStore& store, const MessageEntry& message) {
        std::string text;
        Status read = store.readMessage(message, [&](std::span<const std::byte> part) {
            text.append(reinterpret_cast<const char*>(part.data()), part.size());
            return Status::Ok();
        });
        if (!read) return read;
        return text;
    }

    testing::TempDir m_dir;
    std::filesystem::path m_file = m_dir / "Inbox.dbx";
};

// Message counts and tree shapes: one node, several levels, a deep narrow tree.
class StoreSizeTest
    : public MessageStoreTest,
      public ::testing::WithParamInterface<std::pair<std::uint32_t, std::uint32_t>> {};

TEST_P(StoreSizeTest, EveryMessageReadsBackInIndexOrder) {
    auto [count, fanOut] = GetParam();
    DbxStoreBuilder builder(m_file, {.treeFanOut = fanOut});
    std::map<std::uint32_t, std::string> written;
    // Added out of order: the store keeps its tree sorted by index.
    for (std::uint32_t i = count; i > 0; --i) {
        written[i] = Message(i, 40 + i * 37 % 1500);
        builder.addMessage(written[i], {.index = i});
    }
    builder.finish();

    auto store = bytes();
    auto opened = MessageStore::Open(*store, ReadMode::kStrict);
    ASSERT_TRUE(opened.ok()) << opened.reason();
    const auto& messages = (*opened)->messages();
    ASSERT_EQ(messages.size(), count);
    auto next = written.begin();
    for (const MessageEntry& message : messages) {
        EXPECT_EQ(message.index, next->first);
        EXPECT_EQ(message.recordedSize, next->second.size());
        EXPECT_EQ(message.subject, "message " + std::to_string(message.index));
        auto text = Read(**opened, message);
        ASSERT_TRUE(text.ok()) << text.reason();
        EXPECT_EQ(*text, next->second);
        ++next;
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, StoreSizeTest,
                         ::testing::Values(std::pair{1u, kTreeNodeMaxEntries},
                                           std::pair{300u, kTreeNodeMaxEntries},
                                           std::pair{300u, 2u}));

TEST_F(MessageStoreTest, IndirectFieldsAndFourBytePointersReadAsDirectOnes) {
    // Past 16 MB, a first chunk's offset no longer fits a direct field.
    DbxStoreBuilder builder(m_file, {.gapBeforeMessages = 1u << 24});
    std::string text = Message(1, 900);
    builder.addMessage(text, {.index = 9,
                              .flags = 0x01020081,
                              .subject = std::string("caf\xE9"),
                              .receivedTime = 0x01C1E3284E6704B3,
                              .indirectFields = true});
    builder.addMessage(Message(2, 10), {.withoutBody = true});
    DbxStoreLayout layout = builder.finish();
    ASSERT_GE(layout.messages[0].chunks.front(), 1u << 24);

    auto store = bytes();
    auto opened = MessageStore::Open(*store, ReadMode::kStrict);
    ASSERT_TRUE(opened.ok()) << opened.reason();
    ASSERT_EQ((*opened)->messages().size(), 2u);
    const MessageEntry& message = (*opened)->messages()[0];
    EXPECT_EQ(message.index, 9u);
    EXPECT_EQ(message.flags, 0x01020081u);
    EXPECT_EQ(message.firstChunk, layout.messages[0].chunks.front());
    EXPECT_EQ(message.recordedSize, text.size());
    EXPECT_EQ(message.receivedTime, 0x01C1E3284E6704B3u);
    EXPECT_EQ(message.subject, "caf\xC3\xA9");
    EXPECT_EQ(*Read(**opened, message), text);

    const MessageEntry& withoutBody = (*opened)->messages()[1];
    EXPECT_EQ(withoutBody.firstChunk, 0u);
    EXPECT_EQ(*Read(**opened, withoutBody), "");
}

TEST_F(MessageStoreTest, StoreOfTwoGigabytesOpensWithAWarning) {
    testing::WriteDbxStore(m_file, {Message(1, 10)}, {.gapBeforeMessages = kStoreSizeLimit});
    auto store = bytes();
    auto opened = MessageStore::Open(*store, ReadMode::kStrict);
    ASSERT_TRUE(opened.ok()) << opened.reason();
    EXPECT_EQ((*opened)->warnings().size(), 1u);
    EXPECT_EQ(*Read(**opened, (*opened)->messages().front()), Message(1, 10));
}

TEST_F(MessageStoreTest, OtherFilesAreNoMessageStore) {
    testing::WriteDbxFolderList(m_file, testing::StandardDbxFolders());
    auto folders = bytes();
    EXPECT_TRUE(MessageStore::Open(*folders, ReadMode::kSalvage).status().is(ErrorKind::kCorrupt));
    testing::WriteFileBytes(m_file, std::string(kHeaderSize, 'x'));
    auto text = bytes();
    EXPECT_TRUE(MessageStore::Open(*text, ReadMode::kSalvage).status().is(ErrorKind::kCorrupt));
}

// Each kind of damage: a strict read fails naming the store and the damaged object, a salvaging
// read records it and still reads every message it does not touch.
class StoreDamageTest : public MessageStoreTest, public ::testing::WithParamInterface<DbxDamage> {
  protected:
    static constexpr std::uint32_t kMessages = 300;

    void SetUp() override {
        for (std::uint32_t i = 1; i <= kMessages; ++i) m_written.push_back(Message(i, 600));
        m_layout = testing::WriteDbxStore(m_file, m_written);
        m_damaged = testing::DamageDbxStore(m_file, m_layout, GetParam());
        m_store = bytes();
    }

    // The failure a strict read gives: from Open, or from reading the message the damage is in.
    Status StrictFailure() {
        auto opened = MessageStore::Open(*m_store, ReadMode::kStrict);
        if (!opened) return opened.status();
        for (const MessageEntry& message : (*opened)->messages()) {
            auto text = Read(**opened, message);
            if (!text) return text.status();
        }
        return Status::Ok();
    }

    std::vector<std::string> m_written;
    DbxStoreLayout m_layout;
    std::uint64_t m_damaged = 0;
    std::unique_ptr<StoreBytes> m_store;
};

TEST_P(StoreDamageTest, StrictReadFailsNamingStoreAndOffset) {
    Status failure = StrictFailure();
    ASSERT_TRUE(failure.is(ErrorKind::kCorrupt)) << failure.reason();
    char offset[32];
    std::snprintf(offset, sizeof offset, " at offset 0x%llX",
                  static_cast<unsigned long long>(m_damaged));
    EXPECT_TRUE(failure.reason().starts_with("Inbox.dbx: ")) << failure.reason();
    EXPECT_TRUE(failure.reason().ends_with(offset)) << failure.reason();
}

TEST_P(StoreDamageTest, SalvagingReadRecordsItAndReadsTheRest) {
    auto opened = MessageStore::Open(*m_store, ReadMode::kSalvage);
    ASSERT_TRUE(opened.ok()) << opened.reason();
    MessageStore& store = **opened;
    std::size_t read = 0;
    for (const MessageEntry& message : store.messages()) {
        if (message.origin != MessageEntry::Origin::kIndex) continue;
        auto text = Read(store, message);
        if (!text) continue;
        EXPECT_EQ(*text, m_written.at(message.index - 1));
        ++read;
    }
    ASSERT_FALSE(store.damages().empty());
    EXPECT_EQ(store.damages().front().offset, m_damaged);
    // The root node holds the tree together: damaged, only a recovery scan finds its messages.
    bool rootLost = GetParam() == DbxDamage::kBadNodeMarker || GetParam() == DbxDamage::kTruncated;
    EXPECT_EQ(read, rootLost ? 0 : kMessages - 1 + (GetParam() == DbxDamage::kCountMismatch));
}

INSTANTIATE_TEST_SUITE_P(Kinds, StoreDamageTest, ::testing::ValuesIn(testing::kAllDbxDamages),
                         [](const auto& info) { return testing::DbxDamageName(info.param); });

// Tree nodes that lead back up, or to themselves, end the walk instead of running it forever.
class TreeLoopTest : public MessageStoreTest, public ::testing::WithParamInterface<bool> {};

TEST_P(TreeLoopTest, TreeLoopEndsTheWalk) {
    DbxStoreLayout layout = testing::WriteDbxStore(m_file, std::vector<std::string>(300, "x\r\n"));
    ASSERT_GT(layout.treeNodes.size(), 1u);
    std::uint32_t child = layout.treeNodes[1];
    std::uint32_t target = GetParam() ? child : layout.treeRoot;
    testing::PatchUint32(m_file, child + kTreeNodeLeftChild, target);
    testing::PatchUint32(m_file, child + kTreeNodeLeftCount, 1);
    auto store = bytes();
    EXPECT_TRUE(MessageStore::Open(*store, ReadMode::kStrict).status().is(ErrorKind::kCorrupt));
    auto salvaged = MessageStore::Open(*store, ReadMode::kSalvage);
    ASSERT_TRUE(salvaged.ok());
    EXPECT_FALSE((*salvaged)->damages().empty());
}

INSTANTIATE_TEST_SUITE_P(ToItselfOrTheRoot, TreeLoopTest, ::testing::Bool());

TEST_F(MessageStoreTest, ChunkChainLoopEnds) {
    DbxStoreLayout layout = testing::WriteDbxStore(m_file, {Message(1, 2000)});
    std::uint32_t first = layout.messages[0].chunks.front();
    testing::PatchUint32(m_file, first + kChunkNext, first);
    auto store = bytes();
    EXPECT_TRUE(CheckChunkChain(*store, first).status().is(ErrorKind::kCorrupt));
}

}  // namespace
}  // namespace quillet::mailstore
