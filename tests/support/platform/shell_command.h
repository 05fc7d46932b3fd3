#pragma once

#include <string>

namespace quillet::testing {

// Runs a shell command with stdin empty; returns its exit status as RunProgram does and appends to
// `output`, when given, what it wrote to stdout and stderr together.
int RunCommand(const std::string& command, std::string* output = nullptr);

// Whether an external program is on PATH.
bool ToolOnPath(const std::string& tool);

// The text in single quotes for the shell.
std::string ShellQuote(const std::string& text);

}  // namespace quillet::testing
