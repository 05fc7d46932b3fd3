// The message store read from stores generated from the format's layout, sound and damaged.
#include "mailstore/message_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "mailstore/chunk_chain.h"
#include "mailstore/dbx_builder.h"
#include "mailstore/dbx_layout.h"
#include "mailstore/store_damage.h"
#include "support/platform/temp_dir.h"

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

// The two real stores Outlook Express wrote: one message each, its RFC 822 text.
class SampleStoreTest : public MessageStoreTest,
                        public ::testing::WithParamInterface<const char*> {};

TEST_P(SampleStoreTest, HoldsOneMessageReadAsItsRfc822Text) {
    m_file = testing::TestDataDir() / "dbx" / GetParam();
    auto store = bytes();
    auto opened = MessageStore::Open(*store, ReadMode::kStrict);
    ASSERT_TRUE(opened.ok()) << opened.reason();
    EXPECT_EQ((*opened)->header().treeEntries, 1u);
    ASSERT_EQ((*opened)->messages().size(), 1u);
    const MessageEntry& message = (*opened)->messages().front();
    EXPECT_EQ(message.index, (*opened)->header().highestIndex);
    EXPECT_EQ(message.flags, 0x01020081u);  // four indirect bytes, for a value over 24 bits
    EXPECT_NE(message.sentTime, 0u);
    EXPECT_NE(message.receivedTime, 0u);
    EXPECT_FALSE(message.subject.empty());
    std::string text = *Read(**opened, message);
    EXPECT_EQ(text.size(), message.recordedSize);
    EXPECT_TRUE(text.starts_with("Return-path: <")) << text.substr(0, 40);
    EXPECT_NE(text.find("\r\n\r\n"), std::string::npos);
    EXPECT_EQ(text.find('\0'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(RealStores, SampleStoreTest, ::testing::Values("test.dbx", "test1.dbx"));

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
                                           std::pair{300u, 2u},
                                           std::pair{10000u, kTreeNodeMaxEntries}));

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

TEST_F(MessageStoreTest, MessageTooLargeToHoldIsCheckedWholeBeforeItsFirstByte) {
    const std::string text = Message(1, MessageStore::kHeldMessageLimit + 1000);
    DbxStoreLayout layout = testing::WriteDbxStore(m_file, {text});
    {
        auto store = bytes();
        auto opened = MessageStore::Open(*store, ReadMode::kStrict);
        ASSERT_TRUE(opened.ok()) << opened.reason();
        EXPECT_EQ(*Read(**opened, (*opened)->messages()[0]), text);
    }
    testing::PatchUint32(m_file, layout.messages[0].chunks.back(), 0);
    auto store = bytes();
    auto opened = MessageStore::Open(*store, ReadMode::kStrict);
    ASSERT_TRUE(opened.ok()) << opened.reason();
    std::size_t handedOver = 0;
    Status read = (*opened)->readMessage((*opened)->messages()[0], [&](auto piece) {
        handedOver += piece.size();
        return Status::Ok();
    });
    EXPECT_TRUE(read.is(ErrorKind::kCorrupt)) << read.reason();
    EXPECT_EQ(handedOver, 0u);
}

TEST_F(MessageStoreTest, StoreOfTwoGigabytesOpensWithAWarning) {
    testing::WriteDbxStore(m_file, {Message(1, 10)}, {.gapBeforeMessages = kStoreSizeLimit});
    auto store = bytes();
    auto opened = MessageStore::Open(*store, ReadMode::kStrict);
    ASSERT_TRUE(opened.ok()) << opened.reason();
    EXPECT_EQ((*opened)->warnings().size(), 1u);
    EXPECT_EQ(*Read(**opened, (*opened)->messages().front()), Message(1, 10));
}

// No fields at all: a message with index 0 and no body (read into an empty buffer).
TEST_F(MessageStoreTest, InfoObjectWithAnEmptyBodyIsAMessageWithoutFields) {
    const DbxStoreLayout layout = testing::WriteDbxStore(m_file, {Message(1, 10)});
    testing::PatchUint32(m_file, layout.messages[0].infoOffset + kInfoBodyLength, 0);
    testing::PatchUint32(m_file, layout.messages[0].infoOffset + kInfoObjectLength, 0);
    auto store = bytes();
    auto opened = MessageStore::Open(*store, ReadMode::kStrict);
    ASSERT_TRUE(opened.ok()) << opened.reason();
    EXPECT_EQ((*opened)->messages().at(0).firstChunk, 0u);
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
class StoreDamageTest : public MessageStoreTest, public ::testing::WithParamInterface<DbxDamage> {};

TEST_P(StoreDamageTest, StrictReadFailsNamingItAndSalvageReadsTheRest) {
    std::vector<std::string> written;
    for (std::uint32_t i = 1; i <= 300; ++i) written.push_back(Message(i, 600));
    std::uint64_t damaged =
        testing::DamageDbxStore(m_file, testing::WriteDbxStore(m_file, written), GetParam());
    auto store = bytes();

    // Strict: from Open, or from reading the message the damage is in.
    Status strict = Status::Ok();
    if (auto opened = MessageStore::Open(*store, ReadMode::kStrict); !opened) {
        strict = opened.status();
    } else {
        for (const MessageEntry& message : (*opened)->messages()) {
            if (auto text = Read(**opened, message); strict && !text) strict = text.status();
        }
    }
    ASSERT_TRUE(strict.is(ErrorKind::kCorrupt)) << strict.reason();
    EXPECT_EQ(DamageFrom(*store, strict).offset, damaged) << strict.reason();

    auto opened = MessageStore::Open(*store, ReadMode::kSalvage);
    ASSERT_TRUE(opened.ok()) << opened.reason();
    std::size_t read = 0;
    for (const MessageEntry& message : (*opened)->messages()) {
        if (message.origin != MessageEntry::Origin::kIndex) continue;
        auto text = Read(**opened, message);
        if (!text) continue;
        EXPECT_EQ(*text, written.at(message.index - 1));
        ++read;
    }
    ASSERT_FALSE((*opened)->damages().empty());
    EXPECT_EQ((*opened)->damages().front().offset, damaged);
    // The root node holds the tree together: damaged, only a recovery scan finds its messages.
    bool rootLost = GetParam() == DbxDamage::kBadNodeMarker || GetParam() == DbxDamage::kTruncated;
    EXPECT_EQ(read, rootLost ? 0 : written.size() - (GetParam() != DbxDamage::kCountMismatch));
}

INSTANTIATE_TEST_SUITE_P(Kinds, StoreDamageTest, ::testing::ValuesIn(testing::kAllDbxDamages),
                         [](const auto& info) { return testing::DbxDamageName(info.param); });

// Damage to the tree and the info objects beyond the builder's kinds: each a case that patches
// the store and returns the offset an error should name.
struct PatchCase {
    const char* name;
    std::function<std::uint64_t(const std::filesystem::path&, const DbxStoreLayout&)> patch;
};

std::uint32_t Uint32At(const std::filesystem::path& file, std::uint64_t offset) {
    std::string bytes = testing::ReadFileBytes(file);
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | static_cast<std::uint8_t>(bytes.at(offset + i));
    return value;
}

class PatchedStoreTest : public MessageStoreTest,
                         public ::testing::WithParamInterface<PatchCase> {};

TEST_P(PatchedStoreTest, StrictFailsAndSalvageRecordsTheDamagedObject) {
    DbxStoreBuilder builder(m_file);
    for (std::uint32_t i = 1; i <= 300; ++i) builder.addMessage("x\r\n", {.indirectFields = true});
    DbxStoreLayout layout = builder.finish();
    ASSERT_GT(layout.treeNodes.size(), 1u);
    std::uint64_t damaged = GetParam().patch(m_file, layout);
    auto store = bytes();
    Status strict = MessageStore::Open(*store, ReadMode::kStrict).status();
    ASSERT_TRUE(strict.is(ErrorKind::kCorrupt)) << strict.reason();
    EXPECT_EQ(DamageFrom(*store, strict).offset, damaged) << strict.reason();
    auto salvaged = MessageStore::Open(*store, ReadMode::kSalvage);
    ASSERT_TRUE(salvaged.ok()) << salvaged.reason();
    ASSERT_FALSE((*salvaged)->damages().empty());
    EXPECT_EQ((*salvaged)->damages().front().offset, damaged);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PatchedStoreTest,
    ::testing::Values(
        // A tree node that leads back up ends the walk.
        PatchCase{"TreeLoopsToRoot",
                  [](const auto& file, const DbxStoreLayout& layout) -> std::uint64_t {
                      testing::PatchUint32(file, layout.treeNodes[1] + kTreeNodeLeftChild,
                                           layout.treeRoot);
                      testing::PatchUint32(file, layout.treeNodes[1] + kTreeNodeLeftCount, 1);
                      return layout.treeRoot;
                  }},
        PatchCase{"TooManyEntries",
                  [](const auto& file, const DbxStoreLayout& layout) -> std::uint64_t {
                      std::uint32_t word = layout.treeRoot + kTreeNodeEntryCount - 1;
                      testing::PatchUint32(
                          file, word,
                          (Uint32At(file, word) & 0xFFFF00FF) | (kTreeNodeMaxEntries + 1) << 8);
                      return layout.treeRoot;
                  }},
        PatchCase{"MessageListedTwice",
                  [](const auto& file, const DbxStoreLayout& layout) -> std::uint64_t {
                      std::uint32_t first = layout.treeRoot + kTreeNodeEntries;
                      testing::PatchUint32(file, first + kTreeEntrySize, Uint32At(file, first));
                      return Uint32At(file, first);
                  }},
        PatchCase{"InfoFieldOutsideItsData",
                  [](const auto& file, const DbxStoreLayout& layout) -> std::uint64_t {
                      std::uint32_t info = layout.messages[5].infoOffset;
                      std::uint32_t count = Uint32At(file, info + 8) >> 16 & 0xFF;
                      std::uint32_t last = info + kInfoEntries + 4 * (count - 1);
                      testing::PatchUint32(file, last, 0xFFFF00 | (Uint32At(file, last) & 0x7F));
                      return info;
                  }},
        PatchCase{"InfoPassesTheEnd",
                  [](const auto& file, const DbxStoreLayout& layout) -> std::uint64_t {
                      std::uint32_t info = layout.messages[5].infoOffset;
                      testing::PatchUint32(file, info + kInfoBodyLength,
                                           static_cast<std::uint32_t>(layout.fileSize));
                      return info;
                  }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MessageStoreTest, MessagesComeInIndexOrderWhateverTheTreeOrder) {
    DbxStoreLayout layout = testing::WriteDbxStore(m_file, {"1\r\n", "2\r\n", "3\r\n"});
    std::uint32_t first = layout.treeRoot + kTreeNodeEntries;
    std::uint32_t firstValue = Uint32At(m_file, first);
    testing::PatchUint32(m_file, first, Uint32At(m_file, first + kTreeEntrySize));
    testing::PatchUint32(m_file, first + kTreeEntrySize, firstValue);
    auto store = bytes();
    auto opened = MessageStore::Open(*store, ReadMode::kStrict);
    ASSERT_TRUE(opened.ok()) << opened.reason();
    std::vector<std::uint32_t> indexes;
    for (const MessageEntry& message : (*opened)->messages()) indexes.push_back(message.index);
    EXPECT_EQ(indexes, (std::vector<std::uint32_t>{1, 2, 3}));
}

// The chunk checks (a loop and too many bytes used are among the store's damage kinds), each on
// the second chunk of a three-chunk message.
struct ChunkCase {
    const char* name;
    std::uint32_t field;
    std::function<std::uint32_t(const DbxStoreLayout&)> value;
};

class ChunkChainTest : public MessageStoreTest, public ::testing::WithParamInterface<ChunkCase> {};

TEST_P(ChunkChainTest, DamagedChunkFailsTheChainNamingIt) {
    DbxStoreLayout layout = testing::WriteDbxStore(m_file, {Message(1, 3 * kChunkDataSize - 100)});
    const std::vector<std::uint32_t>& chunks = layout.messages[0].chunks;
    ASSERT_EQ(chunks.size(), 3u);
    testing::PatchUint32(m_file, chunks[1] + GetParam().field, GetParam().value(layout));
    auto store = bytes();
    // A loop is named by the chain's head, an offset outside the store by itself.
    std::uint32_t named = GetParam().value(layout) == chunks[1] ? chunks[0]
                          : GetParam().field == kChunkNext      ? GetParam().value(layout)
                                                                : chunks[1];
    auto size = CheckChunkChain(*store, chunks[0]);
    ASSERT_TRUE(size.status().is(ErrorKind::kCorrupt)) << size.reason();
    EXPECT_EQ(DamageFrom(*store, size.status()).offset, named) << size.reason();
    Status streamed = StreamChunkChain(*store, chunks[0], [](auto) { return Status::Ok(); });
    EXPECT_EQ(streamed.reason(), size.reason());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChunkChainTest,
    ::testing::Values(
        ChunkCase{"BadMarker", 0, [](const auto& layout) { return layout.messages[0].chunks[0]; }},
        ChunkCase{"BadSize", 4, [](const auto&) { return kChunkDataSize / 2; }},
        ChunkCase{"NoBytesUsed", kChunkUsed, [](const auto&) { return 0u; }},
        ChunkCase{"NextOutside", kChunkNext,
                  [](const auto& layout) { return static_cast<std::uint32_t>(layout.fileSize); }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillet::mailstore
