#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "mailstore/mail_source.h"
#include "mailstore/message_store.h"
#include "platform/status.h"

namespace quillet::mailstore {

// One message store taken as mail, and the folder its messages go to.
struct PlannedFolder {
    std::string fileName;           // the store's
    std::uint64_t size = 0;         // its bytes
    std::vector<std::string> path;  // the folder's names from the top, safe and unique
    // The Inbox: the folder Folders.dbx calls so at the top, or a store "Inbox.dbx" it does not
    // name. A source may have more than one; the first is the Inbox.
    bool inbox = false;
};

// How the output names its folders.
struct FolderPlanOptions {
    ReadMode mode = ReadMode::kStrict;
    std::string subfolderSuffix;  // FolderNamer's
    // A name as the output's layout wants it, before it is made safe and unique; null: as it is.
    std::function<std::string(std::string)> wanted;
    // Why the folder's path does not fit the output (empty: it fits), asked of each folder in the
    // plan's order; null: every path fits.
    std::function<std::string(const PlannedFolder&)> misfit;
};

// Which stores of a source hold mail and what their folders are called, shared by every output.
struct FolderPlan {
    std::vector<PlannedFolder> folders;      // parents before their subfolders, then by folder id
    std::vector<std::string> notes;          // damage of Folders.dbx, folders moved to the top
    std::vector<std::string> storesLeftOut;  // files the source tells are no store, or unknown
};

// The mail folders of `source`. Which stores hold mail, and which is the folder list, the kinds
// the source tells decide, else their names (a ".dbx" file but Folders.dbx, and no pop3uidl.dbx
// or Offline.dbx unless Folders.dbx names it as a folder's); a file the source tells is no store,
// or of no known kind, is left out and named. Names come from Folders.dbx (a store it does not
// name goes to the top under its file name without ".dbx"), read in the source's code page, as
// the folder pane showed them: the folders of the "Local Folders" container at the top, each IMAP
// or news account's container a top-level folder named after its account (the source's account
// name, else the container's own); names are made safe and unique among siblings
// but for case (FolderNamer). A folder nested deeper than kFolderDepthLimit, or whose path
// options.misfit refuses, fails a strict plan (kCorrupt); a salvaging plan puts it at the top
// under its store's name, with a note. A Folders.dbx that cannot be read fails a strict plan; a
// salvaging plan names every folder after its store then.
Result<FolderPlan> PlanMailFolders(MailSource& source, const FolderPlanOptions& options);

}  // namespace quillet::mailstore
