// quillet-cli: the scriptable companion of the desktop program.
#include <clocale>
#include <iostream>

#include "cli/run_cli.h"
#include "platform/signal_cleanup.h"

int main(int argc, char** argv) {
    quillet::TreatFileSizeLimitAsFullDisk();
    std::setlocale(LC_TIME, "");  // backup times in the user's date and time form
    quillet::cli::CliContext context(quillet::Environment::Process());
    return quillet::cli::RunCli(argc, argv, context, std::cout, std::cerr);
}
