#include "cli/run_cli.h"

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/unknown_command.h"
#include "platform/program_version.h"
#include "platform/work_folder.h"

namespace quillet::cli {

int RunCli(const std::vector<std::string>& arguments, CliContext& context, std::ostream& out,
           std::ostream& err) {
    context.startRun();
    // Here, before any command's own work, so that every command tidies up after killed runs.
    WorkFolder::RemoveDeadRunsFolders(context.environment());
    CommandRun run{context, out, err};

    CLI::App app("Quillet: back up and restore Outlook Express data in a Wine prefix",
                 "quillet-cli");
    app.set_help_all_flag("--help-all", "Show the help of every command");
    app.set_version_flag("--version", std::string("quillet-cli ") + kProgramVersion,
                         "Print the program's name and version and exit");
    app.require_subcommand(1);
    app.add_option("--prefix", context.prefixOption,
                   "The Wine prefix to work on (default: $WINEPREFIX, else ~/.wine)");
    CLI::Option* windowsRoot = app.add_option(
        "--windows-root", context.windowsRootOption,
        "Read a mounted Windows disk instead: the folder that holds WINDOWS and Documents and "
        "Settings (only read, never changed)");
    app.add_option("--user", context.userOption,
                   "With --windows-root: the profile to read (default: the only one with Outlook "
                   "Express identities)")
        ->needs(windowsRoot);
    windowsRoot->excludes("--prefix");
    AddIdentitiesCommand(app, run);
    AddRegCommand(app, run);
    AddBackupCommand(app, run);
    AddInfoCommand(app, run);
    AddListCommand(app, run);
    AddVerifyCommand(app, run);
    AddRestoreCommand(app, run);
    AddScheduleCommand(app, run);
    AddDiscCommand(app, run);
    AddExportCommand(app, run);
    AddCheckCommand(app, run);
    AddThunderbirdCommand(app, run);
    AddContactsCommand(app, run);

    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::Success& helpOrVersion) {
        return app.exit(helpOrVersion, out, err);
    } catch (const CLI::ParseError& error) {
        // A mistyped command makes CLI11 say only that a command is missing or a word unexpected.
        if (app.get_subcommands().empty()) {
            std::vector<std::string> commands;
            for (const CLI::App* command : app.get_subcommands([](CLI::App*) { return true; })) {
                commands.push_back(command->get_name());
            }
            if (auto unknown = UnknownCommandText(
                    arguments, {"--prefix", "--windows-root", "--user"}, commands)) {
                return Fail(err, *unknown);
            }
        }
        app.exit(error, out, err);
        return kExitNothingDone;
    }
    return run.exitCode;
}

int RunCli(int argc, const char* const* argv, CliContext& context, std::ostream& out,
           std::ostream& err) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return RunCli(arguments, context, out, err);
}

}  // namespace quillet::cli
