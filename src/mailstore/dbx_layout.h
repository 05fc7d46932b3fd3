#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace quillet::mailstore {

// The fixed layout of an Outlook Express 5/6 store (".dbx"): offsets and sizes that every reader
// and the tests' store builder share. All integers are little-endian; every object (tree node,
// info object, data chunk) starts with its own offset in the file.

inline constexpr std::array<std::uint8_t, 4> kDbxMagic = {0xCF, 0xAD, 0x12, 0xFE};
// The 16-byte class id at 0x04; the stores differ in its first byte(s) only.
inline constexpr std::array<std::uint8_t, 16> kMessageStoreClassId = {
    0xC5, 0xFD, 0x74, 0x6F, 0x66, 0xE3, 0xD1, 0x11, 0x9A, 0x4E, 0x00, 0xC0, 0x4F, 0xA3, 0x09, 0xD4};
inline constexpr std::array<std::uint8_t, 16> kFolderListClassId = {
    0xC6, 0xFD, 0x74, 0x6F, 0x66, 0xE3, 0xD1, 0x11, 0x9A, 0x4E, 0x00, 0xC0, 0x4F, 0xA3, 0x09, 0xD4};
// Stores that hold no messages, told by the first four bytes of their class id: the POP3 server's
// message list (pop3uidl.dbx) and the offline list (Offline.dbx).
inline constexpr std::array<std::uint8_t, 4> kPop3ListClassIdStart = {0xC7, 0xFD, 0x74, 0x6F};
inline constexpr std::array<std::uint8_t, 4> kOfflineListClassIdStart = {0x30, 0x9D, 0xFE, 0x26};

inline constexpr std::uint32_t kHeaderSize = 0x24BC;
inline constexpr std::uint32_t kHeaderVersion = 0x14;  // two words, 5 and 5
inline constexpr std::uint32_t kStoreVersion = 5;
inline constexpr std::uint32_t kHeaderFileInfoLength = 0x1C;
// The file info follows the header: 0x618 bytes in a message store, 0x108 in a folder list.
inline constexpr std::uint32_t kMessageFileInfoLength = 0x618;
inline constexpr std::uint32_t kFolderListFileInfoLength = 0x108;
inline constexpr std::uint32_t kHeaderDeletedMessages = 0x48;  // head of the deleted-message list
inline constexpr std::uint32_t kHeaderSpaceUsed = 0x54;        // middle sector incl. freed
inline constexpr std::uint32_t kHeaderSpaceFreed = 0x58;       // reusable (freed) bytes
inline constexpr std::uint32_t kHeaderHighestIndex = 0x5C;     // highest message index given out
inline constexpr std::uint32_t kHeaderMiddleEnd = 0x7C;
inline constexpr std::uint32_t kHeaderStoreType = 0x80;  // 2 message store, 3 folder list
inline constexpr std::uint32_t kStoreTypeMessages = 2;
inline constexpr std::uint32_t kStoreTypeFolderList = 3;
inline constexpr std::uint32_t kHeaderConditions = 0x88;            // message store
inline constexpr std::uint32_t kHeaderFolderListConditions = 0x8C;  // folder list
inline constexpr std::uint32_t kHeaderTreeEntries = 0xC4;
inline constexpr std::uint32_t kHeaderTreeRoot = 0xE4;

// Tree node: marker, unused, leftmost child, parent, node id (byte), entry count (byte), values in
// the leftmost subtree, then entries of {value, child, values in the child's subtree}.
inline constexpr std::uint32_t kTreeNodeSize = 0x27C;
inline constexpr std::uint32_t kTreeNodeLeftChild = 0x08;
inline constexpr std::uint32_t kTreeNodeParent = 0x0C;
inline constexpr std::uint32_t kTreeNodeId = 0x10;
inline constexpr std::uint32_t kTreeNodeEntryCount = 0x11;
inline constexpr std::uint32_t kTreeNodeLeftCount = 0x14;
inline constexpr std::uint32_t kTreeNodeEntries = 0x18;
inline constexpr std::uint32_t kTreeEntrySize = 12;
inline constexpr std::uint32_t kTreeNodeMaxEntries = 0x33;

// Indexed info object: marker, body length, int16 object length, byte entry count, byte change
// count, then 4-byte entries (low 7 bits field, bit 7 direct, upper 24 bits value or data offset)
// and the data area.
inline constexpr std::uint32_t kInfoBodyLength = 0x04;
inline constexpr std::uint32_t kInfoObjectLength = 0x08;
inline constexpr std::uint32_t kInfoEntryCount = 0x0A;
inline constexpr std::uint32_t kInfoEntries = 0x0C;
inline constexpr std::uint8_t kInfoDirectBit = 0x80;
// A direct value has 24 bits; larger values (and offsets from 2^24 on) go to the data area.
inline constexpr std::uint32_t kInfoDirectLimit = 0x1000000;

// Message info fields.
inline constexpr std::uint8_t kFieldIndex = 0x00;
inline constexpr std::uint8_t kFieldFlags = 0x01;
inline constexpr std::uint8_t kFieldSent = 0x02;
inline constexpr std::uint8_t kFieldFirstChunk = 0x04;
inline constexpr std::uint8_t kFieldMessageId = 0x07;
inline constexpr std::uint8_t kFieldSubject = 0x08;
inline constexpr std::uint8_t kFieldSenderAddress = 0x0E;
inline constexpr std::uint8_t kFieldSize = 0x11;
inline constexpr std::uint8_t kFieldReceived = 0x12;

// Folder info fields (Folders.dbx).
inline constexpr std::uint8_t kFolderFieldId = 0x00;
inline constexpr std::uint8_t kFolderFieldParent = 0x01;
inline constexpr std::uint8_t kFolderFieldName = 0x02;
inline constexpr std::uint8_t kFolderFieldStoreFile = 0x03;
inline constexpr std::uint8_t kFolderFieldAccountKey = 0x05;
inline constexpr std::uint8_t kFolderFieldSpecial = 0x09;
inline constexpr std::uint8_t kFolderFieldStoreKind = 0x0A;  // 3 local, 1 IMAP, 0 news
inline constexpr std::uint32_t kRootFolderParent = 0xFFFFFFFF;

// Message data chunk: marker, 0x200, bytes used (1..0x200), next chunk (0 = last), 0x200 data.
inline constexpr std::uint32_t kChunkSize = 0x210;
inline constexpr std::uint32_t kChunkDataSize = 0x200;
inline constexpr std::uint32_t kChunkSizeField = 0x04;
inline constexpr std::uint32_t kChunkUsed = 0x08;
inline constexpr std::uint32_t kChunkNext = 0x0C;
inline constexpr std::uint32_t kChunkData = 0x10;
// A deleted message's chunk: marker, 0x1FC, 0x210, next, previous (over the first 4 data bytes).
inline constexpr std::uint32_t kDeletedChunkSizeField = 0x1FC;
inline constexpr std::uint32_t kDeletedChunkPrevious = 0x10;

// Offsets are 32-bit; Outlook Express itself fails on stores from this size on.
inline constexpr std::uint64_t kStoreSizeLimit = 0x80000000;

}  // namespace quillet::mailstore
