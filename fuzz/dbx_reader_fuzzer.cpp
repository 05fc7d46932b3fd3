// Reads any bytes as an Outlook Express store held in memory: opened strictly and salvaging, every
// message read into a sink that only counts, read as a folder list, and checked for health. A
// message that fails to read must have handed over nothing, and a store the strict read finds
// sound must be sound to the salvaging read and to the health check too. Reading every message
// costs in proportion to the store: the bytes handed over never pass the store's size, and the
// reads of the store stay within two per chunk the store can hold and two per message. Every
// message read is also written as an mbox export writes it, with its state fields in its header:
// that costs in proportion to it too (its bytes, one quoting byte a line, a From line naming a
// sender of its header, and the fields).
#include <cstring>

#include "fuzz_support.h"
#include "mailstore/dbx_layout.h"
#include "mailstore/folder_list.h"
#include "mailstore/mbox_writer.h"
#include "mailstore/message_state.h"
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
        ++m_reads;
        return Status::Ok();
    }

    std::uint64_t reads() const { return m_reads; }

  private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::string m_name = "fuzz.dbx";
    mutable std::uint64_t m_reads = 0;
};

// Reads every message; true when each was read whole.
bool ReadEveryMessage(MessageStore& store, const MemoryStoreBytes& bytes) {
    bool allRead = true;
    std::uint64_t handedInAll = 0;
    const std::uint64_t readsBefore = bytes.reads();
    std::uint64_t written = 0;
    MboxWriter mbox([&](std::string_view text) {
        written += text.size();
        return Status::Ok();
    });
    for (const MessageEntry& message : store.messages()) {
        std::uint64_t handed = 0;
        const auto fields = MboxStateFields(MessageState::Of(message));
        mbox.setFields({fields.begin(), fields.end()});
        const std::uint64_t writtenBefore = written;
        const Status read = store.readMessage(message, [&](std::span<const std::byte> piece) {
            handed += piece.size();
            return mbox.write(piece);
        });
        if (!mbox.finishMessage() || !mbox.flush()) Fail("the mbox writer failed");
        if (written - writtenBefore > 3 * handed + 1024) {
            Fail("the mbox form of a message is out of proportion to its bytes");
        }
        if (!read && handed != 0) Fail("a message that failed to read handed over bytes");
        allRead = allRead && read.ok();
        handedInAll += handed;
    }
    if (handedInAll > bytes.size()) Fail("the messages read hold more bytes than the store");
    const std::uint64_t mostReads =
        2 * (bytes.size() / kChunkSize + 1) + 2 * store.messages().size() + 2;
    if (bytes.reads() - readsBefore > mostReads) {
        Fail("reading the messages read the store more often than it has chunks");
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
        strictSound = ReadEveryMessage(**strict, bytes);
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
        (void)ReadEveryMessage(**salvaged, bytes);
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
