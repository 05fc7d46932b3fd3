#include "support/platform/shell_command.h"

#include "support/platform/child_process.h"

namespace quillet::testing {

int RunCommand(const std::string& command, std::string* output) {
    const ProgramRun run = RunProgram({"/bin/sh", "-c", command + " 2>&1"});
    if (output != nullptr) *output += run.out;
    return run.exitCode;
}

bool ToolOnPath(const std::string& tool) {
    return RunCommand("command -v " + ShellQuote(tool) + " >/dev/null", nullptr) == 0;
}

std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

}  // namespace quillet::testing
