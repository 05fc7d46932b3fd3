#include "imap/upload_plan.h"

#include <algorithm>
#include <array>
#include <set>
#include <string_view>

#include "mailstore/folder_list.h"
#include "mailstore/folder_names.h"
#include "platform/case_fold.h"

namespace quillet::imap {

namespace {

using mailstore::FolderNamer;
using mailstore::MailFolder;

constexpr std::string_view kFolderListFile = "Folders.dbx";
constexpr std::string_view kStoreExtension = ".dbx";
constexpr std::array<std::string_view, 2> kOtherStores = {"pop3uidl.dbx", "Offline.dbx"};

bool IsStore(const std::string& fileName) {
    return fileName.size() > kStoreExtension.size() &&
           EqualsIgnoringCase(fileName.substr(fileName.size() - kStoreExtension.size()),
                              kStoreExtension);
}

// The folders from the top down to `folder` (the root left out); empty when the chain passes
// kFolderDepthLimit. A missing or looping parent ends the chain.
std::vector<const MailFolder*> Chain(const std::vector<MailFolder>& folders,
                                     const MailFolder& folder) {
    std::vector<const MailFolder*> chain;
    std::set<std::uint32_t> seen;
    for (const MailFolder* at = &folder;
         at != nullptr && at->parent != MailFolder::kNoParent && seen.insert(at->id).second;) {
        if (chain.size() == mailstore::kFolderDepthLimit) return {};
        chain.push_back(at);
        const std::uint32_t parent = at->parent;
        auto found = std::find_if(folders.begin(), folders.end(),
                                  [&](const MailFolder& f) { return f.id == parent; });
        at = found == folders.end() ? nullptr : &*found;
    }
    std::reverse(chain.begin(), chain.end());
    return chain;
}

}  // namespace

Result<std::vector<UploadFolder>> PlanUpload(mailstore::MailSource& source,
                                             mailstore::ReadMode mode,
                                             std::vector<std::string>& notes) {
    const std::vector<mailstore::MailSource::StoreName> stores = source.stores();
    std::vector<MailFolder> folders;
    for (const auto& store : stores) {
        if (!EqualsIgnoringCase(store.fileName, kFolderListFile)) continue;
        auto bytes = source.openStore(store.fileName);
        if (!bytes) return bytes.status();
        std::vector<mailstore::StoreDamage> damages;
        auto list = mailstore::ReadFolderList(**bytes, mode, &damages);
        if (list) {
            folders = std::move(*list);
        } else if (mode == mailstore::ReadMode::kStrict || !list.status().is(ErrorKind::kCorrupt)) {
            return list.status();
        } else {
            notes.push_back(list.reason() + "; the folders are named after their store files");
        }
    }
    struct Entry {
        UploadFolder folder;
        std::vector<const MailFolder*> chain;
        std::uint64_t key;  // the namer's key for a folder named after its store
    };
    std::vector<Entry> entries;
    std::vector<bool> claimed(folders.size(), false);
    for (std::size_t i = 0; i < stores.size(); ++i) {
        const auto& store = stores[i];
        if (!IsStore(store.fileName) || EqualsIgnoringCase(store.fileName, kFolderListFile)) {
            continue;
        }
        // A folder goes to the store named as it says, else to the first named so but for case.
        const MailFolder* folder = nullptr;
        for (const bool exact : {true, false}) {
            for (std::size_t f = 0; f < folders.size() && folder == nullptr; ++f) {
                const std::string& file = folders[f].storeFile;
                if (!claimed[f] && !file.empty() &&
                    (exact ? file == store.fileName : EqualsIgnoringCase(file, store.fileName))) {
                    claimed[f] = true;
                    folder = &folders[f];
                }
            }
        }
        const bool other =
            std::any_of(kOtherStores.begin(), kOtherStores.end(),
                        [&](std::string_view n) { return EqualsIgnoringCase(store.fileName, n); });
        if (folder == nullptr && other) continue;
        Entry entry{{store.fileName, store.size, {}}, {}, (std::uint64_t{1} << 32) + i};
        if (folder != nullptr) {
            entry.chain = Chain(folders, *folder);
            if (entry.chain.empty() && folder->parent != MailFolder::kNoParent) {
                notes.push_back(store.fileName + ": its folder is nested deeper than " +
                                std::to_string(mailstore::kFolderDepthLimit) +
                                " levels; its messages go to the top, named after the store");
            }
        }
        entries.push_back(std::move(entry));
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return std::max<std::size_t>(a.chain.size(), 1) < std::max<std::size_t>(b.chain.size(), 1);
    });
    FolderNamer namer;
    std::vector<UploadFolder> plans;
    for (Entry& entry : entries) {
        const std::string& file = entry.folder.fileName;
        if (entry.chain.empty()) {
            entry.folder.path.push_back(
                namer.name(FolderNamer::kTopLevel, entry.key,
                           file.substr(0, file.size() - kStoreExtension.size())));
        }
        std::uint64_t parent = FolderNamer::kTopLevel;
        for (const MailFolder* folder : entry.chain) {
            entry.folder.path.push_back(namer.name(parent, folder->id, folder->name));
            parent = folder->id;
        }
        plans.push_back(std::move(entry.folder));
    }
    return plans;
}

}  // namespace quillet::imap
