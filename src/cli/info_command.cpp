#include <string_view>

#include "backup/opened_backup.h"
#include "cli/commands.h"
#include "cli/password_input.h"
#include "platform/hex_digits.h"
#include "platform/work_folder.h"

namespace quillet::cli {
namespace {

struct InfoArguments {
    std::string file;
    std::optional<std::string> passwordFile;
};

// The text of the information file as it may reach a terminal: CR LF becomes a line break, every
// other control character is shown escaped ("\x1b"), so that a crafted file cannot drive the
// terminal or fake lines of the listing.
std::string Printable(std::string_view text) {
    std::string printable;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            printable += '\n';
            ++i;
        } else if (byte < 0x20 || byte == 0x7f) {
            printable += {'\\', 'x', LowerHexDigit(byte >> 4), LowerHexDigit(byte)};
        } else {
            printable += text[i];
        }
    }
    return printable;
}

int RunInfo(const InfoArguments& args, CliContext& context, std::ostream& out, std::ostream& err) {
    auto work = WorkFolder::Create(context.environment());
    if (!work) return Fail(err, work.reason());
    OpenedBackup backup(context.archive(), work->path());
    if (const Status opened = OpenBackup(backup, args.file, args.passwordFile, context); !opened)
        return Fail(err, opened.reason());

    const std::string origin = Printable(backup.originText());
    const std::string description = Printable(backup.description());
    out << "File:" << args.file << '\n' << origin << '\n';
    out << "Protected:" << (backup.archive().ArchiveHasPassword(args.file) ? "yes" : "no") << '\n';
    out << "Description:" << (description.find('\n') != std::string::npos ? "\n" : "")
        << description << '\n';
    out << "Items:" << Printable(backup.itemFlags()) << '\n';
    for (int i = 0; i < kItemCount; ++i) {
        if (backup.holds(i)) {
            out << "  " << kItems[i].commandName << '\t' << Printable(backup.entryNames(i)) << '\n';
        }
    }
    return kExitOk;
}

}  // namespace

void AddInfoCommand(CLI::App& app, CommandRun& run) {
    auto args = std::make_shared<InfoArguments>();
    CLI::App* command = app.add_subcommand(
        "info", "Show where and when a backup was made, its description and the items it holds");
    AddBackupReadingOptions(*command, args->file, args->passwordFile);
    command->callback(
        [&run, args] { run.exitCode = RunInfo(*args, run.context, run.out, run.err); });
}

}  // namespace quillet::cli
