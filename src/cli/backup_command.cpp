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
};

int RunBackupCommand(const BackupArguments& args, CliContext& context, std::ostream& out,
                     std::ostream& err) {
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

    const BackupOutcome outcome = context.withProgress([&](BackupProgress* progress) {
        return RunBackup(run->environment().context(), request, progress);
    });
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
    command->callback([&run, args] {
        run.exitCode = RunBackupCommand(*args, run.context, run.report(), run.err);
    });
}

}  // namespace quillet::cli
