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

std::string WithoutCarriageReturns(const std::string& text) {
    std::string plain;
    for (const char c : text) {
        if (c != '\r') plain += c;
    }
    return plain;
}

int RunInfo(const InfoArguments& args, CliContext& context, std::ostream& out, std::ostream& err) {
    auto work = WorkFolder::Create(context.environment());
    if (!work) return Fail(err, work.reason());
    OpenedBackup backup(context.archive(), work->path());
    auto password = PasswordIfProtected(backup.archive(), args.file, args.passwordFile, context);
    if (!password) return Fail(err, password.reason());
    if (const Status outcome = backup.open(args.file, *password); !outcome)
        return Fail(err, outcome.reason());

    const std::string origin = WithoutCarriageReturns(backup.originText());
    const std::string description = WithoutCarriageReturns(backup.description());
    out << "File:" << args.file << '\n' << origin << '\n';
    out << "Protected:" << (password->empty() ? "no" : "yes") << '\n';
    out << "Description:" << (description.find('\n') != std::string::npos ? "\n" : "")
        << description << '\n';
    out << "Items:" << backup.itemFlags() << '\n';
    for (int i = 0; i < kItemCount; ++i) {
        if (backup.holds(i)) {
            out << "  " << kItems[i].commandName << '\t' << backup.entryNames(i) << '\n';
        }
    }
    return kExitOk;
}

}  // namespace

void AddInfoCommand(CLI::App& app, CommandRun& run) {
    auto args = std::make_shared<InfoArguments>();
    CLI::App* command = app.add_subcommand(
        "info", "Show where and when a backup was made, its description and the items it holds");
    command->add_option("FILE", args->file, "The backup file")
        ->required()
        ->check(CLI::ExistingFile);
    command->add_option("--password-file", args->passwordFile,
                        "The password on this file's first line (else it is asked)");
    command->callback(
        [&run, args] { run.exitCode = RunInfo(*args, run.context, run.out, run.err); });
}

}  // namespace quillet::cli
