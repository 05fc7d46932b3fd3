#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "mailstore/mail_progress.h"
#include "mailstore/mail_source.h"
#include "mailstore/message_store.h"
#include "platform/file_operations.h"
#include "platform/status.h"

namespace quillet::mailstore {

// The end of the reason an export gives when a file or folder it would write is already there.
inline constexpr char kAlreadyExistsText[] = " already exists";

enum class ExportFormat {
    kMbox,     // one mboxrd file per folder, laid out as Thunderbird's local folders
               // ("Inbox", "Inbox.sbd/Projects")
    kEml,      // one file per message ("00001.eml", ... in message-index order), one folder per
               // mail folder, nested as the folders are
    kMaildir,  // Dovecot's Maildir++ layout: the first Inbox is the output folder's own cur/,
               // new/ and tmp/, every other folder ".Name" beside them (".Parent.Child"; the
               // Inbox's subfolders ".INBOX.Child"), each name in IMAP's modified UTF-7 with
               // "." in it written "_"; a message's state is its file name's info (MaildirInfo)
};

struct ExportOptions {
    std::filesystem::path outFolder;  // created when missing
    ExportFormat format = ExportFormat::kMbox;
    ReadMode mode = ReadMode::kStrict;
    bool force = false;  // replace files and folders already there
    // mbox: write each message's bytes as they are, without the header fields of its state
    // (MboxStateFields). The other formats always keep a message's bytes.
    bool keepBytes = false;
    // Plan and check only: nothing is written, and ExportSummary::planned says what would be.
    bool dryRun = false;
};

// Folders nested deeper than this below the root of Folders.dbx, or whose path below the output
// folder would pass kFolderPathLimit bytes, are damage: a salvaging export puts their messages at
// the top, named after their store file.
inline constexpr std::size_t kFolderPathLimit = 3000;

// The list of the folders an export has completed, in the output folder while the export runs and
// after it stopped (IncompleteExportList): written anew with the first folder complete, a line
// added and flushed with each further one, removed when the export completes. A later export
// without `force` keeps the folders it lists (of the same store and size, still holding the
// messages and bytes it says) rather than refusing them as in the way.
inline constexpr std::string_view kIncompleteExportFile = ".quillet-incomplete-export";

// What an export did, for the closing summary.
struct ExportSummary {
    std::uint32_t folders = 0;    // mail folders written
    std::uint64_t messages = 0;   // messages written
    std::uint64_t bytes = 0;      // message bytes written (separators and quoting not counted)
    std::uint64_t recovered = 0;  // messages a salvaging read recovered (also in `messages`)
    std::uint64_t skipped = 0;    // messages left out because they are damaged
    // Messages a salvaging export could not find at all: what the stores count
    // (MessageStore::countedMessages) past those written, skipped or without a body.
    std::uint64_t missing = 0;
    // Damaged messages of which only the start could be read: written (also in `messages`) with
    // a kDamagedMessageField line at the top of their header.
    std::uint64_t cutShort = 0;
    std::vector<std::string> notes;  // one line per recovered or skipped message, per damage and
                                     // warning, naming the store
    // Stores a salvaging export left out whole (their header unusable), and files the source
    // tells are no store or of no known kind (left out by every export), by file name.
    std::vector<std::string> storesLeftOut;
    // Why the export stopped before its end (the first damage of a strict export, a full disk, a
    // cancel), when it had completed folders by then; empty when it ran to its end.
    std::string stopped;
    // The mail folders complete in the output folder, paths below it: those written, and those
    // an earlier stopped export completed and this one kept.
    std::vector<std::filesystem::path> complete;
    // A dry run's folders, in the order an export writes them: each folder's path below the
    // output folder, the store it comes from and the store's bytes.
    struct PlannedFolder {
        std::filesystem::path relative;
        std::string store;
        std::uint64_t bytes = 0;
        bool kept = false;  // an earlier stopped export completed it; it would be kept
    };
    std::vector<PlannedFolder> planned;

    // Whether something was left out or the run stopped before its end (exit status 1).
    bool partial() const {
        return skipped > 0 || missing > 0 || cutShort > 0 || !storesLeftOut.empty() ||
               !stopped.empty();
    }
};

// Exports every message store of `source` into options.outFolder; which of the source's stores
// hold mail, and which is the folder list, the kinds it tells decide, else their names (see
// MailSource::StoreName). Folder names come from the
// source's Folders.dbx (a store it does not name is exported under its file name without
// ".dbx"), made safe for the file system (no "/", no control characters, never "." or "..";
// names that clash get " (2)", " (3)"...). A file or folder already there is never replaced
// without options.force (the export then fails with kInUse before writing anything), except a
// folder kIncompleteExportFile lists; with it, a Maildir's folders are added to, never replaced
// (see MakeMaildirOutput). Before it writes, the export removes what dead runs left in the
// folders it writes into (side folders, temporaries), listing each folder once. A symbolic link
// inside the output folder on the way to a folder, or where one goes, fails the export with kInUse
// and its path, with or without force (see ExportFolders). Each folder is written under a temporary
// name beside its target and renamed when complete, so a failed or cancelled export leaves no
// half-written folder or file.
//
// Strict: the first damage stops the export with the reader's reason (kCorrupt), and what was not
// yet complete is removed. Salvage: recovered messages are exported and the summary says which and
// how; of a damaged message the bytes before the damage are kept (cut short, with a
// kDamagedMessageField line at the top), and one damaged in its first chunk is skipped; recovered
// pieces that have no header of their own go to a folder of their own at the top
// (kRecoveredFragmentsFolder, numbered when the name is taken); what the stores count but could
// not be found is counted as missing; a store whose header is unusable is left out and named.
// Notes number a store's messages from 1 in the store's order, as the files are numbered.
// An export that stops (damage, a full disk, a cancel) fails when no folder was complete by then;
// otherwise it succeeds with the reason in `stopped`, the folders in `complete`, and
// kIncompleteExportFile written. `progress` may be null. Every file-system call but the walk
// through the output folder's own folders (ExportFolders) and the flush of a whole file system
// goes through `files`.
Result<ExportSummary> ExportMail(MailSource& source, const ExportOptions& options,
                                 MailProgress* progress,
                                 FileOperations& files = RealFileOperations());

}  // namespace quillet::mailstore
