#include "mailstore/store_health.h"

#include <algorithm>
#include <map>

#include "mailstore/chunk_chain.h"
#include "mailstore/dbx_header.h"
#include "mailstore/dbx_layout.h"
#include "mailstore/folder_list.h"
#include "mailstore/mail_folder_plan.h"
#include "mailstore/store_damage.h"
#include "mailstore/store_scan_internal.h"

namespace quillet::mailstore {
namespace {

constexpr char kCheckCancelled[] = "The check of the message stores was cancelled";

void CheckMessageStore(const StoreBytes& bytes, StoreHealth& health) {
    auto store = MessageStore::Open(bytes, ReadMode::kSalvage);
    if (!store) {
        health.damages.push_back(DamageFrom(bytes, store.status()));
        return;
    }
    // Checking a chain records its damage with the store's own (a salvaging read).
    for (const MessageEntry& message : (*store)->messages()) {
        if (message.origin != MessageEntry::Origin::kIndex) continue;
        ++health.messages;
        (void)(*store)->checkMessage(message);
    }
    for (const StoreDamage& damage : (*store)->damages()) {
        if (!IsRecoveryNote(damage)) health.damages.push_back(damage);
    }
}

}  // namespace

StoreHealth CheckStore(const StoreBytes& bytes) {
    StoreHealth health;
    health.name = bytes.name();
    health.size = bytes.size();
    health.shareOfLimit = static_cast<double>(health.size) / static_cast<double>(kStoreSizeLimit);
    auto header = ReadDbxHeader(bytes);
    if (!header) {
        health.damages.push_back(DamageFrom(bytes, header.status()));
        return health;
    }
    health.kind = header->kind;
    health.reclaimable = header->spaceFreed;
    if (header->kind == DbxHeader::Kind::kUnknown) {
        health.damages.push_back({kClassIdOffset, kUnknownStoreDamage});
    }
    switch (header->kind) {
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
        case DbxHeader::Kind::kUnknown:
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
    // The plan's failure (a folder list that cannot be read at all) is the folder list's own
    // damage, reported with it; the stores are then named by file only.
    std::map<std::string, std::string> folderOf;
    FolderPlanOptions salvaging;
    salvaging.mode = ReadMode::kSalvage;
    if (auto plan = PlanMailFolders(source, salvaging); plan) {
        for (const PlannedFolder& folder : plan->folders) {
            std::string path;
            for (const std::string& name : folder.path) path += (path.empty() ? "" : "/") + name;
            folderOf[folder.fileName] = std::move(path);
        }
    }
    for (std::size_t position = 0; position < stores.size(); ++position) {
        if (progress && progress->cancelRequested()) {
            return Status::Error(kCheckCancelled, ErrorKind::kCancelled);
        }
        const MailSource::StoreName& store = stores[position];
        if (progress) progress->storeStarted(store.fileName, position, stores.size());
        auto bytes = store.notAStore.empty()
                         ? source.openStore(store.fileName)
                         : Result<std::unique_ptr<StoreBytes>>(Status::Error(store.notAStore));
        if (bytes) {
            report.push_back(CheckStore(**bytes));
        } else {
            StoreHealth unreadable;
            unreadable.name = store.fileName;
            unreadable.size = store.size;
            unreadable.shareOfLimit =
                static_cast<double>(store.size) / static_cast<double>(kStoreSizeLimit);
            unreadable.damages.push_back({.offset = 0, .what = bytes.reason(), .wholeFile = true});
            report.push_back(std::move(unreadable));
        }
        if (auto folder = folderOf.find(store.fileName); folder != folderOf.end()) {
            report.back().folder = folder->second;
        }
        done += store.size;
        if (progress) progress->bytesDone(std::min(done, total), total);
    }
    return report;
}

}  // namespace quillet::mailstore
