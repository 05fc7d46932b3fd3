#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace quillet {

// What a finished program left.
struct ProgramOutput {
    int exitCode = 0;  // its exit status, or 128 + the signal that ended it
    std::string out;
    std::string err;
};

// Runs `argv[0]` (a name looked up on PATH, or a path) with these arguments, its standard input
// fed from `input`, and waits for it, collecting what it writes. No shell is involved. Fails
// (kNotFound) when the program cannot be started. Blocks the calling thread; safe to call from
// several threads at once.
Result<ProgramOutput> RunProgram(const std::vector<std::string>& argv, std::string_view input);

}  // namespace quillet
