#include <array>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/text_encoding.h"
#include "wab/address_book.h"
#include "wab/wab_layout.h"

namespace quillet::wab {
namespace {

// No real address book comes near this; a larger record is damage, not a reason to allocate.
constexpr std::uint32_t kMaxRecordData = 16u * 1024 * 1024;

std::uint32_t WordAt(const std::vector<std::byte>& data, std::size_t at) {
    return static_cast<std::uint32_t>(data[at]) | static_cast<std::uint32_t>(data[at + 1]) << 8 |
           static_cast<std::uint32_t>(data[at + 2]) << 16 |
           static_cast<std::uint32_t>(data[at + 3]) << 24;
}

// The text field of `contact` that a property id fills, or nullptr.
std::string* TextField(Contact& contact, std::uint16_t id) {
    switch (id) {
        case kDisplayName:
            return &contact.displayName;
        case kAddressType:
            return &contact.addressType;
        case kEmailAddress:
            return &contact.email;
        case kComment:
            return &contact.comment;
        case kGivenName:
            return &contact.givenName;
        case kBusinessPhone:
            return &contact.businessPhone;
        case kHomePhone:
            return &contact.homePhone;
        case kInitials:
            return &contact.initials;
        case kSurname:
            return &contact.surname;
        case kCompany:
            return &contact.company;
        case kTitle:
            return &contact.title;
        case kDepartment:
            return &contact.department;
        case kOffice:
            return &contact.office;
        case kMobilePhone:
            return &contact.mobilePhone;
        case kPager:
            return &contact.pager;
        case kBusinessFax:
            return &contact.businessFax;
        case kHomeFax:
            return &contact.homeFax;
        case kBusinessCountry:
            return &contact.businessAddress.country;
        case kBusinessCity:
            return &contact.businessAddress.city;
        case kBusinessRegion:
            return &contact.businessAddress.region;
        case kBusinessStreet:
            return &contact.businessAddress.street;
        case kBusinessPostalCode:
            return &contact.businessAddress.postalCode;
        case kNickname:
            return &contact.nickname;
        case kPersonalWebPage:
            return &contact.personalWebPage;
        case kBusinessWebPage:
            return &contact.businessWebPage;
        case kHomeCity:
            return &contact.homeAddress.city;
        case kHomeCountry:
            return &contact.homeAddress.country;
        case kHomePostalCode:
            return &contact.homeAddress.postalCode;
        case kHomeRegion:
            return &contact.homeAddress.region;
        case kHomeStreet:
            return &contact.homeAddress.street;
        default:
            return nullptr;
    }
}

std::vector<std::string>* ListField(Contact& contact, std::uint16_t id) {
    switch (id) {
        case kOtherEmails:
            return &contact.otherEmails;
        case kOtherAddressTypes:
            return &contact.otherEmailTypes;
        default:
            return nullptr;
    }
}

bool KnownType(std::uint16_t type) {
    switch (type & ~kMultiValued) {
        case kTypeShort:
        case kTypeLong:
        case kTypeBoolean:
        case kTypeString8:
        case kTypeUnicode:
        case kTypeTime:
        case kTypeGuid:
        case kTypeBinary:
            return true;
        default:
            return false;
    }
}

// A string value as UTF-8, without its terminator; nullopt when UTF-16 has an odd length.
std::optional<std::string> TextOf(std::uint16_t type, const std::byte* bytes, std::size_t size) {
    if ((type & ~kMultiValued) == kTypeUnicode) {
        if (size % 2 != 0) return std::nullopt;
        std::u16string text(size / 2, u'\0');
        for (std::size_t i = 0; i < text.size(); ++i) {
            text[i] = static_cast<char16_t>(static_cast<unsigned>(bytes[2 * i]) |
                                            static_cast<unsigned>(bytes[2 * i + 1]) << 8);
        }
        while (!text.empty() && text.back() == u'\0') text.pop_back();
        return Utf16ToUtf8(text);
    }
    std::string_view raw(reinterpret_cast<const char*>(bytes), size);
    while (!raw.empty() && raw.back() == '\0') raw.remove_suffix(1);
    return DecodeTextFileBytes(raw);
}

bool IsText(std::uint16_t type) {
    std::uint16_t single = type & ~kMultiValued;
    return single == kTypeString8 || single == kTypeUnicode;
}

}  // namespace

Result<RecordRead> ReadRecord(const BookBytes& bytes, std::uint64_t offset) {
    std::array<std::uint32_t, kRecordHeaderSize / 4> word{};
    for (std::size_t i = 0; i < word.size(); ++i) {
        auto value = ReadUint32(bytes, offset + 4 * i);
        if (!value) return value.status();
        word[i] = *value;
    }
    if (word[0] != kRecordLive && word[0] != 0) {
        return DamageAt(bytes, offset, "a record whose first word is neither 0 nor 1");
    }
    if (word[1] != kRecordKind || word[4] != kRecordMarker || word[5] != word[6]) {
        return DamageAt(bytes, offset, "a record with bad marker words");
    }
    const std::uint32_t propertyCount = word[3];
    if (propertyCount > kMaxProperties) {
        return DamageAt(bytes, offset + 12, "a record with more than 500 properties");
    }
    const std::uint32_t dataLength = word[7];
    const std::uint64_t dataStart = offset + kRecordHeaderSize;
    if (dataLength > kMaxRecordData || dataLength > bytes.size() - dataStart) {
        return DamageAt(bytes, offset + 28, "a record that passes the end of the file");
    }
    if (std::uint64_t{propertyCount} * 4 > dataLength) {
        return DamageAt(bytes, offset + 12, "a property count that passes the record's end");
    }
    std::vector<std::byte> data(dataLength);
    if (Status read = bytes.readAt(dataStart, data); !read) return read;

    RecordRead record;
    record.live = word[0] == kRecordLive;
    record.end = dataStart + dataLength;
    Contact& contact = record.contact;
    contact.recordId = word[2];
    contact.offset = offset;

    std::size_t at = std::size_t{propertyCount} * 4;
    auto left = [&] { return data.size() - at; };
    auto damage = [&](std::size_t where, const char* what) {
        return DamageAt(bytes, dataStart + where, what);
    };
    for (std::uint32_t i = 0; i < propertyCount; ++i) {
        const std::uint32_t tag = WordAt(data, 4 * std::size_t{i});
        const auto type = static_cast<std::uint16_t>(tag & 0xFFFF);
        const auto id = static_cast<std::uint16_t>(tag >> 16);
        if (!KnownType(type)) return damage(4 * std::size_t{i}, "a property of unknown type");
        if (left() < 4 || WordAt(data, at) != tag) {
            return damage(at, "a property value whose tag is not the listed one");
        }
        at += 4;
        if ((type & kMultiValued) == 0) {
            if (left() < 4) return damage(at, "a property value that passes the record's end");
            const std::uint32_t length = WordAt(data, at);
            at += 4;
            if (length > left()) return damage(at - 4, "a length that passes the record's end");
            if (IsText(type)) {
                auto text = TextOf(type, data.data() + at, length);
                if (!text) return damage(at, "a UTF-16 text of odd length");
                if (std::string* field = TextField(contact, id)) *field = std::move(*text);
            }
            at += length;
            continue;
        }
        if (left() < 8) return damage(at, "a property value that passes the record's end");
        const std::uint32_t count = WordAt(data, at);
        const std::uint32_t length = WordAt(data, at + 4);
        at += 8;
        if (length > left()) return damage(at - 4, "a length that passes the record's end");
        // Each element takes at least its own length word.
        if (std::uint64_t{count} * 4 > length) {
            return damage(at - 8, "a value count that passes the record's end");
        }
        const std::size_t end = at + length;
        std::vector<std::string>* list = IsText(type) ? ListField(contact, id) : nullptr;
        if (list) list->reserve(count);
        for (std::uint32_t element = 0; element < count; ++element) {
            if (end - at < 4) return damage(at, "a value that passes the property's end");
            const std::uint32_t size = WordAt(data, at);
            at += 4;
            if (size > end - at) return damage(at - 4, "a value that passes the property's end");
            if (list) {
                auto text = TextOf(type, data.data() + at, size);
                if (!text) return damage(at, "a UTF-16 text of odd length");
                list->push_back(std::move(*text));
            }
            at += size;
        }
        if (at != end) return damage(at, "a multi-valued property whose length is wrong");
        if (id == kGroupMembers) {
            contact.isGroup = true;
            contact.groupMembers = count;
        }
    }
    return record;
}

}  // namespace quillet::wab
