#include <algorithm>
#include <iostream>

#include "backup/identity_list.h"
#include "backup/opened_backup.h"
#include "backup/restore_handlers.h"
#include "backup/restore_run.h"
#include "backup/run_environment.h"
#include "cli/commands.h"
#include "cli/password_input.h"
#include "cli/terminal_progress.h"

namespace quillet::cli {
namespace {

struct RestoreArguments {
    std::string file;
    std::string identity;
    std::string items = "all";
    std::optional<std::string> passwordFile;
    bool dryRun = false;
};

// Lists what a restore would replace, changing nothing; refuses what the restore would refuse.
int DryRun(CliContext& context, RunEnvironment& run, OpenedBackup& backup,
           const RestoreRequest& request) {
    if (run.context().checkPrefixIdle) {
        Status idle = run.context().checkPrefixIdle();
        if (!idle) return context.fail(idle.reason());
    }
    RestoreHandlers handlers(run.context(), backup);
    bool anyFailure = false;
    bool anyPlanned = false;
    for (int i = 0; i < kItemCount; ++i) {
        if (!request.ticked[i] || !backup.holds(i)) continue;
        anyPlanned = true;
        const RestoreTarget target = handlers.plan(i, request.identityKey);
        std::cout << kItems[i].restoreReportName << '\n';
        if (!target.ok) {
            std::cout << "  would fail: " << target.failure << '\n';
            anyFailure = true;
            continue;
        }
        if (!target.registryKey.empty()) {
            std::cout << "  replace key " << target.registryKey << " with " << target.registryEntry
                      << '\n';
        }
        if (!target.folderToCreate.empty()) {
            std::cout << "  create folder " << target.folderToCreate.string() << '\n';
        }
        for (const auto& [entry, destination] : target.files) {
            std::cout << "  replace file " << destination.string() << " with " << entry << '\n';
        }
    }
    if (!anyPlanned) return context.fail("the backup holds none of the items asked for");
    return anyFailure ? kExitPartial : kExitOk;
}

int RunRestoreCommand(CliContext& context, const RestoreArguments& args) {
    auto items = ParseItemList(args.items);
    if (!items) return context.fail(items.reason());
    WineSystem* system = context.system();
    if (system == nullptr) return kExitNothingDone;
    auto run = RunEnvironment::Create(*system, context.messages(), context.environment());
    if (!run) return context.fail(run.reason());

    const Identity* identity = context.findIdentity((*run)->modReg(), args.identity);
    if (identity == nullptr) return kExitNothingDone;

    OpenedBackup backup((*run)->archive(), (*run)->context().workFolder);
    auto password = PasswordIfProtected(backup.archive(), args.file, args.passwordFile);
    if (!password) return context.fail(password.reason());
    const OpenOutcome opened = backup.open(std::filesystem::absolute(args.file), *password);
    if (opened == OpenOutcome::kWrongPassword) return context.fail(kWrongPasswordMessage);
    if (opened == OpenOutcome::kInvalid) return context.fail(kInvalidBackupMessage);

    const RestoreRequest request{identity->key, *items};
    if (std::none_of(request.ticked.begin(), request.ticked.end(), [](bool on) { return on; })) {
        return context.fail(kSelectItemMessage);
    }
    if (args.dryRun) return DryRun(context, **run, backup, request);

    RestoreOutcome outcome;
    {
        TerminalProgress progress;
        outcome = RunRestore((*run)->context(), backup, request, &progress);
    }
    switch (outcome.start) {
        case RestoreStart::kInvalidBackup:
            return context.fail(kRestoreInvalidMessage);
        case RestoreStart::kNothingTicked:
            return context.fail(kSelectItemMessage);
        case RestoreStart::kPrefixBusy:
            return context.fail(outcome.refusal);
        case RestoreStart::kRan:
            break;
    }
    bool anyRan = false;
    for (int i = 0; i < kItemCount; ++i) {
        const ItemOutcome& item = outcome.items[i];
        if (!item.ran) continue;
        anyRan = true;
        std::cout << kItems[i].restoreReportName << '\t'
                  << (item.succeeded ? "Successed!" : "Fail!") << '\n';
        if (!item.succeeded) {
            std::cerr << "quillet-cli: " << kItems[i].restoreReportName << ": " << item.failure
                      << '\n';
        }
    }
    if (!anyRan) return context.fail("the backup holds none of the items asked for");
    std::cout << "The Restore was Completed!\n";
    return outcome.allSucceeded() ? kExitOk : kExitPartial;
}

}  // namespace

void AddRestoreCommand(CLI::App& app, CliContext& context, int* exitCode) {
    auto args = std::make_shared<RestoreArguments>();
    CLI::App* command = app.add_subcommand(
        "restore", "Put the items of a backup file back into an identity, replacing what is there");
    command->add_option("FILE", args->file, "The backup file")
        ->required()
        ->check(CLI::ExistingFile);
    command
        ->add_option("--identity", args->identity,
                     "The identity to restore into: its key or its user name")
        ->required();
    command->add_option("--items", args->items,
                        "all (default: every item the backup holds), eight 0/1 digits, or a "
                        "comma list of accounts,addressbook,rules,messages,blocksenders,"
                        "signatures,stationery,settings");
    command->add_option("--password-file", args->passwordFile,
                        "The password on this file's first line (else it is asked)");
    command->add_flag("--dry-run", args->dryRun, "List what would be replaced; change nothing");
    command->callback(
        [&context, exitCode, args] { *exitCode = RunRestoreCommand(context, *args); });
}

}  // namespace quillet::cli
