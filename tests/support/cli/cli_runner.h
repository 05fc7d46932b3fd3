#pragma once

#include <string>
#include <vector>

#include "cli/cli_context.h"

namespace quillet::testing {

// What one quillet-cli command line did.
struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a quillet-cli command line (without the program name) in this process over `context`,
// catching what it writes.
CliRun RunCliInProcess(cli::CliContext& context, const std::vector<std::string>& arguments);

}  // namespace quillet::testing
