#pragma once

#include <string>
#include <vector>

namespace quillet::testing {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the built quillet-cli with these arguments (no shell involved), with stdin empty.
CliRun RunCli(const std::vector<std::string>& arguments);

// Writes the bundled sample prefix into `folder` (which must not exist or be empty).
bool MakeSamplePrefix(const std::string& folder);

}  // namespace quillet::testing
