#include "mailstore/mail_folder_plan.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>
#include <string_view>

#include "mailstore/folder_list.h"
#include "mailstore/folder_names.h"
#include "mailstore/store_damage.h"
#include "mailstore/store_health.h"
#include "platform/case_fold.h"

namespace quillet::mailstore {

namespace {

constexpr std::string_view kFolderListFile = "Folders.dbx";
constexpr std::string_view kStoreExtension = ".dbx";
constexpr std::string_view kInboxStore = "Inbox.dbx";
// Stores of the same form that hold no messages (the POP3 server's message list, the offline
// list), unless Folders.dbx names them as a folder's.
constexpr std::array<std::string_view, 2> kOtherStores = {"pop3uidl.dbx", "Offline.dbx"};

bool EndsWithIgnoringCase(std::string_view text, std::string_view end) {
    return text.size() >= end.size() &&
           EqualsIgnoringCase(text.substr(text.size() - end.size()), end);
}

// The folders from the top down to folders[index] (sorted by id), as FolderPath walks them: the
// root is left out, and a missing or looping parent ends the chain. Nullopt for a folder nested
// deeper than kFolderDepthLimit.
std::optional<std::vector<std::size_t>> FolderChain(const std::vector<MailFolder>& folders,
                                                    std::size_t index) {
    std::vector<std::size_t> chain;
    std::set<std::size_t> seen;
    std::optional<std::size_t> current = index;
    while (current && !seen.contains(*current) &&
           folders[*current].parent != MailFolder::kNoParent) {
        if (chain.size() == kFolderDepthLimit) return std::nullopt;
        seen.insert(*current);
        chain.push_back(*current);
        const std::uint32_t parent = folders[*current].parent;
        auto found =
            std::lower_bound(folders.begin(), folders.end(), parent,
                             [](const MailFolder& f, std::uint32_t id) { return f.id < id; });
        current.reset();
        if (found != folders.end() && found->id == parent) {
            current = static_cast<std::size_t>(found - folders.begin());
        }
    }
    std::reverse(chain.begin(), chain.end());
    return chain;
}

// The folder (an index into `folders`) whose messages each store holds. A folder goes to one store
// only: to the store named exactly as it says, else to the first named so but for case (a store
// folder on a case-sensitive file system may hold both); the others go by their file names.
std::vector<std::optional<std::size_t>> FoldersOfStores(
    const std::vector<MailSource::StoreName>& stores, const std::vector<MailFolder>& folders) {
    std::vector<std::optional<std::size_t>> folderOf(stores.size());
    std::vector<bool> claimed(folders.size(), false);
    for (const bool exact : {true, false}) {
        for (std::size_t i = 0; i < stores.size(); ++i) {
            for (std::size_t f = 0; f < folders.size() && !folderOf[i]; ++f) {
                const std::string& storeFile = folders[f].storeFile;
                const bool same = exact ? storeFile == stores[i].fileName
                                        : EqualsIgnoringCase(storeFile, stores[i].fileName);
                if (!claimed[f] && !storeFile.empty() && same) {
                    claimed[f] = true;
                    folderOf[i] = f;
                }
            }
        }
    }
    return folderOf;
}

// Whether a store holds mail: by the kind its header names where the source told it, else by its
// name. A file the source tells is no store, or of no known kind, is left out and named.
bool TakesAsMail(const MailSource::StoreName& store, bool namedAsFolder, FolderPlan& plan) {
    if (!store.notAStore.empty() || store.kind == DbxHeader::Kind::kUnknown) {
        plan.storesLeftOut.push_back(store.fileName);
        plan.notes.push_back((store.notAStore.empty() ? store.fileName + ": " + kUnknownStoreDamage
                                                      : store.notAStore) +
                             " (left out)");
        return false;
    }
    if (store.kind) return *store.kind == DbxHeader::Kind::kMessages;
    if (!EndsWithIgnoringCase(store.fileName, kStoreExtension) ||
        EqualsIgnoringCase(store.fileName, kFolderListFile)) {
        return false;
    }
    const bool other = std::any_of(
        kOtherStores.begin(), kOtherStores.end(),
        [&](std::string_view name) { return EqualsIgnoringCase(store.fileName, name); });
    return namedAsFolder || !other;
}

// The folders of Folders.dbx, sorted by id; none when the source has none (or, salvaging, when
// it cannot be read).
Result<std::vector<MailFolder>> ReadFolders(MailSource& source,
                                            const std::vector<MailSource::StoreName>& stores,
                                            ReadMode mode, FolderPlan& plan) {
    std::vector<MailFolder> folders;
    for (const MailSource::StoreName& store : stores) {
        // Where the source read the headers, a file of that name that is no folder list is not
        // read as one.
        if (!EqualsIgnoringCase(store.fileName, kFolderListFile) || !store.notAStore.empty() ||
            (store.kind && *store.kind != DbxHeader::Kind::kFolderList)) {
            continue;
        }
        auto bytes = source.openStore(store.fileName);
        if (!bytes) return bytes.status();
        std::vector<StoreDamage> damages;
        auto list = ReadFolderList(**bytes, mode, &damages, source.origin().codePage);
        for (const StoreDamage& damage : damages) {
            plan.notes.push_back(DamageNote(store.fileName, damage));
        }
        if (list) {
            folders = std::move(*list);
        } else if (mode == ReadMode::kStrict || !list.status().is(ErrorKind::kCorrupt)) {
            return list.status();
        } else {
            plan.notes.push_back(list.reason() + "; the folders are named after their store files");
        }
    }
    std::sort(folders.begin(), folders.end(),
              [](const MailFolder& a, const MailFolder& b) { return a.id < b.id; });
    return folders;
}

// The containers the folder pane shows below the root: the Local Folders container, whose folders
// go to the top of the export, and one per IMAP or news account, each a top-level folder named
// after its account. A container is a child of the root, with no store file and no special role,
// of a known store kind. There is no Local Folders container where the Inbox and the other special
// folders are children of the root themselves (folder lists written without containers), and a
// second one is an ordinary folder.
struct Containers {
    std::optional<std::size_t> local;                 // index into the folders
    std::map<std::size_t, std::string> accountNames;  // index into the folders, its name
};

Containers FindContainers(const std::vector<MailFolder>& folders, const StoreOrigin& origin) {
    std::set<std::uint32_t> roots;
    for (const MailFolder& folder : folders) {
        if (folder.parent == MailFolder::kNoParent) roots.insert(folder.id);
    }
    const bool specialAtRoot = std::any_of(folders.begin(), folders.end(), [&](const auto& folder) {
        return roots.contains(folder.parent) && folder.special != MailFolder::Special::kNone;
    });
    Containers containers;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        const MailFolder& folder = folders[i];
        if (!roots.contains(folder.parent) || !folder.storeFile.empty() ||
            folder.special != MailFolder::Special::kNone || !folder.storeKind) {
            continue;
        }
        switch (*folder.storeKind) {
            case MailFolder::kLocalKind:
                if (!containers.local && !specialAtRoot) containers.local = i;
                break;
            case MailFolder::kImapKind:
            case MailFolder::kNewsKind:
                containers.accountNames[i] =
                    origin.accountName(folder.accountKey).value_or(folder.name);
                break;
            default:
                break;
        }
    }
    return containers;
}

}  // namespace

Result<FolderPlan> PlanMailFolders(MailSource& source, const FolderPlanOptions& options) {
    FolderPlan plan;
    const std::vector<MailSource::StoreName> stores = source.stores();
    auto read = ReadFolders(source, stores, options.mode, plan);
    if (!read) return read.status();
    const std::vector<MailFolder>& folders = *read;
    const Containers containers = FindContainers(folders, source.origin());

    // Each store with its folder chain; the folders are named parents first, then by id, and the
    // stores Folders.dbx does not name last.
    struct Named {
        const MailSource::StoreName* store;
        std::vector<std::size_t> chain;
        std::uint64_t order;
        std::uint64_t byFileName;  // its key among the folders named after their store files
        bool inbox;
    };
    // Too deep a folder, or too long a path: a strict plan stops, a salvaging one puts the
    // store's messages at the top.
    const bool strict = options.mode == ReadMode::kStrict;
    std::vector<std::string> tooDeep;
    const std::vector<std::optional<std::size_t>> folderOf = FoldersOfStores(stores, folders);
    std::vector<Named> named;
    for (std::size_t i = 0; i < stores.size(); ++i) {
        const MailSource::StoreName& store = stores[i];
        if (!TakesAsMail(store, folderOf[i].has_value(), plan)) continue;
        Named entry{&store, {}, (std::uint64_t{1} << 32) + i, (std::uint64_t{1} << 32) + i, false};
        if (folderOf[i]) {
            auto chain = FolderChain(folders, *folderOf[i]);
            if (!chain) {
                const std::string reason = std::string(kFolderListFile) + ": the folder of " +
                                           store.fileName + " is nested deeper than " +
                                           std::to_string(kFolderDepthLimit) + " levels";
                if (strict) return Status::Error(reason, ErrorKind::kCorrupt);
                tooDeep.push_back(reason);
            } else {
                entry.chain = std::move(*chain);
                if (!entry.chain.empty() && entry.chain.front() == containers.local) {
                    entry.chain.erase(entry.chain.begin());
                }
                if (!entry.chain.empty()) entry.order = folders[*folderOf[i]].id;
            }
        }
        entry.inbox = entry.chain.empty()
                          ? !folderOf[i] && EqualsIgnoringCase(store.fileName, kInboxStore)
                          : entry.chain.size() == 1 &&
                                folders[entry.chain.front()].special == MailFolder::Special::kInbox;
        named.push_back(std::move(entry));
    }
    std::stable_sort(named.begin(), named.end(), [](const Named& a, const Named& b) {
        const std::size_t depthA = std::max<std::size_t>(a.chain.size(), 1);
        const std::size_t depthB = std::max<std::size_t>(b.chain.size(), 1);
        return depthA != depthB ? depthA < depthB : a.order < b.order;
    });

    FolderNamer namer(options.subfolderSuffix);
    auto wanted = [&](std::string name) {
        return options.wanted ? options.wanted(std::move(name)) : name;
    };
    for (const Named& entry : named) {
        PlannedFolder folder{entry.store->fileName, entry.store->size, {}, entry.inbox};
        const std::string& file = entry.store->fileName;
        const std::string byFileName = EndsWithIgnoringCase(file, kStoreExtension)
                                           ? file.substr(0, file.size() - kStoreExtension.size())
                                           : file;
        if (entry.chain.empty()) {
            folder.path.push_back(
                namer.name(FolderNamer::kTopLevel, entry.byFileName, wanted(byFileName)));
        }
        std::uint64_t parent = FolderNamer::kTopLevel;
        for (std::size_t index : entry.chain) {
            auto account = containers.accountNames.find(index);
            const std::string& name =
                account != containers.accountNames.end() ? account->second : folders[index].name;
            folder.path.push_back(namer.name(parent, folders[index].id, wanted(name)));
            parent = folders[index].id;
        }
        if (const std::string reason = options.misfit ? options.misfit(folder) : "";
            !reason.empty()) {
            if (strict) return Status::Error(reason, ErrorKind::kCorrupt);
            tooDeep.push_back(reason);
            folder.path = {
                namer.name(FolderNamer::kTopLevel, entry.byFileName, wanted(byFileName))};
        }
        plan.folders.push_back(std::move(folder));
    }
    for (const std::string& reason : tooDeep) {
        plan.notes.push_back(reason + "; its messages go to the top, named after the store");
    }
    return plan;
}

}  // namespace quillet::mailstore
