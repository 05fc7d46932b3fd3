#include "platform/wine_server_probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>

namespace quillet {
namespace {

std::string Hex(std::uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%llx", static_cast<unsigned long long>(value));
    return text;
}

// The folder Debian's Wine records in `<prefix>/wineserver`, if any.
std::optional<std::filesystem::path> RecordedServerFolder(const std::filesystem::path& prefix) {
    const std::filesystem::path record = prefix / "wineserver";
    std::error_code error;
    const auto state = std::filesystem::symlink_status(record, error);
    std::filesystem::path folder;
    if (std::filesystem::is_symlink(state)) {
        folder = std::filesystem::read_symlink(record, error);
        if (error) return std::nullopt;
    } else if (std::filesystem::is_regular_file(state)) {
        std::ifstream in(record, std::ios::binary);
        std::string line;
        if (!std::getline(in, line)) return std::nullopt;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        folder = line;
    } else {
        return std::nullopt;
    }
    if (folder.empty()) return std::nullopt;
    if (folder.is_relative()) folder = prefix / folder;
    return folder.lexically_normal();
}

bool LockIsHeldByAnotherProcess(const std::filesystem::path& lockFile) {
    const int fd = open(lockFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    struct flock query {};
    query.l_type = F_WRLCK;
    query.l_whence = SEEK_SET;
    query.l_start = 0;
    query.l_len = 0;
    // A failed query is taken as "no server": refusing forever on a file system that cannot
    // report locks would leave the user with no way forward.
    const bool held = fcntl(fd, F_GETLK, &query) == 0 && query.l_type != F_UNLCK;
    close(fd);
    return held;
}

}  // namespace

WineServerProbe::WineServerProbe(std::filesystem::path tmpRoot) : m_tmpRoot(std::move(tmpRoot)) {}

std::vector<std::filesystem::path> WineServerProbe::serverFolders(
    const std::filesystem::path& prefix) const {
    std::vector<std::filesystem::path> folders;
    struct stat info {};
    if (stat(prefix.c_str(), &info) != 0) return folders;
    // Wine prints dev and ino with %lx; on 32-bit systems a 64-bit value is printed as two
    // halves (%lx%08lx), which gives the same digits.
    folders.push_back(m_tmpRoot / (".wine-" + std::to_string(getuid())) /
                      ("server-" + Hex(info.st_dev) + "-" + Hex(info.st_ino)));
    if (auto recorded = RecordedServerFolder(prefix);
        recorded && std::find(folders.begin(), folders.end(), *recorded) == folders.end()) {
        folders.push_back(*recorded);
    }
    return folders;
}

bool WineServerProbe::isRunning(const std::filesystem::path& prefix) const {
    for (const auto& folder : serverFolders(prefix)) {
        if (LockIsHeldByAnotherProcess(folder / "lock")) return true;
    }
    return false;
}

Status RefuseWhileWineRuns(const WineServerProbe& probe, const std::filesystem::path& prefix) {
    if (!probe.isRunning(prefix)) return Status::Ok();
    return Status::Error("Wine is running for the prefix " + prefix.string() +
                         ": close every Windows program in it (or run `wineserver -k`) and try "
                         "again.");
}

}  // namespace quillet
