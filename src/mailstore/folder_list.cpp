#include "mailstore/folder_list.h"

#include <algorithm>
#include <set>

#include "mailstore/dbx_header.h"
#include "mailstore/dbx_layout.h"
#include "mailstore/index_tree.h"
#include "mailstore/indexed_info.h"

namespace quillet::mailstore {
namespace {

constexpr std::uint32_t kRootFolderId = 0;
constexpr std::uint32_t kLastSpecial = static_cast<std::uint32_t>(MailFolder::Special::kDrafts);

MailFolder FolderOf(const IndexedInfo& info, const AnsiCodePage& codePage) {
    MailFolder folder;
    folder.id = info.integer(kFolderFieldId);
    folder.parent = info.integer(kFolderFieldParent);
    folder.name = codePage.decode(info.text(kFolderFieldName));
    folder.storeFile = codePage.decode(info.text(kFolderFieldStoreFile));
    folder.accountKey = codePage.decode(info.text(kFolderFieldAccountKey));
    if (info.has(kFolderFieldStoreKind)) folder.storeKind = info.integer(kFolderFieldStoreKind);
    std::uint32_t special = info.integer(kFolderFieldSpecial);
    if (special <= kLastSpecial) folder.special = static_cast<MailFolder::Special>(special);
    return folder;
}

const MailFolder* FindFolder(const std::vector<MailFolder>& folders, std::uint32_t id) {
    auto found = std::lower_bound(
        folders.begin(), folders.end(), id,
        [](const MailFolder& folder, std::uint32_t wanted) { return folder.id < wanted; });
    return found != folders.end() && found->id == id ? &*found : nullptr;
}

}  // namespace

Result<std::vector<MailFolder>> ReadFolderList(const StoreBytes& bytes, ReadMode mode,
                                               std::vector<StoreDamage>* damages,
                                               const AnsiCodePage& codePage) {
    Result<DbxHeader> header = ReadDbxHeader(bytes);
    if (!header) return header.status();
    if (header->kind != DbxHeader::Kind::kFolderList) {
        return DamageAt(bytes, 0, "not a folder list");
    }
    std::vector<StoreDamage> ownDamages;
    std::vector<StoreDamage>& found = damages != nullptr ? *damages : ownDamages;
    std::vector<MailFolder> folders;
    Status walked = WalkIndexTree(bytes, header->treeRoot, header->treeEntries, mode, found,
                                  [&](std::uint32_t value) -> Status {
                                      Result<IndexedInfo> info = IndexedInfo::Read(bytes, value);
                                      if (!info) return info.status();
                                      folders.push_back(FolderOf(*info, codePage));
                                      return Status::Ok();
                                  });
    if (!walked) return walked;
    std::stable_sort(folders.begin(), folders.end(),
                     [](const MailFolder& a, const MailFolder& b) { return a.id < b.id; });
    return folders;
}

std::vector<std::string> FolderPath(const std::vector<MailFolder>& folders, std::uint32_t id) {
    std::vector<std::string> path;
    std::set<std::uint32_t> seen;
    for (const MailFolder* folder = FindFolder(folders, id);
         folder != nullptr && folder->id != kRootFolderId &&
         folder->parent != MailFolder::kNoParent && seen.insert(folder->id).second;
         folder = FindFolder(folders, folder->parent)) {
        if (path.size() == kFolderDepthLimit) return {};
        path.push_back(folder->name);
    }
    std::reverse(path.begin(), path.end());
    return path;
}

}  // namespace quillet::mailstore
