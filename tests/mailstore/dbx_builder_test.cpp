// The test stores' builder, checked against the format's layout: the reader's tests rely on it.
#include "support/dbx_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>

#include "mailstore/dbx_layout.h"
#include "support/temp_dir.h"

namespace quillet::testing {
namespace {

namespace ms = quillet::mailstore;

std::string ReadAll(const std::filesystem::path& file) { return ReadFileBytes(file); }

std::uint32_t U32(const std::string& bytes, std::uint64_t offset) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes.at(offset + i));
    return value;
}

std::string Message(int number, std::size_t bodyBytes) {
    return "Subject: message " + std::to_string(number) + "\r\n\r\n" + std::string(bodyBytes, 'x') +
           "\r\n";
}

// The info object's field `field`: direct value, or the 4 bytes its offset points to.
std::uint32_t InfoNumber(const std::string& bytes, std::uint32_t info, std::uint8_t field) {
    const std::uint32_t count = static_cast<std::uint8_t>(bytes.at(info + ms::kInfoEntryCount));
    const std::uint32_t data = info + ms::kInfoEntries + 4 * count;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t entry = U32(bytes, info + ms::kInfoEntries + 4 * i);
        if ((entry & 0x7F) != field) continue;
        if ((entry & ms::kInfoDirectBit) != 0) return entry >> 8;
        return U32(bytes, data + (entry >> 8));
    }
    ADD_FAILURE() << "no field " << int(field);
    return 0;
}

class DbxBuilderTest : public ::testing::Test {
  protected:
    TempDir m_dir;
    std::filesystem::path m_store = m_dir.path() / "Inbox.dbx";
};

TEST_F(DbxBuilderTest, HeaderCarriesTheFixedValuesAndTheTreeCounts) {
    DbxStoreBuilder builder(m_store);
    builder.addMessage(Message(1, 10));
    builder.addMessage(Message(2, 10), {.index = 7});
    const DbxStoreLayout layout = builder.finish();
    const std::string bytes = ReadAll(m_store);

    ASSERT_EQ(bytes.size(), layout.fileSize);
    EXPECT_EQ(0, std::memcmp(bytes.data(), ms::kDbxMagic.data(), ms::kDbxMagic.size()));
    EXPECT_EQ(0, std::memcmp(bytes.data() + 4, ms::kMessageStoreClassId.data(), 16));
    EXPECT_EQ(U32(bytes, ms::kHeaderVersion), ms::kStoreVersion);
    EXPECT_EQ(U32(bytes, ms::kHeaderFileInfoLength), ms::kMessageFileInfoLength);
    EXPECT_EQ(U32(bytes, ms::kHeaderStoreType), ms::kStoreTypeMessages);
    EXPECT_EQ(U32(bytes, ms::kHeaderTreeEntries), 2u);
    EXPECT_EQ(U32(bytes, ms::kHeaderTreeRoot), layout.treeRoot);
    EXPECT_EQ(U32(bytes, ms::kHeaderHighestIndex), 7u);
    const std::uint32_t conditions = U32(bytes, ms::kHeaderConditions);
    EXPECT_EQ(conditions, ms::kHeaderSize + ms::kMessageFileInfoLength);
    EXPECT_EQ(U32(bytes, conditions), conditions);
}

// Walks the tree without recursion, checking markers, parents, entry counts and subtree counts;
// returns the message indexes in walk order.
std::vector<std::uint32_t> WalkTree(const std::string& bytes, std::uint32_t fanOut) {
    struct Step {
        std::uint32_t node;
        int entry;  // -1: the leftmost child next
    };
    std::vector<std::uint32_t> indexes;
    std::vector<Step> stack = {{U32(bytes, ms::kHeaderTreeRoot), -1}};
    while (!stack.empty()) {
        Step& step = stack.back();
        const std::uint32_t node = step.node;
        const int entries = static_cast<std::uint8_t>(bytes.at(node + ms::kTreeNodeEntryCount));
        EXPECT_EQ(U32(bytes, node), node);
        EXPECT_LE(static_cast<std::uint32_t>(entries), fanOut);
        if (step.entry == entries) {
            stack.pop_back();
            continue;
        }
        std::uint32_t child = U32(bytes, node + ms::kTreeNodeLeftChild);
        if (step.entry >= 0) {
            const std::uint32_t entry =
                node + ms::kTreeNodeEntries + ms::kTreeEntrySize * step.entry;
            indexes.push_back(InfoNumber(bytes, U32(bytes, entry), ms::kFieldIndex));
            child = U32(bytes, entry + 4);
        }
        ++step.entry;
        if (child != 0) {
            EXPECT_EQ(U32(bytes, child + ms::kTreeNodeParent), node);
            stack.push_back({child, -1});
        }
    }
    return indexes;
}

// Sums of a node's own entries and its children's counts equal what its parent records.
std::uint32_t CountedBelow(const std::string& bytes, std::uint32_t node) {
    std::uint32_t count = U32(bytes, node + ms::kTreeNodeLeftCount);
    const int entries = static_cast<std::uint8_t>(bytes.at(node + ms::kTreeNodeEntryCount));
    for (int i = 0; i < entries; ++i) {
        count += 1 + U32(bytes, node + ms::kTreeNodeEntries + ms::kTreeEntrySize * i + 8);
    }
    return count;
}

class DbxBuilderTreeTest : public DbxBuilderTest,
                           public ::testing::WithParamInterface<std::uint32_t> {};

TEST_P(DbxBuilderTreeTest, InOrderWalkGivesAscendingIndexesWithExactCounts) {
    const std::uint32_t fanOut = GetParam();
    std::vector<std::uint32_t> indexes(200);
    std::iota(indexes.begin(), indexes.end(), 1);
    std::reverse(indexes.begin(), indexes.begin() + 100);  // added out of order
    DbxStoreBuilder builder(m_store, {.treeFanOut = fanOut});
    for (std::uint32_t index : indexes) builder.addMessage(Message(index, 1), {.index = index});
    const DbxStoreLayout layout = builder.finish();
    const std::string bytes = ReadAll(m_store);

    std::sort(indexes.begin(), indexes.end());
    EXPECT_EQ(WalkTree(bytes, fanOut), indexes);
    EXPECT_EQ(CountedBelow(bytes, layout.treeRoot), indexes.size());
    for (std::uint32_t node : layout.treeNodes) {
        const std::uint32_t parent = U32(bytes, node + ms::kTreeNodeParent);
        if (parent == 0) continue;
        std::uint32_t recorded = U32(bytes, parent + ms::kTreeNodeLeftCount);
        for (int i = 0; U32(bytes, parent + ms::kTreeNodeLeftChild) != node; ++i) {
            const std::uint32_t entry = parent + ms::kTreeNodeEntries + ms::kTreeEntrySize * i;
            if (U32(bytes, entry + 4) == node) {
                recorded = U32(bytes, entry + 8);
                break;
            }
        }
        EXPECT_EQ(CountedBelow(bytes, node), recorded) << "node at " << node;
    }
}

INSTANTIATE_TEST_SUITE_P(FanOuts, DbxBuilderTreeTest,
                         ::testing::Values(2u, 3u, ms::kTreeNodeMaxEntries));

TEST_F(DbxBuilderTest, ChunksHoldTheMessageAndFirstChunkGoesIndirectPast24Bits) {
    const std::string message = Message(1, 3 * ms::kChunkDataSize);
    DbxStoreBuilder builder(m_store, {.gapBeforeMessages = ms::kInfoDirectLimit});
    builder.addMessage(message);
    const DbxStoreLayout layout = builder.finish();
    const std::string bytes = ReadAll(m_store);

    const DbxMessageLayout& written = layout.messages.at(0);
    ASSERT_GE(written.chunks.front(), ms::kInfoDirectLimit);
    EXPECT_EQ(InfoNumber(bytes, written.infoOffset, ms::kFieldFirstChunk), written.chunks.front());
    std::string joined;
    for (std::uint32_t chunk = written.chunks.front(); chunk != 0;
         chunk = U32(bytes, chunk + ms::kChunkNext)) {
        EXPECT_EQ(U32(bytes, chunk), chunk);
        EXPECT_EQ(U32(bytes, chunk + ms::kChunkSizeField), ms::kChunkDataSize);
        joined += bytes.substr(chunk + ms::kChunkData, U32(bytes, chunk + ms::kChunkUsed));
    }
    EXPECT_EQ(joined, message);
}

TEST_F(DbxBuilderTest, DeletedMessageChunksCarryTheDeletedSignatureAndStayOutOfTheTree) {
    DbxStoreBuilder builder(m_store);
    builder.addMessage(Message(1, 10));
    builder.addMessage(Message(2, 2 * ms::kChunkDataSize), {.placement = DbxPlacement::kDeleted});
    const DbxStoreLayout layout = builder.finish();
    const std::string bytes = ReadAll(m_store);

    EXPECT_EQ(U32(bytes, ms::kHeaderTreeEntries), 1u);
    const std::vector<std::uint32_t>& chunks = layout.messages.at(1).chunks;
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(U32(bytes, ms::kHeaderDeletedMessages), chunks.front());
    EXPECT_EQ(U32(bytes, chunks[1] + ms::kChunkSizeField), ms::kDeletedChunkSizeField);
    EXPECT_EQ(U32(bytes, chunks[1] + ms::kChunkUsed), ms::kChunkSize);
    EXPECT_EQ(U32(bytes, chunks[1] + ms::kChunkNext), chunks[2]);
    EXPECT_EQ(U32(bytes, chunks[1] + ms::kDeletedChunkPrevious), chunks[0]);
}

TEST_F(DbxBuilderTest, FolderListNamesEachFolderAndItsStore) {
    const std::vector<DbxFolder> folders = StandardDbxFolders();
    const DbxStoreLayout layout = WriteDbxFolderList(m_store, folders);
    const std::string bytes = ReadAll(m_store);

    EXPECT_EQ(0, std::memcmp(bytes.data() + 4, ms::kFolderListClassId.data(), 16));
    EXPECT_EQ(U32(bytes, ms::kHeaderStoreType), ms::kStoreTypeFolderList);
    EXPECT_EQ(U32(bytes, ms::kHeaderTreeEntries), folders.size());
    const std::uint32_t inbox = layout.messages.at(1).infoOffset;
    EXPECT_EQ(InfoNumber(bytes, layout.messages.at(0).infoOffset, ms::kFolderFieldParent),
              ms::kRootFolderParent);
    EXPECT_EQ(InfoNumber(bytes, inbox, ms::kFolderFieldSpecial), folders.at(1).special);
    EXPECT_NE(bytes.find(folders.at(1).storeFile + '\0', inbox), std::string::npos);
}

class DbxDamageTest : public DbxBuilderTest, public ::testing::WithParamInterface<DbxDamage> {};

TEST_P(DbxDamageTest, DamageChangesTheStoreAtTheNamedObject) {
    const DbxStoreLayout layout = WriteDbxStore(m_store, {Message(1, 700), Message(2, 10)});
    const std::string before = ReadAll(m_store);
    const std::uint64_t object = DamageDbxStore(m_store, layout, GetParam());
    const std::string after = ReadAll(m_store);

    ASSERT_NE(before, after);
    const auto mismatch = std::mismatch(before.begin(), before.end(), after.begin(), after.end());
    const auto firstChange = static_cast<std::uint64_t>(mismatch.first - before.begin());
    EXPECT_GE(firstChange, object);
    EXPECT_LT(firstChange, object + ms::kTreeNodeSize);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DbxDamageTest, ::testing::ValuesIn(kAllDbxDamages),
                         [](const auto& info) { return DbxDamageName(info.param); });

}  // namespace
}  // namespace quillet::testing
