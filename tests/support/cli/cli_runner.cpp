#include "support/cli/cli_runner.h"

#include <sstream>

#include "cli/run_cli.h"

namespace quillet::testing {

CliRun RunCliInProcess(cli::CliContext& context, const std::vector<std::string>& arguments) {
    std::ostringstream out;
    std::ostringstream err;
    CliRun run;
    run.exitCode = cli::RunCli(arguments, context, out, err);
    run.out = out.str();
    run.err = err.str();
    return run;
}

}  // namespace quillet::testing
