#include "mailstore/store_health.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "mailstore/chunk_chain.h"
#include "mailstore/dbx_layout.h"
#include "mailstore/folder_list.h"
#include "mailstore/recovery_damage.h"
#include "mailstore/store_damage.h"

namespace quillet::mailstore {
namespace {

constexpr char kNotAStore[] = "not an Outlook Express store";
constexpr char kCheckCancelled[] = "The check of the message stores was cancelled";

// Which kind of store the header's magic and class id make it, or a failure when the bytes are
// no store at all.
Result<DbxHeader::Kind> StoreKind(const StoreBytes& bytes) {
    std::array<std::byte, kDbxMagic.size() + kMessageStoreClassId.size()> start;
    if (Status read = bytes.readAt(0, start); !read) return read;
    if (std::memcmp(start.data(), kDbxMagic.data(), kDbxMagic.size()) != 0) {
        return DamageAt(bytes, 0, kNotAStore);
    }
    const std::byte* classId = start.data() + kDbxMagic.size();
    if (std::memcmp(classId, kMessageStoreClassId.data(), kMessageStoreClassId.size()) == 0) {
        return DbxHeader::Kind::kMessages;
    }
    if (std::memcmp(classId, kFolderListClassId.data(), kFolderListClassId.size()) == 0) {
        return DbxHeader::Kind::kFolderList;
    }
    return DbxHeader::Kind::kOther;
}

void CheckMessageStore(const StoreBytes& bytes, StoreHealth& health) {
    auto store = MessageStore::Open(bytes, ReadMode::kSalvage);
    if (!store) {
        health.damages.push_back(DamageFrom(bytes, store.status()));
        return;
    }
    health.reclaimable = (*store)->header().spaceFreed;
    for (const StoreDamage& damage : (*store)->damages()) {
        if (!IsRecoveryNote(damage)) health.damages.push_back(damage);
    }
    for (const MessageEntry& message : (*store)->messages()) {
        if (message.origin != MessageEntry::Origin::kIndex) continue;
        ++health.messages;
        if (message.firstChunk == 0) continue;
        if (auto size = CheckChunkChain(bytes, message.firstChunk); !size) {
            health.damages.push_back(DamageFrom(bytes, size.status()));
        }
    }
}

}  // namespace

StoreHealth CheckStore(const StoreBytes& bytes) {
    StoreHealth health;
    health.name = bytes.name();
    health.size = bytes.size();
    health.shareOfLimit = static_cast<double>(health.size) / static_cast<double>(kStoreSizeLimit);
    auto kind = StoreKind(bytes);
    if (!kind) {
        health.damages.push_back(DamageFrom(bytes, kind.status()));
        return health;
    }
    health.kind = *kind;
    switch (*kind) {
        case DbxHeader::Kind::kMessages:
            CheckMessageStore(bytes, health);
            break;
        case DbxHeader::Kind::kFolderList:
            if (auto folders = ReadFolderList(bytes, ReadMode::kSalvage, &health.damages);
                !folders) {
                health.damages.push_back(DamageFrom(bytes, folders.status()));
            }
            [[fallthrough]];
        case DbxHeader::Kind::kOther:
            // Stores that hold no messages have no tree of messages to check; their freed space
            // counts all the same.
            if (auto freed = ReadUint32(bytes, kHeaderSpaceFreed); freed) {
                health.reclaimable = *freed;
            } else {
                health.damages.push_back(DamageFrom(bytes, freed.status()));
            }
            break;
    }
    return health;
}

Result<std::vector<StoreHealth>> CheckMail(MailSource& source, MailProgress* progress) {
    const std::vector<MailSource::StoreName> stores = source.stores();
    std::uint64_t total = 0;
    for (const auto& store : stores) total += store.size;
    std::uint64_t done = 0;
    std::vector<StoreHealth> report;
    for (std::size_t position = 0; position < stores.size(); ++position) {
        if (progress && progress->cancelRequested()) {
            return Status::Error(kCheckCancelled, ErrorKind::kCancelled);
        }
        const MailSource::StoreName& store = stores[position];
        if (progress) progress->storeStarted(store.fileName, position, stores.size());
        if (auto bytes = source.openStore(store.fileName); bytes) {
            report.push_back(CheckStore(**bytes));
        } else {
            StoreHealth unreadable;
            unreadable.name = store.fileName;
            unreadable.size = store.size;
            unreadable.shareOfLimit =
                static_cast<double>(store.size) / static_cast<double>(kStoreSizeLimit);
            unreadable.damages.push_back({0, bytes.reason()});
            report.push_back(std::move(unreadable));
        }
        done += store.size;
        if (progress) progress->bytesDone(std::min(done, total), total);
    }
    return report;
}

}  // namespace quillet::mailstore
