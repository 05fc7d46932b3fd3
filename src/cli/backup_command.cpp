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
int PrintPlan(const BackupOutcome& outcome, std::ostream& out, std::ostream& err) {
    for (const BackupOutcome::PlannedEntry& entry : outcome.planned) {
        out << kItems[entry.item].backupReportName << '\t'
            << (entry.registryText ? "registry keys as text" : entry.file.string()) << '\t'
            << entry.bytes << " bytes\n";
    }
    bool anyFailed = false;
    for (int i = 0; i < kItemCount; ++i) {
        const ItemOutcome& item = outcome.items[i];
        if (!item.ran || item.succeeded) continue;
        err << kItems[i].backupReportName << " would fail: " << item.failure << '\n';
        anyFailed = true;
    }
    return anyFailed ? kExitPartial : kExitOk;
}

// The line after a written backup: its entries, the bytes read into them, the bytes of the file
// and the time taken. Left out when the file cannot be read back (the backup stands).
void PrintSummary(archive::Archive& archive, const std::filesystem::path& file,
                  std::chrono::steady_clock::duration took, std::ostream& out) {
    std::error_code error;
    const std::uintmax_t written = std::filesystem::file_size(file, error);
    if (error || !archive.LoadArchive(file)) return;
    std::uint64_t read = 0;
    for (const archive::ArchiveEntry& entry : archive.entries()) read += entry.size;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", std::chrono::duration<double>(took).count());
    out << kBackupSummaryText << archive.entries().size() << " entries, " << read << " bytes read, "
        << written << " bytes written, " << seconds << " s\n";
    archive.ClearArchive();
}

int RunBackupCommand(const BackupArguments& args, CliContext& context, std::ostream& out,
                     std::ostream& listing, std::ostream& err) {
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
    if (args.dryRun) return PrintPlan(outcome, listing, err);
    std::vector<ItemReportLine> report =
        ItemReport(outcome.items, RunDirection::kBackup, outcome.written);
    // The item whose file could not be read fails on its own line, with the reason.
    for (ItemReportLine& line : report) {
        if (outcome.unreadableItem &&
            line.name == kItems[*outcome.unreadableItem].backupReportName) {
            line.succeeded = false;
            line.failure = outcome.writeFailure;
        }
    }
    PrintItemReport(report, out, err);
    if (!outcome.written) {
        return Fail(err, std::string(kBackupNotWrittenText) +
                             (outcome.unreadableItem ? "" : ": " + outcome.writeFailure));
    }
    out << "The Backup was Completed!\n";
    PrintSummary(run->environment().archive(), outcome.writtenFile,
                 std::chrono::steady_clock::now() - start, out);
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
        run.exitCode = RunBackupCommand(*args, run.context, run.report(), run.out, run.err);
    });
}

}  // namespace quillet::cli
