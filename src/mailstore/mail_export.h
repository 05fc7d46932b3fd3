#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "mailstore/mail_progress.h"
#include "mailstore/mail_source.h"
#include "mailstore/message_store.h"
#include "platform/status.h"

namespace quillet::mailstore {

enum class ExportFormat {
    kMbox,  // one mboxrd file per folder, laid out as Thunderbird's local folders
            // ("Inbox", "Inbox.sbd/Projects")
    kEml,   // one file per message ("00001.eml", ... in message-index order), one folder per
            // mail folder, nested as the folders are
};

struct ExportOptions {
    std::filesystem::path outFolder;  // created when missing
    ExportFormat format = ExportFormat::kMbox;
    ReadMode mode = ReadMode::kStrict;
    bool force = false;  // replace files and folders already there
};

// What an export did, for the closing summary.
struct ExportSummary {
    std::uint32_t folders = 0;       // mail folders written
    std::uint64_t messages = 0;      // messages written
    std::uint64_t bytes = 0;         // message bytes written (separators and quoting not counted)
    std::uint64_t recovered = 0;     // messages a salvaging read recovered (also in `messages`)
    std::uint64_t skipped = 0;       // messages left out because they are damaged
    std::vector<std::string> notes;  // one line per recovered or skipped message, per damage and
                                     // warning, naming the store
};

// Exports every message store of `source` into options.outFolder. Folder names come from the
// source's Folders.dbx (a store it does not name is exported under its file name without
// ".dbx"), made safe for the file system (no "/", no control characters, never "." or "..";
// names that clash get " (2)", " (3)"...). A file or folder already there is never replaced
// without options.force (the export then fails with kInUse before writing anything). Each folder
// is written under a temporary name beside its target and renamed when complete, so a failed or
// cancelled export leaves no half-written folder or file.
//
// Strict: the first damage fails the export with the reader's reason (kCorrupt), and what was not
// yet complete is removed. Salvage: damaged messages are skipped, recovered ones exported, and
// the summary says which and how. `progress` may be null.
Result<ExportSummary> ExportMail(MailSource& source, const ExportOptions& options,
                                 MailProgress* progress);

}  // namespace quillet::mailstore
