#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/cli_context.h"

namespace quillet::cli {

// Runs one quillet-cli command line (`arguments` without the program name) over `context`,
// writing what it prints to `out` and `err` (help goes to `out`). Returns the exit status:
// kExitOk, kExitPartial, or kExitNothingDone for bad input, a refusal or an error.
int RunCli(const std::vector<std::string>& arguments, CliContext& context, std::ostream& out,
           std::ostream& err);

// The same for main()'s arguments (argv[0] is the program name).
int RunCli(int argc, const char* const* argv, CliContext& context, std::ostream& out,
           std::ostream& err);

}  // namespace quillet::cli
