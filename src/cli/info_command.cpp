#include <iostream>

#include "archive/zip_archive.h"
#include "backup/opened_backup.h"
#include "cli/commands.h"
#include "cli/password_input.h"
#include "platform/work_folder.h"

namespace quillet::cli {
namespace {

struct InfoArguments {
    std::string file;
    std::optional<std::string> passwordFile;
};

int RunInfo(CliContext& context, const InfoArguments& args) {
    auto work = WorkFolder::Create(context.environment());
    if (!work) return context.fail(work.reason());
    archive::ZipArchive archive;
    OpenedBackup backup(archive, work->path());
    auto password = PasswordIfProtected(backup.archive(), args.file, args.passwordFile);
    if (!password) return context.fail(password.reason());
    const OpenOutcome outcome = backup.open(args.file, *password);
    if (outcome == OpenOutcome::kWrongPassword) return context.fail(kWrongPasswordMessage);
    if (outcome == OpenOutcome::kInvalid) return context.fail(kInvalidBackupMessage);

    std::string origin = backup.originText();
    std::string description = backup.description();
    for (std::string* text : {&origin, &description}) {
        std::string plain;
        for (const char c : *text) {
            if (c != '\r') plain += c;
        }
        *text = plain;
    }
    std::cout << "File:" << args.file << '\n' << origin << '\n';
    std::cout << "Protected:" << (password->empty() ? "no" : "yes") << '\n';
    std::cout << "Description:" << (description.find('\n') != std::string::npos ? "\n" : "")
              << description << '\n';
    std::cout << "Items:" << backup.itemFlags() << '\n';
    for (int i = 0; i < kItemCount; ++i) {
        if (backup.holds(i)) {
            std::cout << "  " << kItems[i].commandName << '\t' << backup.entryNames(i) << '\n';
        }
    }
    return kExitOk;
}

}  // namespace

void AddInfoCommand(CLI::App& app, CliContext& context, int* exitCode) {
    auto args = std::make_shared<InfoArguments>();
    CLI::App* command = app.add_subcommand(
        "info", "Show where and when a backup was made, its description and the items it holds");
    command->add_option("FILE", args->file, "The backup file")
        ->required()
        ->check(CLI::ExistingFile);
    command->add_option("--password-file", args->passwordFile,
                        "The password on this file's first line (else it is asked)");
    command->callback([&context, exitCode, args] { *exitCode = RunInfo(context, *args); });
}

}  // namespace quillet::cli
