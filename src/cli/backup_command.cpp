#include <iostream>

#include "backup/backup_run.h"
#include "backup/identity_list.h"
#include "backup/run_environment.h"
#include "cli/commands.h"
#include "cli/password_input.h"
#include "cli/terminal_progress.h"

namespace quillet::cli {
namespace {

struct BackupArguments {
    std::string identity;
    std::string out;
    std::string items = "all";
    std::string description;
    std::optional<std::string> passwordFile;
};

int RunBackupCommand(CliContext& context, const BackupArguments& args) {
    auto items = ParseItemList(args.items);
    if (!items) return context.fail(items.reason());
    std::string password;
    if (args.passwordFile) {
        auto read = ReadPasswordFile(*args.passwordFile);
        if (!read) return context.fail(read.reason());
        if (read->empty()) return context.fail("the password file holds an empty password");
        password = *read;
    }
    WineSystem* system = context.system();
    if (system == nullptr) return kExitNothingDone;
    auto run = RunEnvironment::Create(*system, context.messages(), context.environment());
    if (!run) return context.fail(run.reason());

    const Identity* identity = context.findIdentity((*run)->modReg(), args.identity);
    if (identity == nullptr) return kExitNothingDone;

    BackupRequest request;
    request.identityKey = identity->key;
    request.headerLines =
        InteractiveHeader(system->system().computerName(), system->system().logonUser(),
                          identity->userName, BackupTimeText(), args.description);
    request.items = *items;
    request.password = password;
    request.backupFile = std::filesystem::absolute(args.out);

    BackupOutcome outcome;
    {
        TerminalProgress progress;
        outcome = RunBackup((*run)->context(), request, &progress);
    }
    for (int i = 0; i < kItemCount; ++i) {
        const ItemOutcome& item = outcome.items[i];
        if (!item.ran) continue;
        std::cout << kItems[i].backupReportName << '\t' << (item.succeeded ? "Successed!" : "Fail!")
                  << '\n';
        if (!item.succeeded) {
            std::cerr << "quillet-cli: " << kItems[i].backupReportName << ": " << item.failure
                      << '\n';
        }
    }
    if (!outcome.written) {
        return context.fail("the backup was not written: " + outcome.writeFailure);
    }
    std::cout << "The Backup was Completed!\n";
    return outcome.allSucceeded() ? kExitOk : kExitPartial;
}

}  // namespace

void AddBackupCommand(CLI::App& app, CliContext& context, int* exitCode) {
    auto args = std::make_shared<BackupArguments>();
    CLI::App* command =
        app.add_subcommand("backup", "Back up the items of one identity into a backup file");
    command->add_option("--identity", args->identity, "The identity: its key or its user name")
        ->required();
    command->add_option("--out", args->out, "The backup file to write (replaced when it exists)")
        ->required();
    command->add_option("--items", args->items,
                        "all (default), eight 0/1 digits in item order, or a comma list of "
                        "accounts,addressbook,rules,messages,blocksenders,signatures,"
                        "stationery,settings");
    command->add_option("--description", args->description, "A description kept in the backup");
    command->add_option("--password-file", args->passwordFile,
                        "Protect the backup with the password on this file's first line");
    command->callback([&context, exitCode, args] { *exitCode = RunBackupCommand(context, *args); });
}

}  // namespace quillet::cli
