#include <chrono>
#include <cstdio>

#include "backup/backup_run.h"
#include "backup/restore_run.h"
#include "cli/commands.h"
#include "cli/identity_run.h"
#include "cli/password_input.h"

namespace quillet::cli {
namespace {

constexpr char kBackupNotWrittenText[] = "the backup was not written";

struct BackupArguments {
    std::string identity;
    std::string out;
    std::string items = "all";
    std::string description;
    std::optional<std::string> passwordFile;
    bool dryRun = false;
};

// A dry run's listing: each entry the backup would hold, by item, then each item that would fail
// and why. Exit status as the backup's would be, though nothing is written.
int PrintPlan(const BackupOutcome& outcome, std::ostream& out, Json* json, std::ostream& err) {
    if (json) *json = {{"dry_run", true}, {"entries", Json::array()}};
    for (const BackupOutcome::PlannedEntry& entry : outcome.planned) {
        out << kItems[entry.item].backupReportName << '\t'
            << (entry.registryText ? "registry keys as text" : entry.file.string()) << '\t'
            << entry.bytes << " bytes\n";
        if (json) {
            (*json)["entries"].push_back(
                {{"item", kItems[entry.item].commandName},
                 {"file", entry.registryText ? Json() : Json(entry.file.string())},
                 {"bytes", entry.bytes}});
        }
    }
    if (json) (*json)["items"] = ItemsJson(outcome.items);
    bool anyFailed = false;
    for (int i = 0; i < kItemCount; ++i) {
        const ItemOutcome& item = outcome.items[i];
        if (!item.ran || item.succeeded) continue;
        err << kItems[i].backupReportName << " would fail: " << item.failure << '\n';
        anyFailed = true;
    }
    return anyFailed ? kExitPartial : kExitOk;
}

// What a written backup holds: its entries, the bytes read into them, the bytes of the file and
// the time taken.
struct BackupSummary {
    std::size_t entries = 0;
    std::uint64_t bytesRead = 0;
    std::uintmax_t bytesWritten = 0;
    double seconds = 0;
};

// Nullopt when the file cannot be read back (the backup stands).
std::optional<BackupSummary> SummaryOf(archive::Archive& archive, const std::filesystem::path& file,
                                       std::chrono::steady_clock::duration took) {
    BackupSummary summary;
    std::error_code error;
    summary.bytesWritten = std::filesystem::file_size(file, error);
    if (error || !archive.LoadArchive(file)) return std::nullopt;
    summary.entries = archive.entries().size();
    for (const archive::ArchiveEntry& entry : archive.entries()) summary.bytesRead += entry.size;
    summary.seconds = std::chrono::duration<double>(took).count();
    archive.ClearArchive();
    return summary;
}

void PrintSummary(const BackupSummary& summary, std::ostream& out) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", summary.seconds);
    out << kBackupSummaryText << summary.entries << " entries, " << summary.bytesRead
        << " bytes read, " << summary.bytesWritten << " bytes written, " << seconds << " s\n";
}

Json SummaryJson(const BackupSummary& summary) {
    return {{"entries", summary.entries},
            {"bytes_read", summary.bytesRead},
            {"bytes_written", summary.bytesWritten},
            {"seconds", summary.seconds}};
}

int RunBackupCommand(const BackupArguments& args, CliContext& context, std::ostream& out,
                     std::ostream& listing, Json* json, std::ostream& err) {
    auto items = ParseSelectedItems(args.items);
    if (!items) return Fail(err, items.reason());
    auto password = ProtectionPassword(args.passwordFile, context);
    if (!password) return Fail(err, password.reason());
    const std::unique_ptr<IdentityRun> run = IdentityRun::Open(context, args.identity, err);
    if (!run) return kExitNothingDone;

    BackupRequest request;
    request.identityKey = run->identity().key;
    request.headerLines =
        InteractiveHeader(run->system().computerName(), run->system().logonUser(),
                          run->identity().userName, BackupTimeText(), args.description);
    request.items = *items;
    request.password = *password;
    request.backupFile = std::filesystem::absolute(args.out);
    request.dryRun = args.dryRun;

    const auto start = std::chrono::steady_clock::now();
    const BackupOutcome outcome = context.withProgress([&](BackupProgress* progress) {
        return RunBackup(run->environment().context(), request, progress);
    });
    if (args.dryRun) return PrintPlan(outcome, listing, json, err);
    // The item whose file could not be read fails on its own line, with the reason.
    ItemOutcomes reported = outcome.items;
    if (outcome.unreadableItem) {
        reported[*outcome.unreadableItem].succeeded = false;
        reported[*outcome.unreadableItem].failure = outcome.writeFailure;
    }
    PrintItemReport(ItemReport(reported, RunDirection::kBackup, outcome.written), out, err);
    if (json) {
        *json = {{"file", request.backupFile.string()},
                 {"written", outcome.written},
                 {"written_to", outcome.written ? Json(outcome.writtenFile.string()) : Json()},
                 {"items", ItemsJson(reported)},
                 {"summary", Json()}};
    }
    if (!outcome.written) {
        return Fail(err, std::string(kBackupNotWrittenText) +
                             (outcome.unreadableItem ? "" : ": " + outcome.writeFailure));
    }
    out << "The Backup was Completed!\n";
    if (const auto summary = SummaryOf(run->environment().archive(), outcome.writtenFile,
                                       std::chrono::steady_clock::now() - start)) {
        PrintSummary(*summary, out);
        if (json) (*json)["summary"] = SummaryJson(*summary);
    }
    if (outcome.keptPrevious) err << outcome.keptPreviousNote() << "\n";
    return ExitStatusOf(outcome);
}

}  // namespace

void AddBackupCommand(CLI::App& app, CommandRun& run) {
    auto args = std::make_shared<BackupArguments>();
    CLI::App* command =
        app.add_subcommand("backup", "Back up the items of one identity into a backup file");
    command->add_option("-i,--identity", args->identity, "The identity: its key or its user name")
        ->required();
    command
        ->add_option("-o,--out", args->out,
                     "The backup file to write (replaced when every item succeeds)")
        ->required();
    command->add_option("--items", args->items,
                        "all (default), eight 0/1 digits in item order, or a comma list of " +
                            ItemCommandNames(","));
    command->add_option("--description", args->description, "A description kept in the backup");
    command->add_option("--password-file", args->passwordFile,
                        "Protect the backup with the password on this file's first line");
    command->add_flag("-n,--dry-run", args->dryRun,
                      "List the files each item would put in the backup; write nothing");
    command->callback([&run, args] {
        // A dry run's listing is what was asked for: -q does not hide it.
        run.exitCode =
            RunBackupCommand(*args, run.context, run.report(), run.listing(), run.json(), run.err);
    });
}

}  // namespace quillet::cli
