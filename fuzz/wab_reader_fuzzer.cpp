// Reads any bytes as a Windows Address Book held in memory, strictly and salvaging, and writes
// every contact as a vCard. A book the strict read accepts must be read the same by the salvage
// (which may only add recovered records) with no damage recorded; the reads of the book stay in
// proportion to its size, and so do the cards written from it.
#include <cstring>

#include "fuzz_support.h"
#include "wab/address_book.h"
#include "wab/vcard_writer.h"

namespace {

using quillet::Status;
using quillet::fuzz::Fail;
using namespace quillet::wab;

class MemoryBookBytes : public BookBytes {
  public:
    MemoryBookBytes(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    const std::string& name() const override { return m_name; }
    std::uint64_t size() const override { return m_size; }
    Status readAt(std::uint64_t offset, std::span<std::byte> out) const override {
        if (offset > m_size || out.size() > m_size - offset) {
            return DamageAt(*this, offset, "a range that passes the end of the file");
        }
        if (!out.empty()) std::memcpy(out.data(), m_data + offset, out.size());
        m_bytesRead += out.size();
        return Status::Ok();
    }

    std::uint64_t bytesRead() const { return m_bytesRead; }

  private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::string m_name = "fuzz.wab";
    mutable std::uint64_t m_bytesRead = 0;
};

// Writes every card; fails when they are out of proportion to the book.
void WriteCards(const AddressBook& book, std::size_t size) {
    std::uint64_t written = 0;
    for (const Contact& contact : book.contacts) written += ContactToVCard(contact).size();
    // Escaping at most doubles a text, UTF-16 becomes at most 3/2 as long in UTF-8, folding adds
    // 3 octets in 74; each card has a fixed frame.
    if (written > 4 * size + 512 * book.contacts.size() + 512) {
        Fail("the vCards are out of proportion to the address book");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const MemoryBookBytes bytes(data, size);

    auto strict = ReadAddressBook(bytes, ReadMode::kStrict);
    if (strict) {
        if (!strict->damages.empty()) Fail("a strict read recorded damage");
        WriteCards(*strict, size);
    }
    const std::uint64_t readBefore = bytes.bytesRead();
    auto salvaged = ReadAddressBook(bytes, ReadMode::kSalvage);
    if (!salvaged) Fail("a salvaging read of bytes in memory failed: " + salvaged.reason());
    // The scan reads a word per byte of the file, each record once, and its bounded attempts.
    if (bytes.bytesRead() - readBefore > 64 * static_cast<std::uint64_t>(size) + (2u << 20)) {
        Fail("the salvaging read read the book out of proportion to its size");
    }
    WriteCards(*salvaged, size);
    if (strict) {
        if (!salvaged->damages.empty()) Fail("salvaging found damage the strict read did not");
        if (salvaged->contacts.size() < strict->contacts.size()) {
            Fail("salvaging lost contacts the strict read found");
        }
        for (std::size_t i = 0; i < strict->contacts.size(); ++i) {
            if (salvaged->contacts[i].offset != strict->contacts[i].offset ||
                salvaged->contacts[i].recovered) {
                Fail("salvaging changed a contact the strict read found");
            }
        }
    }
    return 0;
}
