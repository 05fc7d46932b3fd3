#include "backup/opened_backup.h"
#include "cli/commands.h"
#include "cli/password_input.h"

namespace quillet::cli {
namespace {

struct VerifyArguments {
    std::string file;
    std::optional<std::string> passwordFile;
};

int RunVerify(const VerifyArguments& args, CliContext& context, std::ostream& out,
              std::ostream& err) {
    archive::Archive& archive = context.archive();
    Status loaded = archive.LoadArchive(args.file);
    if (!loaded) return Fail(err, loaded.reason());
    if (Status bounded = CheckInformationFileSize(archive); !bounded) {
        return Fail(err, args.file + ": " + bounded.reason());
    }
    auto password = PasswordIfProtected(archive, args.file, args.passwordFile, context);
    if (!password) return Fail(err, password.reason());
    archive.ReadPassword(*password);
    Status verified = archive.verifyEntries();
    if (!verified) return Fail(err, args.file + ": " + verified.reason());
    out << args.file << ": " << archive.entries().size() << " entries read to their end, "
        << "all sound\n";
    return kExitOk;
}

}  // namespace

void AddVerifyCommand(CLI::App& app, CommandRun& run) {
    auto args = std::make_shared<VerifyArguments>();
    CLI::App* command = app.add_subcommand(
        "verify", "Read every entry of a backup to its end, checking passwords and checksums");
    AddBackupReadingOptions(*command, args->file, args->passwordFile);
    command->callback(
        [&run, args] { run.exitCode = RunVerify(*args, run.context, run.out, run.err); });
}

}  // namespace quillet::cli
