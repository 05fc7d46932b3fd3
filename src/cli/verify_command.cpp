#include "backup/opened_backup.h"
#include "cli/commands.h"
#include "cli/password_input.h"
#include "platform/work_folder.h"

namespace quillet::cli {
namespace {

struct VerifyArguments {
    std::string file;
    std::optional<std::string> passwordFile;
};

// Refuses what is no backup, and a wrong password, as info does; then reads every entry.
int RunVerify(const VerifyArguments& args, CliContext& context, std::ostream& out, Json* json,
              std::ostream& err) {
    auto work = WorkFolder::Create(context.environment());
    if (!work) return Fail(err, work.reason());
    OpenedBackup backup(context.archive(), work->path());
    if (const Status opened = OpenBackup(backup, args.file, args.passwordFile, context); !opened)
        return Fail(err, opened.reason());
    archive::Archive& archive = backup.archive();
    Status verified = archive.verifyEntries();
    if (!verified) return Fail(err, args.file + ": " + verified.reason());
    out << args.file << ": " << archive.entries().size() << " entries read to their end, "
        << "all sound\n";
    if (json) *json = {{"file", args.file}, {"entries", archive.entries().size()}, {"sound", true}};
    return kExitOk;
}

}  // namespace

void AddVerifyCommand(CLI::App& app, CommandRun& run) {
    auto args = std::make_shared<VerifyArguments>();
    CLI::App* command = app.add_subcommand(
        "verify", "Read every entry of a backup to its end, checking passwords and checksums");
    AddBackupReadingOptions(*command, args->file, args->passwordFile);
    command->callback([&run, args] {
        run.exitCode = RunVerify(*args, run.context, run.report(), run.json(), run.err);
    });
}

}  // namespace quillet::cli
