#include "schedule/job_program.h"

#include <system_error>
#include <vector>

namespace quillet {

std::filesystem::path QuilletProgramPath() {
    std::error_code error;
    const std::filesystem::path running = std::filesystem::read_symlink("/proc/self/exe", error);
    std::vector<std::filesystem::path> candidates;
    if (!error) candidates.push_back(running.parent_path() / "quillet");
    candidates.emplace_back(QUILLET_INSTALLED_PROGRAM);
    candidates.emplace_back(QUILLET_BUILT_PROGRAM);
    for (const std::filesystem::path& candidate : candidates) {
        if (std::filesystem::is_regular_file(candidate, error)) return candidate;
    }
    return candidates.front();
}

}  // namespace quillet
