#pragma once

#include <filesystem>
#include <string>

namespace quillet {

// The absolute path of the desktop program `quillet` that a scheduled job starts: the one beside
// the running executable (an installation, or quillet-cli next to it), else the installed one,
// else the one of the build tree this program was built in. Falls back to the first candidate
// when none exists, so the caller's job still names the expected program.
std::filesystem::path QuilletProgramPath();

// The environment variable a scheduled job hands its job command line in.
inline constexpr const char* kJobVariable = "QUILLET_JOB";
// The environment variable that names the job a run-once job must remove after its run.
inline constexpr const char* kRunOnceVariable = "QUILLET_ONCE";
// The environment variable that names the running job by its token, for the log of runs.
inline constexpr const char* kTokenVariable = "QUILLET_TOKEN";

}  // namespace quillet
