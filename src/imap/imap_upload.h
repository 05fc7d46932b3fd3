#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "imap/imap_address.h"
#include "mailstore/mail_export.h"
#include "mailstore/mail_progress.h"
#include "mailstore/mail_source.h"

namespace quillet::imap {

inline constexpr std::string_view kDefaultUploadFolder = "Outlook Express";

struct UploadOptions {
    ImapAddress address;
    std::string password;  // held only for the login
    std::string caFile;    // PEM; empty: the system's trust store
    // The folder the tree goes under; "/" separates its levels (UploadFolderLevels).
    std::string folder = std::string(kDefaultUploadFolder);
    mailstore::ReadMode mode = mailstore::ReadMode::kStrict;
    // Where the locks of uploads from this machine are (made when missing): one file for each
    // account and mailbox, held while a mailbox's messages go, so that a second upload into the
    // same mailbox waits and then finds them there. Empty: no lock is taken.
    std::filesystem::path lockFolder{};
};

// Told of an upload's progress, on the calling thread: as an export, and after every message.
class UploadProgress : public mailstore::MailProgress {
  public:
    // `messages` uploaded (or found already there) so far, `bytes` of them.
    virtual void messagesDone(std::uint64_t messages, std::uint64_t bytes) = 0;
};

// The summary's name for where the upload went: "imaps://USER@HOST:PORT/FOLDER".
std::string UploadTarget(const UploadOptions& options);

// Uploads every message of `source` into the account, the folder tree recreated under
// options.folder (the folders of mailstore::PlanMailFolders, as an export has them, their names
// made unique as the server holds them (ImapLevelName) and sent as ImapMailboxPath spells them),
// each message APPENDed byte
// for byte with its state (\Seen, \Flagged, \Answered, $Forwarded) and its InternalDate.
//
// Resumable and idempotent: before a folder's messages go, the keys of those already in its
// mailbox are fetched (MessageKey), and a message whose key is there is counted there instead of
// uploaded (as many times as the server holds it). So a second upload adds nothing, and one
// stopped at any point (a message whose APPEND did not complete is not kept by the server)
// is completed by the next.
//
// Strict and salvaging reads behave as in ExportMail. An upload that fails before any message
// went up fails with the reason (nothing changed on the server but empty folders); one that fails
// later succeeds with the reason in `stopped` and the folders complete in `complete`. In the
// summary, `messages` and `bytes` count what is in the account now; the messages that were
// already there are named in a note. `progress` may be null.
Result<mailstore::ExportSummary> UploadMail(mailstore::MailSource& source,
                                            const UploadOptions& options, UploadProgress* progress);

}  // namespace quillet::imap
