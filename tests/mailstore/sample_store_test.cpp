#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mailstore/dbx_layout.h"
#include "mailstore/message_store.h"
#include "mailstore/store_bytes.h"
#include "support/temp_dir.h"

namespace quillet::mailstore {
namespace {

// The two real stores Outlook Express wrote: one message each.
class SampleStoreTest : public ::testing::TestWithParam<const char*> {
  protected:
    std::unique_ptr<StoreBytes> open() {
        auto bytes = OpenStoreFile(quillet::testing::TestDataDir() / "dbx" / GetParam());
        EXPECT_TRUE(bytes.ok()) << bytes.reason();
        return std::move(*bytes);
    }
};

std::string ReadWhole(MessageStore& store, const MessageEntry& message) {
    std::string text;
    Status read = store.readMessage(message, [&](std::span<const std::byte> part) {
        text.append(reinterpret_cast<const char*>(part.data()), part.size());
        return Status::Ok();
    });
    EXPECT_TRUE(read.ok()) << read.reason();
    return text;
}

TEST_P(SampleStoreTest, HoldsOneMessageReadAsItsRfc822Text) {
    auto bytes = open();
    auto store = MessageStore::Open(*bytes, ReadMode::kStrict);
    ASSERT_TRUE(store.ok()) << store.reason();
    EXPECT_EQ((*store)->header().kind, DbxHeader::Kind::kMessages);
    EXPECT_EQ((*store)->header().treeEntries, 1u);
    ASSERT_EQ((*store)->messages().size(), 1u);
    const MessageEntry& message = (*store)->messages().front();
    EXPECT_EQ(message.origin, MessageEntry::Origin::kIndex);
    EXPECT_EQ(message.index, (*store)->header().highestIndex);
    // Four indirect bytes, for a value over 24 bits.
    EXPECT_EQ(message.flags, 0x01020081u);
    EXPECT_NE(message.sentTime, 0u);
    EXPECT_NE(message.receivedTime, 0u);
    EXPECT_FALSE(message.subject.empty());

    std::string text = ReadWhole(**store, message);
    EXPECT_EQ(text.size(), message.recordedSize);
    EXPECT_TRUE(text.starts_with("Return-path: <")) << text.substr(0, 40);
    EXPECT_NE(text.find("\r\n\r\n"), std::string::npos);
    EXPECT_EQ(text.find('\0'), std::string::npos);
    EXPECT_TRUE((*store)->damages().empty());
    EXPECT_TRUE((*store)->warnings().empty());
}

INSTANTIATE_TEST_SUITE_P(RealStores, SampleStoreTest, ::testing::Values("test.dbx", "test1.dbx"));

}  // namespace
}  // namespace quillet::mailstore
