#include "cli/run_cli.h"

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/unknown_command.h"
#include "platform/program_version.h"
#include "platform/work_folder.h"

namespace quillet::cli {
namespace {

// The words `app` and its commands take, for naming an unknown one.
CommandWords WordsOf(const CLI::App& app) {
    CommandWords words{app.get_name(), {}, {}, {}};
    for (const CLI::Option* option : app.get_options()) {
        std::vector<std::string>& list =
            option->get_type_size_max() == 0 ? words.flags : words.optionsWithValue;
        for (const std::string& name : option->get_lnames()) list.push_back("--" + name);
        for (const std::string& name : option->get_snames()) list.push_back("-" + name);
    }
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
        words.commands.push_back(WordsOf(*command));
    }
    return words;
}

// CLI11's message on one line.
std::string OneLine(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    for (char& c : text) {
        if (c == '\n') c = ' ';
    }
    return text;
}

}  // namespace

int RunCli(const std::vector<std::string>& arguments, CliContext& context, std::ostream& out,
           std::ostream& err) {
    context.startRun(err);
    // Here, before any command's own work, so that every command tidies up after killed runs.
    WorkFolder::RemoveDeadRunsFolders(context.environment());
    CommandRun run{context, out, err};

    CLI::App app("Quillet: back up and restore Outlook Express data in a Wine prefix",
                 "quillet-cli");
    app.set_help_all_flag("--help-all", "Show the help of every command");
    app.set_version_flag("--version", std::string("quillet-cli ") + kProgramVersion,
                         "Print the program's name and version and exit");
    app.require_subcommand(1);
    // The global options are taken after the command too, as every command inherits this.
    app.fallthrough();
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
    app.add_option("--password-command", context.passwordCommand,
                   "Take the password from the first line this shell command prints, where a "
                   "command takes --password-file and none is given (before "
                   "$QUILLET_PASSWORD_FILE, a password file for every command)");
    app.add_flag("-q,--quiet", context.quiet,
                 "No progress bar and no report of what was done: only errors, and what a listing "
                 "command lists");
    app.add_flag("-v,--verbose", context.verbose,
                 "Each step of the work as a line on stderr, in place of the progress bar");
    app.add_flag("--json", context.json,
                 "Print what the command reports as one JSON document on stdout instead of text "
                 "(its keys are in the manual page); errors stay lines on stderr");
    CLI::Option* progress = app.add_flag_callback(
        "--progress", [&context] { context.progressOption = true; },
        "Draw the progress bar on stderr even when it is no terminal");
    app.add_flag_callback(
           "--no-progress", [&context] { context.progressOption = false; },
           "Never draw the progress bar")
        ->excludes(progress);
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
        // CLI11 names a missing command or option rather than the mistyped word that was meant.
        if (auto unknown = UnknownWordText(arguments, WordsOf(app))) return Fail(err, *unknown);
        return Fail(err, OneLine(error.what()));
    }
    if (context.json && !run.document.is_null()) PrintJson(run.document, out);
    return run.exitCode;
}

int RunCli(int argc, const char* const* argv, CliContext& context, std::ostream& out,
           std::ostream& err) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return RunCli(arguments, context, out, err);
}

}  // namespace quillet::cli
