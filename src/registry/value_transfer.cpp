#include "registry/value_transfer.h"

#include <cstring>

#include "platform/text_encoding.h"
#include "registry/utf16_bytes.h"

namespace quillet::registry {

std::string ValueAsAnsi(std::uint32_t type, const std::string& stored) {
    if (!IsTextType(type)) return stored;
    return Utf16ToUtf8(Utf16FromLeBytes(stored));
}

std::string ValueFromAnsi(std::uint32_t type, std::string_view data) {
    if (!IsTextType(type)) return std::string(data);
    return Utf16LeBytes(Utf8ToUtf16(data));
}

RegResult CopyValueOut(const std::string& bytes, std::uint8_t* data, std::uint32_t* dataSize) {
    if (dataSize == nullptr) return data == nullptr ? kErrorSuccess : kErrorFileNotFound;
    const std::uint32_t capacity = *dataSize;
    *dataSize = static_cast<std::uint32_t>(bytes.size());
    if (data == nullptr) return kErrorSuccess;
    if (bytes.size() > capacity) return kErrorMoreData;
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    return kErrorSuccess;
}

RegResult CopyTextOut(const std::string& text, char* data, std::int32_t* dataSize) {
    if (dataSize == nullptr) return data == nullptr ? kErrorSuccess : kErrorFileNotFound;
    const std::int32_t capacity = *dataSize;
    *dataSize = static_cast<std::int32_t>(text.size());
    if (data == nullptr) return kErrorSuccess;
    if (static_cast<std::int32_t>(text.size()) > capacity) return kErrorMoreData;
    std::memcpy(data, text.data(), text.size());
    return kErrorSuccess;
}

}  // namespace quillet::registry
