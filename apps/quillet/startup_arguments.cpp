#include "startup_arguments.h"

#include <cstring>
#include <string_view>

#include "schedule/job_program.h"

namespace quillet {

StartupArguments ReadStartupArguments(int argc, char** argv, const Environment& env) {
    StartupArguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--prefix" && i + 1 < argc) {
            arguments.prefix = argv[++i];
            continue;
        }
        if (argument.substr(0, 9) == "--prefix=") {
            arguments.prefix = std::string(argument.substr(9));
            continue;
        }
        if (!arguments.commandLine.empty()) arguments.commandLine += ' ';
        arguments.commandLine += argument;
    }
    if (arguments.commandLine.empty()) {
        if (std::optional<std::string> job = env.get(kJobVariable)) arguments.commandLine = *job;
    }
    return arguments;
}

void MaskPasswordInArguments(int argc, char** argv) {
    bool masking = false;
    for (int i = 1; i < argc; ++i) {
        char* text = argv[i];
        const std::size_t length = std::strlen(text);
        std::size_t pos = 0;
        while (pos < length) {
            if (!masking) {
                const char* found = std::strstr(text + pos, "ps=");
                if (found == nullptr) break;
                pos = static_cast<std::size_t>(found - text) + 3;
                masking = true;
                continue;
            }
            if (std::strncmp(text + pos, "bf=", 3) == 0) {
                masking = false;
                pos += 3;
                continue;
            }
            text[pos++] = '*';
        }
    }
}

}  // namespace quillet
