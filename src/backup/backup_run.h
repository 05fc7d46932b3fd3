#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_observer.h"
#include "backup/backup_item.h"
#include "backup/item_context.h"
#include "backup/item_report.h"

namespace quillet {

// What one backup makes: the items of one identity into one archive file.
struct BackupRequest {
    std::string identityKey;
    // The information file's first lines, before the items' lines (see the two builders below).
    std::vector<std::pair<std::string, std::string>> headerLines;
    ItemMask items{};
    // An empty password writes an unprotected archive.
    std::string password;
    std::filesystem::path backupFile;
    // Gather and list only: every item's handler runs as for a backup, but no file is written
    // (BackupOutcome::planned says what would be).
    bool dryRun = false;
};

// The header of a backup made by the user: where, by whom, of which identity, when, and the
// description (its line breaks written as "PS$QLB").
std::vector<std::pair<std::string, std::string>> InteractiveHeader(
    const std::string& computerName, const std::string& logonUser,
    const std::string& identityUserName, const std::string& timeText,
    const std::string& description);

// The header of a scheduled backup: identity and description both "Auto Backup".
std::vector<std::pair<std::string, std::string>> UnattendedHeader(const std::string& timeText);

// Why a run in which every selected item failed wrote nothing.
inline constexpr char kEveryItemFailedReason[] = "every selected item failed";

// Where a backup in which some item failed goes when a file already exists at the backup file
// path: beside it, "<name>.incomplete<extension>", so that the previous backup stays whole.
std::filesystem::path IncompleteBackupFile(const std::filesystem::path& backupFile);

struct BackupOutcome {
    ItemOutcomes items{};
    std::string itemResult;  // the BackupItem value: eight "0"/"1"
    // Whether a backup file was written; when not, why (the previous file is unchanged).
    bool written = false;
    std::string writeFailure;
    // The file written: the backup file path, or IncompleteBackupFile of it when some item
    // failed and a previous backup was there (which then stays as it was).
    std::filesystem::path writtenFile;
    // Whether the previous backup was kept and this one written beside it.
    bool keptPrevious = false;
    // When nothing was written: the item (0 to 7) that succeeded but one of whose files could not
    // be read when the archive was written (the likely cause), if any.
    std::optional<int> unreadableItem;
    // A dry run's entries, in the order a backup adds them: the item (0 to 7), the file (a
    // registry item's is its key tree as registry text, made in the work folder and gone now),
    // and its bytes.
    struct PlannedEntry {
        int item = 0;
        std::filesystem::path file;
        std::uint64_t bytes = 0;
        bool registryText = false;
    };
    std::vector<PlannedEntry> planned;

    bool allSucceeded() const;
    // The line that says so, for every front end's report; empty when not keptPrevious.
    std::string keptPreviousNote() const;
    // One line per item that ran: CR LF, its report name, TAB, "Successed!" or "Fail!"; when
    // nothing was written, an item that was gathered says kItemNotSavedText instead.
    std::string report() const { return ItemReportText(items, RunDirection::kBackup, written); }
};

// Follows a run: the status text, the progress (0 to 100) and the archive's own events.
class BackupProgress : public archive::ArchiveObserver {
  public:
    virtual void status(const std::string& text) { (void)text; }
    virtual void progress(int value) { (void)value; }
};

// The backup run shared by the window, quillet-cli and the scheduled backup: writes the
// information file, runs the handlers of the selected items in item order, adds the information
// file as the last entry, protects the archive when a password is given, and writes it through a
// temporary file so that the previous backup file stays whole until the new one is complete.
// A run in which every selected item failed writes nothing (kEveryItemFailedReason); one in which
// some failed never replaces an existing file but writes IncompleteBackupFile beside it.
// The work files are made in context.workFolder, which the caller removes afterwards. Without a
// selected item it touches nothing and writes nothing, with kSelectItemMessage as the reason.
BackupOutcome RunBackup(ItemContext& context, const BackupRequest& request,
                        BackupProgress* progress);

// The current local date and time as the information file shows it ("short date long time").
std::string BackupTimeText();

}  // namespace quillet
