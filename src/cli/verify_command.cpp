#include <iostream>

#include "archive/zip_archive.h"
#include "cli/commands.h"
#include "cli/password_input.h"

namespace quillet::cli {
namespace {

struct VerifyArguments {
    std::string file;
    std::optional<std::string> passwordFile;
};

int RunVerify(CliContext& context, const VerifyArguments& args) {
    archive::ZipArchive archive;
    Status loaded = archive.LoadArchive(args.file);
    if (!loaded) return context.fail(loaded.reason());
    auto password = PasswordIfProtected(archive, args.file, args.passwordFile);
    if (!password) return context.fail(password.reason());
    archive.ReadPassword(*password);
    Status verified = archive.verifyEntries();
    if (!verified) return context.fail(args.file + ": " + verified.reason());
    std::cout << args.file << ": " << archive.entries().size() << " entries read to their end, "
              << "all sound\n";
    return kExitOk;
}

}  // namespace

void AddVerifyCommand(CLI::App& app, CliContext& context, int* exitCode) {
    auto args = std::make_shared<VerifyArguments>();
    CLI::App* command = app.add_subcommand(
        "verify", "Read every entry of a backup to its end, checking passwords and checksums");
    command->add_option("FILE", args->file, "The backup file")
        ->required()
        ->check(CLI::ExistingFile);
    command->add_option("--password-file", args->passwordFile,
                        "The password on this file's first line (else it is asked)");
    command->callback([&context, exitCode, args] { *exitCode = RunVerify(context, *args); });
}

}  // namespace quillet::cli
