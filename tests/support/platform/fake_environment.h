#pragma once

#include <map>
#include <string>

#include "platform/environment.h"

namespace quillet::testing {

// An environment holding exactly `variables`.
inline Environment FakeEnvironment(std::map<std::string, std::string> variables) {
    return Environment{
        [variables = std::move(variables)](const std::string& name) -> std::optional<std::string> {
            const auto found = variables.find(name);
            if (found == variables.end()) return std::nullopt;
            return found->second;
        }};
}

}  // namespace quillet::testing
