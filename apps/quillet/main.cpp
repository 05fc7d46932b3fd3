// quillet: the desktop program. Started with a job command line it makes that scheduled backup
// and ends, before anything of the desktop is created, so that it runs where there is no display;
// `quillet --version` prints its name and version and `quillet --help` its usage, and end the same
// way.
#include <clocale>
#include <iostream>
#include <string_view>

#include "desktop.h"
#include "platform/environment.h"
#include "platform/program_version.h"
#include "platform/signal_cleanup.h"
#include "platform/work_folder.h"
#include "schedule/scheduled_run.h"
#include "startup_arguments.h"

int main(int argc, char** argv) {
    quillet::TreatFileSizeLimitAsFullDisk();
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::cout << "quillet " << quillet::kProgramVersion << '\n';
        return 0;
    }
    std::setlocale(LC_TIME, "");  // backup times in the user's date and time form
    const quillet::StartupArguments arguments = quillet::ReadStartupArguments(argc, argv);
    if (arguments.help) {
        std::cout << quillet::kDesktopUsage;
        return 0;
    }
    quillet::MaskPasswordInArguments(argc, argv);
    // Here, before the scheduled run or the desktop starts, so that both tidy up after killed runs.
    quillet::WorkFolder::RemoveDeadRunsFolders(quillet::Environment::Process());
    if (!arguments.commandLine.empty()) {
        return quillet::RunScheduledBackup({.prefix = arguments.prefix,
                                            .windowsRoot = arguments.windowsRoot,
                                            .user = arguments.user},
                                           arguments.commandLine, quillet::Environment::Process());
    }
    return quillet::RunDesktop(
        argc, argv,
        {.prefix = arguments.prefix, .windowsRoot = arguments.windowsRoot, .user = arguments.user});
}
