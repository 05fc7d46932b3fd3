#include "mailstore/dbx_header.h"

#include <array>
#include <cstring>
#include <memory>

#include "mailstore/dbx_layout.h"

namespace quillet::mailstore {
namespace {

constexpr std::uint32_t kClassIdOffset = 0x04;

std::uint32_t FieldAt(const std::array<std::byte, kHeaderSize>& raw, std::uint32_t offset) {
    return static_cast<std::uint32_t>(raw[offset]) |
           static_cast<std::uint32_t>(raw[offset + 1]) << 8 |
           static_cast<std::uint32_t>(raw[offset + 2]) << 16 |
           static_cast<std::uint32_t>(raw[offset + 3]) << 24;
}

bool Holds(const std::array<std::byte, kHeaderSize>& raw, std::uint32_t offset,
           std::span<const std::uint8_t> expected) {
    return std::memcmp(raw.data() + offset, expected.data(), expected.size()) == 0;
}

}  // namespace

Result<DbxHeader> ReadDbxHeader(const StoreBytes& bytes) {
    if (bytes.size() < kHeaderSize) {
        return DamageAt(bytes, bytes.size(), "the file ends inside the store header");
    }
    // The header is read once per store; on the heap, it keeps the callers' stacks small.
    auto raw = std::make_unique<std::array<std::byte, kHeaderSize>>();
    if (Status read = bytes.readAt(0, *raw); !read) return read;
    if (!Holds(*raw, 0, kDbxMagic)) return DamageAt(bytes, 0, "not an Outlook Express store");

    DbxHeader header;
    if (Holds(*raw, kClassIdOffset, kMessageStoreClassId)) {
        header.kind = DbxHeader::Kind::kMessages;
    } else if (Holds(*raw, kClassIdOffset, kFolderListClassId)) {
        header.kind = DbxHeader::Kind::kFolderList;
    } else if (Holds(*raw, kClassIdOffset, kPop3ListClassIdStart) ||
               Holds(*raw, kClassIdOffset, kOfflineListClassIdStart)) {
        header.kind = DbxHeader::Kind::kOther;
    }
    header.treeRoot = FieldAt(*raw, kHeaderTreeRoot);
    header.treeEntries = FieldAt(*raw, kHeaderTreeEntries);
    header.highestIndex = FieldAt(*raw, kHeaderHighestIndex);
    header.spaceFreed = FieldAt(*raw, kHeaderSpaceFreed);
    header.deletedMessages = FieldAt(*raw, kHeaderDeletedMessages);
    return header;
}

}  // namespace quillet::mailstore
