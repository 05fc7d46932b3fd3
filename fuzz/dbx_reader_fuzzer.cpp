// Reads any bytes as an Outlook Express store held in memory: opened strictly and salvaging, every
// message read into a sink that only counts, read as a folder list, and checked for health. A
// message that fails to read must have handed over nothing, and a store the strict read finds
// sound must be sound to the salvaging read and to the health check too.
#include <cstring>

#include "fuzz_support.h"
#include "mailstore/folder_list.h"
#include "mailstore/message_store.h"
#include "mailstore/store_health.h"

namespace {

using quillet::Status;
using quillet::fuzz::Fail;
using namespace quillet::mailstore;

class MemoryStoreBytes : public StoreBytes {
  public:
    MemoryStoreBytes(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    const std::string& name() const override { return m_name; }
    std::uint64_t size() const override { return m_size; }
    Status readAt(std::uint64_t offset, std::span<std::byte> out) const override {
        if (offset > m_size || out.size() > m_size - offset) {
            return DamageAt(*this, offset, "an object that passes the end of the file");
        }
        if (!out.empty()) std::memcpy(out.data(), m_data + offset, out.size());
        return Status::Ok();
    }

  private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::string m_name = "fuzz.dbx";
};

// Reads every message; true when each was read whole.
bool ReadEveryMessage(MessageStore& store) {
    bool allRead = true;
    for (const MessageEntry& message : store.messages()) {
        std::uint64_t handed = 0;
        const Status read = store.readMessage(message, [&](std::span<const std::byte> bytes) {
            handed += bytes.size();
            return Status::Ok();
        });
        if (!read && handed != 0) Fail("a message that failed to read handed over bytes");
        allRead = allRead && read.ok();
    }
    return allRead;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const MemoryStoreBytes bytes(data, size);

    auto strict = MessageStore::Open(bytes, ReadMode::kStrict);
    bool strictSound = false;
    if (strict) {
        if (!(*strict)->damages().empty()) Fail("a strict read recorded damage");
        strictSound = ReadEveryMessage(**strict);
    }

    auto salvaged = MessageStore::Open(bytes, ReadMode::kSalvage);
    if (strict && !salvaged) Fail("a store that opens strictly does not open salvaging");
    if (salvaged) {
        if (strict) {
            const auto& indexed = (*strict)->messages();
            const auto& all = (*salvaged)->messages();
            if (all.size() < indexed.size()) Fail("salvaging lost messages the strict read found");
            for (std::size_t i = 0; i < indexed.size(); ++i) {
                if (all[i].index != indexed[i].index ||
                    all[i].firstChunk != indexed[i].firstChunk) {
                    Fail("salvaging changed a message the strict read found");
                }
            }
        }
        (void)ReadEveryMessage(**salvaged);
    }

    std::vector<StoreDamage> folderDamage;
    if (auto folders = ReadFolderList(bytes, ReadMode::kSalvage, &folderDamage); folders) {
        for (const MailFolder& folder : *folders) (void)FolderPath(*folders, folder.id);
    }
    (void)ReadFolderList(bytes, ReadMode::kStrict, nullptr);

    const StoreHealth health = CheckStore(bytes);
    if (strictSound && health.damaged()) {
        Fail("the health check finds damage in a store the strict read found sound: " +
             health.damages.front().what);
    }
    return 0;
}
