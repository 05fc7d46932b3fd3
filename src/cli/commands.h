#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_context.h"
#include "cli/json_report.h"

namespace quillet::cli {

// One run of a command line: the context the command works on, the streams it writes its output
// and its errors to, and the exit status the chosen command leaves.
struct CommandRun {
    CliContext& context;
    std::ostream& out;
    std::ostream& err;
    int exitCode = kExitNothingDone;
    std::ostream discarded{nullptr};
    // With --json, what the command reports: RunCli prints it on `out` when the command set it
    // (a command that stops before its work sets none).
    Json document;

    // Where a command reports what it did: `out`, or nowhere with -q or --json.
    std::ostream& report() { return context.quiet || context.json ? discarded : out; }
    // Where a listing command lists: `out`, or nowhere with --json.
    std::ostream& listing() { return context.json ? discarded : out; }
    // The document to fill with --json; null without it.
    Json* json() { return context.json ? &document : nullptr; }
};

// The start of the summary line after a written backup (what `backup` prints last).
inline constexpr char kBackupSummaryText[] = "Summary: ";

// What `export` adds to the reason it refuses a target that is already there.
inline constexpr char kExportForceHint[] =
    " (--force replaces it; with --format maildir, adds the messages to it)";

// Each command adds its subcommand to the application; when the subcommand is chosen its
// callback runs the command and stores its exit status in run.exitCode.
void AddIdentitiesCommand(CLI::App& app, CommandRun& run);
void AddRegCommand(CLI::App& app, CommandRun& run);
void AddBackupCommand(CLI::App& app, CommandRun& run);
void AddInfoCommand(CLI::App& app, CommandRun& run);
void AddListCommand(CLI::App& app, CommandRun& run);
void AddVerifyCommand(CLI::App& app, CommandRun& run);
void AddRestoreCommand(CLI::App& app, CommandRun& run);
void AddScheduleCommand(CLI::App& app, CommandRun& run);
void AddDiscCommand(CLI::App& app, CommandRun& run);
void AddExportCommand(CLI::App& app, CommandRun& run);
void AddCheckCommand(CLI::App& app, CommandRun& run);
void AddThunderbirdCommand(CLI::App& app, CommandRun& run);
void AddContactsCommand(CLI::App& app, CommandRun& run);

// The arguments of a command that reads a backup: the backup FILE, which must exist, and the
// --password-file that opens it when it is protected.
void AddBackupReadingOptions(CLI::App& command, std::string& file,
                             std::optional<std::string>& passwordFile);

// The items an --items option selects (see ParseItemList); refuses a list that selects none.
Result<ItemMask> ParseSelectedItems(std::string_view text);

// Writes each line of an ItemReport to `out` ("Backup Rules<TAB>Successed!") and, for an item
// that failed, "quillet-cli: <report name>: <why>" to `err`.
void PrintItemReport(const std::vector<ItemReportLine>& report, std::ostream& out,
                     std::ostream& err);

}  // namespace quillet::cli
