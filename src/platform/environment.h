#pragma once

#include <functional>
#include <optional>
#include <string>

namespace quillet {

// The process environment as the program sees it. Tests build one from a map; main() uses
// Process().
struct Environment {
    // The value of a variable, or nullopt when it is not set.
    std::function<std::optional<std::string>(const std::string& name)> get;

    // Reads the real environment (getenv). Safe to call from any thread as long as nothing
    // changes the environment at the same time.
    static Environment Process();
};

}  // namespace quillet
