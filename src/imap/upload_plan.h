#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mailstore/mail_source.h"
#include "mailstore/message_store.h"
#include "platform/status.h"

namespace quillet::imap {

// One message store to upload and the folder it goes to.
struct UploadFolder {
    std::string fileName;           // the store's
    std::uint64_t size = 0;         // its bytes
    std::vector<std::string> path;  // UTF-8 names from the top, below the upload's own folder
};

// The stores of `source` in the order they are uploaded (parents before their subfolders), with
// their folders named as an export names them: from Folders.dbx (a store it does not name after
// its file, without ".dbx"), made safe (SafeFolderName), unique among siblings but for case. The
// stores that hold no messages (pop3uidl.dbx, Offline.dbx) are left out unless a folder names
// them. A Folders.dbx that cannot be read fails a strict read; a salvaging read names every folder
// after its store then, with a note in `notes`. A folder nested too deep goes to the top.
Result<std::vector<UploadFolder>> PlanUpload(mailstore::MailSource& source,
                                             mailstore::ReadMode mode,
                                             std::vector<std::string>& notes);

}  // namespace quillet::imap
