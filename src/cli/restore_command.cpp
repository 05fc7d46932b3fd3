#include "backup/opened_backup.h"
#include "backup/restore_handlers.h"
#include "backup/restore_run.h"
#include "backup/run_environment.h"
#include "cli/commands.h"
#include "cli/identity_run.h"
#include "cli/password_input.h"

namespace quillet::cli {
namespace {

constexpr char kNoItemAskedForMessage[] = "the backup holds none of the items asked for";

struct RestoreArguments {
    std::string file;
    std::string identity;
    std::string items = "all";
    std::optional<std::string> passwordFile;
    bool dryRun = false;
};

// What a dry run would do to one item, as JSON.
Json TargetJson(int item, const RestoreTarget& target) {
    Json planned = {{"item", kItems[item].commandName}};
    if (!target.ok) {
        planned["failure"] = target.failure;
        return planned;
    }
    if (!target.registryKey.empty()) {
        planned["replace_key"] = {{"key", target.registryKey}, {"with", target.registryEntry}};
    }
    if (!target.folderToCreate.empty()) planned["create_folder"] = target.folderToCreate.string();
    planned["replace_files"] = Json::array();
    for (const auto& [entry, destination] : target.files) {
        planned["replace_files"].push_back({{"file", destination.string()}, {"with", entry}});
    }
    return planned;
}

// Lists what a restore would replace, changing nothing; refuses what the restore would refuse.
int DryRun(RunEnvironment& run, OpenedBackup& backup, const RestoreRequest& request,
           std::ostream& out, Json* json, std::ostream& err) {
    if (Status selected = CheckItemSelected(request.ticked); !selected) {
        return Fail(err, selected.reason());
    }
    if (Status idle = run.context().system.checkIdle(); !idle) return Fail(err, idle.reason());
    RestoreHandlers handlers(run.context(), backup);
    bool anyFailure = false;
    bool anyPlanned = false;
    for (int i = 0; i < kItemCount; ++i) {
        if (!request.ticked[i] || !backup.holds(i)) continue;
        anyPlanned = true;
        const RestoreTarget target = handlers.plan(i, request.identityKey);
        if (json) {
            if (json->is_null()) *json = {{"dry_run", true}, {"items", Json::array()}};
            (*json)["items"].push_back(TargetJson(i, target));
        }
        out << kItems[i].restoreReportName << '\n';
        if (!target.ok) {
            out << "  would fail: " << target.failure << '\n';
            anyFailure = true;
            continue;
        }
        if (!target.registryKey.empty()) {
            out << "  replace key " << target.registryKey << " with " << target.registryEntry
                << '\n';
        }
        if (!target.folderToCreate.empty()) {
            out << "  create folder " << target.folderToCreate.string() << '\n';
        }
        for (const auto& [entry, destination] : target.files) {
            out << "  replace file " << destination.string() << " with " << entry << '\n';
        }
    }
    if (!anyPlanned) return Fail(err, kNoItemAskedForMessage);
    return ExitStatusFor(true, anyFailure);
}

int RunRestoreCommand(const RestoreArguments& args, CliContext& context, std::ostream& out,
                      Json* json, std::ostream& err) {
    if (context.refuseWindowsDisk(err, "restore into a Wine prefix (--prefix DIR)"))
        return kExitNothingDone;
    auto items = ParseItemList(args.items);
    if (!items) return Fail(err, items.reason());
    const std::unique_ptr<IdentityRun> run = IdentityRun::Open(context, args.identity, err);
    if (!run) return kExitNothingDone;
    RunEnvironment& environment = run->environment();

    OpenedBackup backup(environment.archive(), environment.context().workFolder);
    if (const Status opened = OpenBackup(backup, std::filesystem::absolute(args.file).string(),
                                         args.passwordFile, context);
        !opened)
        return Fail(err, opened.reason());

    const RestoreRequest request{run->identity().key, *items};
    if (args.dryRun) return DryRun(environment, backup, request, out, json, err);

    const RestoreOutcome outcome = context.withProgress([&](BackupProgress* progress) {
        return RunRestore(environment.context(), backup, request, progress);
    });
    if (!outcome.started) return Fail(err, outcome.started.reason());
    PrintItemReport(ItemReport(outcome.items, RunDirection::kRestore), out, err);
    const int status = ExitStatusOf(outcome);
    // The restore started, so it did nothing only when the backup held none of the items.
    if (status == kExitNothingDone) return Fail(err, kNoItemAskedForMessage);
    if (json) *json = {{"file", args.file}, {"items", ItemsJson(outcome.items)}};
    out << "The Restore was Completed!\n";
    return status;
}

}  // namespace

void AddRestoreCommand(CLI::App& app, CommandRun& run) {
    auto args = std::make_shared<RestoreArguments>();
    CLI::App* command = app.add_subcommand(
        "restore", "Put the items of a backup file back into an identity, replacing what is there");
    AddBackupReadingOptions(*command, args->file, args->passwordFile);
    command
        ->add_option("-i,--identity", args->identity,
                     "The identity to restore into: its key or its user name")
        ->required();
    command->add_option("--items", args->items,
                        "all (default: every item the backup holds), eight 0/1 digits, or a "
                        "comma list of " +
                            ItemCommandNames(","));
    command->add_flag("-n,--dry-run", args->dryRun, "List what would be replaced; change nothing");
    command->callback([&run, args] {
        run.exitCode = RunRestoreCommand(*args, run.context, run.report(), run.json(), run.err);
    });
}

}  // namespace quillet::cli
