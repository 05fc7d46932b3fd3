#pragma once

#include <array>
#include <cstdint>

// The layout of a Windows Address Book file (.wab), as far as it is known. Shared by the reader,
// the check and the test-side writer.
namespace quillet::wab {

inline constexpr std::array<std::uint8_t, 16> kMagic = {
    0x9C, 0xCB, 0xCB, 0x8D, 0x13, 0x75, 0xD2, 0x11, 0x91, 0x58, 0x00, 0xC0, 0x4F, 0x79, 0x56, 0xA4};
// The magic of the address books of the earliest versions; their layout is the same.
inline constexpr std::array<std::uint8_t, 16> kOldMagic = {
    0x81, 0x32, 0x84, 0xC1, 0x85, 0x05, 0xD0, 0x11, 0xB2, 0x90, 0x00, 0xAA, 0x00, 0x3C, 0xF6, 0x76};

// The header: the magic, two counts, then six table descriptors {type, entry size, offset, count}.
inline constexpr std::uint32_t kFirstDescriptor = 0x18;
inline constexpr std::uint32_t kDescriptorSize = 16;
inline constexpr std::uint32_t kDescriptorCount = 6;
inline constexpr std::uint32_t kHeaderSize = kFirstDescriptor + kDescriptorSize * kDescriptorCount;

inline constexpr std::uint32_t kIndexTable = 0xFA0;  // entries {record id, record offset}
inline constexpr std::uint32_t kIndexEntrySize = 8;
inline constexpr std::uint32_t kTextTable = 0x84D0;  // entries {0x40-byte UTF-16 text, record id}
inline constexpr std::uint32_t kTextEntrySize = 0x44;

// A record: eight 32-bit words, then the property tags, then each property's tag and value.
inline constexpr std::uint32_t kRecordHeaderSize = 32;
inline constexpr std::uint32_t kRecordLive = 1;       // word 0; 0 once the record is deleted
inline constexpr std::uint32_t kRecordKind = 1;       // word 1
inline constexpr std::uint32_t kRecordMarker = 0x20;  // word 4: what a scan looks for
inline constexpr std::uint32_t kRecordMarkerOffset = 16;
inline constexpr std::uint32_t kMaxProperties = 500;

// MAPI property types (the low 16 bits of a tag); kMultiValued marks the multi-valued forms.
inline constexpr std::uint16_t kTypeShort = 0x0002;
inline constexpr std::uint16_t kTypeLong = 0x0003;
inline constexpr std::uint16_t kTypeBoolean = 0x000B;
inline constexpr std::uint16_t kTypeString8 = 0x001E;
inline constexpr std::uint16_t kTypeUnicode = 0x001F;
inline constexpr std::uint16_t kTypeTime = 0x0040;
inline constexpr std::uint16_t kTypeGuid = 0x0048;
inline constexpr std::uint16_t kTypeBinary = 0x0102;
inline constexpr std::uint16_t kMultiValued = 0x1000;

constexpr std::uint32_t Tag(std::uint16_t id, std::uint16_t type) {
    return static_cast<std::uint32_t>(id) << 16 | type;
}

// Property ids (the high 16 bits of a tag).
inline constexpr std::uint16_t kDisplayName = 0x3001;
inline constexpr std::uint16_t kAddressType = 0x3002;
inline constexpr std::uint16_t kEmailAddress = 0x3003;
inline constexpr std::uint16_t kComment = 0x3004;
inline constexpr std::uint16_t kGivenName = 0x3A06;
inline constexpr std::uint16_t kBusinessPhone = 0x3A08;
inline constexpr std::uint16_t kHomePhone = 0x3A09;
inline constexpr std::uint16_t kInitials = 0x3A0A;
inline constexpr std::uint16_t kSurname = 0x3A11;
inline constexpr std::uint16_t kCompany = 0x3A16;
inline constexpr std::uint16_t kTitle = 0x3A17;
inline constexpr std::uint16_t kDepartment = 0x3A18;
inline constexpr std::uint16_t kOffice = 0x3A19;
inline constexpr std::uint16_t kMobilePhone = 0x3A1C;
inline constexpr std::uint16_t kPager = 0x3A21;
inline constexpr std::uint16_t kBusinessFax = 0x3A24;
inline constexpr std::uint16_t kHomeFax = 0x3A25;
inline constexpr std::uint16_t kBusinessCountry = 0x3A26;
inline constexpr std::uint16_t kBusinessCity = 0x3A27;
inline constexpr std::uint16_t kBusinessRegion = 0x3A28;
inline constexpr std::uint16_t kBusinessStreet = 0x3A29;
inline constexpr std::uint16_t kBusinessPostalCode = 0x3A2A;
inline constexpr std::uint16_t kNickname = 0x3A4F;
inline constexpr std::uint16_t kPersonalWebPage = 0x3A50;
inline constexpr std::uint16_t kBusinessWebPage = 0x3A51;
inline constexpr std::uint16_t kOtherAddressTypes = 0x3A54;
inline constexpr std::uint16_t kOtherEmails = 0x3A56;
inline constexpr std::uint16_t kHomeCity = 0x3A59;
inline constexpr std::uint16_t kHomeCountry = 0x3A5A;
inline constexpr std::uint16_t kHomePostalCode = 0x3A5B;
inline constexpr std::uint16_t kHomeRegion = 0x3A5C;
inline constexpr std::uint16_t kHomeStreet = 0x3A5D;
inline constexpr std::uint16_t kGroupMembers = 0x8009;

}  // namespace quillet::wab
