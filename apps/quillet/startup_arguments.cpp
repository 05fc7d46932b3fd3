#include "startup_arguments.h"

#include <cstring>
#include <string_view>

#include "schedule/job_program.h"

namespace quillet {

StartupArguments ReadStartupArguments(int argc, char** argv, const Environment& env) {
    StartupArguments arguments;
    const struct {
        std::string_view name;
        std::optional<std::string> StartupArguments::*value;
    } options[] = {
        {"--prefix", &StartupArguments::prefix},
        {"--windows-root", &StartupArguments::windowsRoot},
        {"--user", &StartupArguments::user},
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        bool isOption = false;
        for (const auto& option : options) {
            if (argument == option.name && i + 1 < argc) {
                arguments.*option.value = argv[++i];
            } else if (argument.starts_with(option.name) &&
                       argument.substr(option.name.size(), 1) == "=") {
                arguments.*option.value = std::string(argument.substr(option.name.size() + 1));
            } else {
                continue;
            }
            isOption = true;
            break;
        }
        if (isOption) continue;
        if (!arguments.commandLine.empty()) arguments.commandLine += ' ';
        arguments.commandLine += argument;
    }
    if (arguments.commandLine == "--help" || arguments.commandLine == "-h") {
        arguments.help = true;
        arguments.commandLine.clear();
        return arguments;
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
