#include <algorithm>
#include <string_view>

#include "cli/backup_reading.h"
#include "cli/commands.h"
#include "platform/hex_digits.h"

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

// The information file's fields as JSON: strings as they are (the JSON text escapes them).
Json InfoJson(const std::string& file, bool isProtected, const OpenedBackup& backup) {
    Json items = Json::array();
    for (int i = 0; i < kItemCount; ++i) {
        if (!backup.holds(i)) continue;
        Json entries = Json::array();
        std::string_view names = backup.entryNames(i);
        while (!names.empty()) {
            const std::size_t end = std::min(names.find(';'), names.size());
            entries.push_back(names.substr(0, end));
            names.remove_prefix(std::min(end + 1, names.size()));
        }
        items.push_back({{"item", kItems[i].commandName}, {"entries", std::move(entries)}});
    }
    return {{"file", file},
            {"protected", isProtected},
            {"computer", backup.computer()},
            {"user", backup.logonUser()},
            {"identity", backup.identity()},
            {"date", backup.time()},
            {"description", backup.description()},
            {"items", std::move(items)}};
}

int RunInfo(const InfoArguments& args, CliContext& context, std::ostream& out, Json* json,
            std::ostream& err) {
    auto reading = BackupReading::Open(args.file, args.passwordFile, context, err);
    if (!reading) return kExitNothingDone;
    OpenedBackup& backup = reading->backup();
    if (json) *json = InfoJson(args.file, reading->isProtected(), backup);

    const std::string origin = Printable(backup.originText());
    const std::string description = Printable(backup.description());
    out << "File:" << args.file << '\n' << origin << '\n';
    out << "Protected:" << (reading->isProtected() ? "yes" : "no") << '\n';
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
    command->callback([&run, args] {
        run.exitCode = RunInfo(*args, run.context, run.listing(), run.json(), run.err);
    });
}

}  // namespace quillet::cli
