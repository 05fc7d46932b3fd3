// The test stores' builder: the header a reader starts from. The reader's own tests walk the rest.
#include "mailstore/dbx_builder.h"

#include <gtest/gtest.h>

#include <cstring>

#include "mailstore/dbx_layout.h"
#include "support/platform/temp_dir.h"

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

}  // namespace
}  // namespace quillet::testing
