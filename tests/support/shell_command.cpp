#include "support/shell_command.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

namespace quillet::testing {

int RunCommand(const std::string& command, std::string* output) {
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return -1;
    std::array<char, 4096> buffer{};
    std::size_t count = 0;
    while ((count = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        if (output != nullptr) output->append(buffer.data(), count);
    }
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
