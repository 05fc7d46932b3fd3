#include "mailstore/indexed_info.h"

#include <algorithm>
#include <array>

#include "mailstore/dbx_layout.h"

namespace quillet::mailstore {
namespace {

// Info objects live in the store's variable segments; none comes near this size.
constexpr std::uint32_t kLargestInfoBody = 1024 * 1024;
constexpr std::uint32_t kFieldIndexMask = 0x7F;

std::uint32_t LittleEndian32(const std::byte* raw) {
    return static_cast<std::uint32_t>(raw[0]) | static_cast<std::uint32_t>(raw[1]) << 8 |
           static_cast<std::uint32_t>(raw[2]) << 16 | static_cast<std::uint32_t>(raw[3]) << 24;
}

}  // namespace

Result<IndexedInfo> IndexedInfo::Read(const StoreBytes& bytes, std::uint32_t offset) {
    if (offset < kHeaderSize || offset > bytes.size() || bytes.size() - offset < kInfoEntries) {
        return DamageAt(bytes, offset, "info object outside the store");
    }
    std::array<std::byte, kInfoEntries> head;
    if (Status read = bytes.readAt(offset, head); !read) return read;
    if (LittleEndian32(head.data()) != offset) {
        return DamageAt(bytes, offset, "bad marker in info object");
    }
    std::uint32_t bodyLength = LittleEndian32(head.data() + kInfoBodyLength);
    std::uint32_t entryCount = static_cast<std::uint32_t>(head[kInfoEntryCount]);
    if (bodyLength > kLargestInfoBody || bytes.size() - offset - kInfoEntries < bodyLength) {
        return DamageAt(bytes, offset, "info object passes the end of the store");
    }
    if (entryCount * 4 > bodyLength) {
        return DamageAt(bytes, offset, "info object with more entries than its body holds");
    }
    std::vector<std::byte> body(bodyLength);
    if (Status read = bytes.readAt(offset + kInfoEntries, body); !read) return read;

    IndexedInfo info;
    info.m_data.assign(body.begin() + entryCount * 4, body.end());
    auto dataLength = static_cast<std::uint32_t>(info.m_data.size());
    info.m_fields.reserve(entryCount);
    Field* lastIndirect = nullptr;  // stays valid: the fields were reserved
    for (std::uint32_t i = 0; i < entryCount; ++i) {
        std::uint32_t entry = LittleEndian32(body.data() + i * 4);
        Field field;
        field.index = static_cast<std::uint8_t>(entry & kFieldIndexMask);
        field.direct = (entry & kInfoDirectBit) != 0;
        field.value = entry >> 8;
        if (!field.direct) {
            if (field.value > dataLength) {
                return DamageAt(bytes, offset, "info field outside the object's data");
            }
            if (lastIndirect != nullptr && field.value < lastIndirect->value) {
                return DamageAt(bytes, offset, "info fields out of order");
            }
            if (lastIndirect != nullptr) lastIndirect->length = field.value - lastIndirect->value;
        }
        info.m_fields.push_back(field);
        if (!field.direct) lastIndirect = &info.m_fields.back();
    }
    if (lastIndirect != nullptr) lastIndirect->length = dataLength - lastIndirect->value;
    return info;
}

const IndexedInfo::Field* IndexedInfo::find(std::uint8_t index) const {
    auto found = std::find_if(m_fields.begin(), m_fields.end(),
                              [index](const Field& field) { return field.index == index; });
    return found == m_fields.end() ? nullptr : &*found;
}

std::uint64_t IndexedInfo::number(const Field& field, std::uint32_t most) const {
    std::uint64_t value = 0;
    std::uint32_t length = std::min(field.length, most);
    for (std::uint32_t i = length; i > 0; --i) {
        value = value << 8 | static_cast<std::uint64_t>(m_data[field.value + i - 1]);
    }
    return value;
}

std::uint32_t IndexedInfo::integer(std::uint8_t index) const {
    const Field* field = find(index);
    if (field == nullptr) return 0;
    if (field->direct) return field->value;
    return static_cast<std::uint32_t>(number(*field, 4));
}

std::uint64_t IndexedInfo::filetime(std::uint8_t index) const {
    const Field* field = find(index);
    if (field == nullptr || field->direct) return 0;
    return number(*field, 8);
}

std::string IndexedInfo::text(std::uint8_t index) const {
    const Field* field = find(index);
    if (field == nullptr || field->direct) return {};
    auto begin = m_data.begin() + field->value;
    auto end = std::find(begin, begin + field->length, std::byte{0});
    std::string text(static_cast<std::size_t>(end - begin), '\0');
    std::transform(begin, end, text.begin(), [](std::byte b) { return static_cast<char>(b); });
    return text;
}

}  // namespace quillet::mailstore
