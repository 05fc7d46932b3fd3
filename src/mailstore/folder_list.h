#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mailstore/message_store.h"
#include "mailstore/store_bytes.h"
#include "platform/ansi_code_page.h"
#include "platform/status.h"

namespace quillet::mailstore {

// One folder that Folders.dbx lists.
struct MailFolder {
    enum class Special { kNone = 0, kInbox = 1, kOutbox = 2, kSent = 3, kDeleted = 4, kDrafts = 5 };
    std::uint32_t id = 0;
    std::uint32_t parent = kNoParent;  // the parent's id; kNoParent for the root
    std::string name;       // UTF-8 (stored in the Windows code page; UTF-8 kept when valid)
    std::string storeFile;  // the ".dbx" file name; empty for a folder without messages
    Special special = Special::kNone;
    // Which kind of store the folder belongs to, as it says (unset when it does not say): the
    // root's children of a known kind with no store file are the containers the folder pane
    // shows, "Local Folders" and one per IMAP or news account.
    std::optional<std::uint32_t> storeKind{};
    std::string accountKey{};  // the registry key of its account; "LocalStore" for local folders

    static constexpr std::uint32_t kNewsKind = 0;
    static constexpr std::uint32_t kImapKind = 1;
    static constexpr std::uint32_t kLocalKind = 3;

    static constexpr std::uint32_t kNoParent = 0xFFFFFFFF;
};

// The folder tree of Folders.dbx, in ascending folder id: the root ("Outlook Express", id 0) and
// every folder below it. Walks the tree as MessageStore::Open does, with the same checks and the
// same strict and salvaging behaviour (`damages` receives what a salvaging read found; it may be
// null for a strict read). Names are read in `codePage`. Fails with kCorrupt for a store that is
// not a folder list.
Result<std::vector<MailFolder>> ReadFolderList(const StoreBytes& bytes, ReadMode mode,
                                               std::vector<StoreDamage>* damages,
                                               const AnsiCodePage& codePage = {});

// The deepest a folder may be nested below the root: Outlook Express offers no more than a few
// levels, and a deeper chain (a hostile folder list) would cost memory and time out of proportion.
inline constexpr std::size_t kFolderDepthLimit = 64;

// The folder's path below the root as names from the top ("Inbox", "Projects"): the root and
// folders whose parents loop or are missing end the path where the chain breaks. A folder nested
// deeper than kFolderDepthLimit has no path (empty).
std::vector<std::string> FolderPath(const std::vector<MailFolder>& folders, std::uint32_t id);

}  // namespace quillet::mailstore
