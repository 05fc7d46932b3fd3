#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mailstore/store_bytes.h"
#include "platform/status.h"

namespace quillet::mailstore {

// One indexed info object (a message's or a folder's): numbered fields, each either direct (its
// value in the entry) or indirect (its bytes in the object's data area, up to where the next
// indirect field starts or the object ends). A field that is not there reads as 0 or empty.
class IndexedInfo {
  public:
    // Reads and checks the object at `offset`: inside the store, marker equal to the offset, the
    // entries inside the body, every indirect field inside the data area and in ascending order.
    // Fails with kCorrupt naming the store and the offset, or with the StoreBytes' failure.
    static Result<IndexedInfo> Read(const StoreBytes& bytes, std::uint32_t offset);

    // Whether the object holds the field at all.
    bool has(std::uint8_t field) const { return find(field) != nullptr; }
    // A direct value, or the first 1..4 bytes of an indirect one (little-endian).
    std::uint32_t integer(std::uint8_t field) const;
    // A FILETIME: 8 bytes of an indirect field.
    std::uint64_t filetime(std::uint8_t field) const;
    // The bytes of an indirect field up to its first NUL.
    std::string text(std::uint8_t field) const;

  private:
    struct Field {
        std::uint8_t index = 0;
        bool direct = false;
        std::uint32_t value = 0;   // the value, or where the bytes start in the data area
        std::uint32_t length = 0;  // of the bytes
    };

    const Field* find(std::uint8_t index) const;
    // Up to `most` bytes of an indirect field, as a little-endian number.
    std::uint64_t number(const Field& field, std::uint32_t most) const;

    std::vector<Field> m_fields;
    std::vector<std::byte> m_data;
};

}  // namespace quillet::mailstore
