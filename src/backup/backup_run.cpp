#include "backup/backup_run.h"

#include <algorithm>
#include <ctime>
#include <system_error>

#include "backup/backup_handlers.h"
#include "backup/information_file.h"
#include "system/system_code_page.h"

namespace quillet {
namespace {

constexpr int kProgressBeforeItems = 10;
constexpr int kProgressMaximum = 100;

}  // namespace

std::vector<std::pair<std::string, std::string>> InteractiveHeader(
    const std::string& computerName, const std::string& logonUser,
    const std::string& identityUserName, const std::string& timeText,
    const std::string& description) {
    return {{"BackupComputer", computerName},
            {"BackupLogonUser", logonUser},
            {"BackupIdentity", identityUserName},
            {"BackupTime", timeText},
            {"BackupInformation", EncodeDescription(description)}};
}

std::vector<std::pair<std::string, std::string>> UnattendedHeader(const std::string& timeText) {
    return {{"BackupIdentity", "Auto Backup"},
            {"BackupTime", timeText},
            {"BackupInformation", "Auto Backup"}};
}

std::filesystem::path IncompleteBackupFile(const std::filesystem::path& backupFile) {
    std::filesystem::path incomplete = backupFile;
    incomplete.replace_filename(backupFile.stem().string() + ".incomplete" +
                                backupFile.extension().string());
    return incomplete;
}

std::string BackupOutcome::keptPreviousNote() const {
    if (!written || !keptPrevious) return std::string();
    return "The previous backup file was kept; this incomplete backup was written to " +
           writtenFile.string();
}

bool BackupOutcome::allSucceeded() const {
    if (!written) return false;
    for (const ItemOutcome& item : items) {
        if (item.ran && !item.succeeded) return false;
    }
    return true;
}

BackupOutcome RunBackup(ItemContext& context, const BackupRequest& request,
                        BackupProgress* progress) {
    BackupOutcome outcome;
    if (Status selected = CheckItemSelected(request.items); !selected) {
        outcome.writeFailure = selected.reason();
        return outcome;
    }
    archive::Archive& archive = context.archive;
    // Another Quillet run may be writing the prefix; wait for it. A lock that cannot be taken
    // at all does not stop a backup, which only reads.
    Result<PrefixLock::Guard> held = HoldPrefixForRun(context);
    std::error_code ignored;
    std::filesystem::remove(context.informationFile, ignored);

    // A failing information-file line does not stop the run: the item lines and the archive are
    // still written, and the missing header only shows as empty origin fields.
    for (const auto& [key, value] : request.headerLines) {
        (void)SaveINI(key, value, context.informationFile);
    }

    int progressValue = kProgressBeforeItems;
    if (progress != nullptr) progress->progress(progressValue);
    archive.ClearArchive();
    archive.setObserver(progress);
    Status created = archive.CreateArchive(request.backupFile);

    BackupHandlers handlers(context);
    for (int i = 0; i < kItemCount; ++i) {
        if (request.items[i]) {
            if (progress != nullptr) progress->status(std::string(kItems[i].backupStatus));
            ItemOutcome& item = outcome.items[i];
            item.ran = true;
            const Status handled = created ? handlers.run(i, request.identityKey) : created;
            item.succeeded = handled.ok();
            item.failure = handled.reason();
        }
        outcome.itemResult += outcome.items[i].succeeded ? '1' : '0';
        progressValue += kItems[i].backupProgress;
        if (progress != nullptr) progress->progress(progressValue);
    }

    if (request.dryRun) {
        for (const auto& [item, file] : handlers.addedFiles()) {
            std::error_code error;
            const std::uintmax_t bytes = std::filesystem::file_size(file, error);
            const auto& exported = handlers.exportFiles();
            outcome.planned.push_back(
                {item, file, error ? 0 : static_cast<std::uint64_t>(bytes),
                 std::find(exported.begin(), exported.end(), file) != exported.end()});
        }
    }
    Status finished = request.dryRun ? Status::Error("a dry run writes nothing") : created;
    bool anySucceeded = false;
    bool anyFailed = false;
    for (const ItemOutcome& item : outcome.items) {
        anySucceeded = anySucceeded || item.succeeded;
        anyFailed = anyFailed || (item.ran && !item.succeeded);
    }
    if (finished && !anySucceeded) finished = Status::Error(kEveryItemFailedReason);
    outcome.writtenFile = request.backupFile;
    if (finished && anyFailed && std::filesystem::exists(request.backupFile, ignored)) {
        outcome.writtenFile = IncompleteBackupFile(request.backupFile);
        outcome.keptPrevious = true;
        finished = archive.RetargetArchive(outcome.writtenFile);
    }
    // This program's own line, before the item line that ends every information file; like the
    // header lines, it does not stop the run when it cannot be written.
    if (finished) {
        (void)SaveINI(kCodePageKey,
                      std::to_string(system::SystemCodePage(context.system.modReg()).number()),
                      context.informationFile);
    }
    if (finished) finished = SaveINI("BackupItem", outcome.itemResult, context.informationFile);
    if (finished) {
        auto added = archive.AddFileEntry(context.informationFile);
        if (!added) finished = added.status();
    }
    if (finished) {
        archive.WritePassword(request.password);
        archive.EncryptOnWrite(!request.password.empty());
        finished = archive.SaveArchive();
    }
    outcome.written = finished.ok();
    outcome.writeFailure = finished.reason();
    if (!outcome.written && !request.dryRun) {
        outcome.unreadableItem = handlers.firstUnreadableItem();
    }

    archive.ClearArchive();
    archive.setObserver(nullptr);
    std::filesystem::remove(context.informationFile, ignored);
    for (const auto& file : handlers.exportFiles()) std::filesystem::remove(file, ignored);
    if (progress != nullptr) {
        progress->progress(kProgressMaximum);
        progress->status("Operation complete!");
    }
    return outcome;
}

std::string BackupTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    // The general date-and-time form: the short date, then the long time.
    if (std::strftime(text, sizeof text, "%x %X", &local) == 0) return std::string();
    return text;
}

}  // namespace quillet
