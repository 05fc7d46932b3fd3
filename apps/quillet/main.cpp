// quillet: the desktop program. Started with a job command line it makes that scheduled backup
// and ends, before anything of the desktop is created, so that it runs where there is no display.
#include <clocale>

#include "desktop.h"
#include "schedule/scheduled_run.h"
#include "startup_arguments.h"

int main(int argc, char** argv) {
    std::setlocale(LC_TIME, "");  // backup times in the user's date and time form
    const quillet::StartupArguments arguments = quillet::ReadStartupArguments(argc, argv);
    quillet::MaskPasswordInArguments(argc, argv);
    if (!arguments.commandLine.empty()) {
        return quillet::RunScheduledBackup(arguments.prefix, arguments.commandLine);
    }
    return quillet::RunDesktop(
        argc, argv,
        {.prefix = arguments.prefix, .windowsRoot = arguments.windowsRoot, .user = arguments.user});
}
