#include "support/platform/open_files.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <system_error>

namespace quillet::testing {

namespace {

std::string Slurp(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

std::vector<std::string> OpenFileBytesUnder(const std::filesystem::path& folder) {
    std::error_code error;
    const std::string prefix = std::filesystem::weakly_canonical(folder, error).string() + "/";
    std::vector<std::string> files;
    for (const auto& link : std::filesystem::directory_iterator("/proc/self/fd", error)) {
        std::error_code unreadable;
        const std::string target = std::filesystem::read_symlink(link.path(), unreadable).string();
        if (unreadable || target.rfind(prefix, 0) != 0) continue;
        files.push_back(Slurp(link.path()));
    }
    return files;
}

std::string FileHolding(const std::filesystem::path& root, const std::string& needle) {
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(root, error), end; !error && it != end;
         it.increment(error)) {
        std::error_code notFile;
        if (!it->is_regular_file(notFile)) continue;
        if (Slurp(it->path()).find(needle) != std::string::npos) return it->path().string();
    }
    return "";
}

}  // namespace quillet::testing
