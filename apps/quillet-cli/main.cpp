// quillet-cli: the scriptable companion of the desktop program.
#include <CLI/CLI.hpp>
#include <clocale>

#include "cli/commands.h"

int main(int argc, char** argv) {
    using namespace quillet::cli;
    std::setlocale(LC_TIME, "");  // backup times in the user's date and time form
    CliContext context(quillet::Environment::Process());
    int exitCode = kExitNothingDone;

    CLI::App app("Quillet: back up and restore Outlook Express data in a Wine prefix",
                 "quillet-cli");
    app.set_help_all_flag("--help-all", "Show the help of every command");
    app.require_subcommand(1);
    app.add_option("--prefix", context.prefixOption,
                   "The Wine prefix to work on (default: $WINEPREFIX, else ~/.wine)");
    AddIdentitiesCommand(app, context, &exitCode);
    AddRegCommand(app, context, &exitCode);
    AddBackupCommand(app, context, &exitCode);
    AddInfoCommand(app, context, &exitCode);
    AddListCommand(app, context, &exitCode);
    AddVerifyCommand(app, context, &exitCode);
    AddRestoreCommand(app, context, &exitCode);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& help) {
        return app.exit(help);
    } catch (const CLI::CallForAllHelp& help) {
        return app.exit(help);
    } catch (const CLI::ParseError& error) {
        app.exit(error);
        return kExitNothingDone;
    }
    return exitCode;
}
