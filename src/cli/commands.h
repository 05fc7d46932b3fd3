#pragma once

#include <CLI/CLI.hpp>

#include "cli/cli_context.h"

namespace quillet::cli {

// Each command adds its subcommand to the application; when the subcommand is chosen its
// callback stores the exit status in *exitCode.
void AddIdentitiesCommand(CLI::App& app, CliContext& context, int* exitCode);
void AddRegCommand(CLI::App& app, CliContext& context, int* exitCode);
void AddBackupCommand(CLI::App& app, CliContext& context, int* exitCode);
void AddInfoCommand(CLI::App& app, CliContext& context, int* exitCode);
void AddListCommand(CLI::App& app, CliContext& context, int* exitCode);
void AddVerifyCommand(CLI::App& app, CliContext& context, int* exitCode);
void AddRestoreCommand(CLI::App& app, CliContext& context, int* exitCode);

}  // namespace quillet::cli
