#include "platform/wine_server_probe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

namespace quillet {
namespace {

namespace fs = std::filesystem;

std::string Hex(std::uint64_t value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%llx", static_cast<unsigned long long>(value));
    return text;
}

std::string FirstLine(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

// What Debian's Wine records in `<prefix>/wineserver`: the name of its temporary server root,
// relative to the temporary folder it used. Empty when there is no record.
fs::path ServerRootRecord(const fs::path& prefix) {
    const fs::path record = prefix / "wineserver";
    std::error_code error;
    const auto state = fs::symlink_status(record, error);
    if (fs::is_symlink(state)) {
        fs::path target = fs::read_symlink(record, error);
        return error ? fs::path() : target;
    }
    if (fs::is_regular_file(state)) return FirstLine(record);
    return {};
}

bool LockIsHeldByAnotherProcess(const fs::path& lockFile) {
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

bool IsProcessId(const std::string& name) {
    return !name.empty() &&
           std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); });
}

// The folder a process works in, by name; the kernel marks a removed folder " (deleted)", and a
// server whose folder was removed still runs.
std::string WorkingFolderName(const fs::path& processFolder) {
    std::error_code error;
    std::string folder = fs::read_symlink(processFolder / "cwd", error).string();
    if (error) return {};
    constexpr std::string_view kDeleted = " (deleted)";
    if (folder.ends_with(kDeleted)) folder.erase(folder.size() - kDeleted.size());
    return fs::path(folder).filename().string();
}

}  // namespace

WineServerPlaces WineServerPlaces::FromEnvironment(const Environment& env) {
    WineServerPlaces places;
    if (auto tmpDir = env.get("TMPDIR"); tmpDir && !tmpDir->empty()) places.tmpDir = *tmpDir;
    return places;
}

WineServerProbe::WineServerProbe(fs::path tmpRoot) { m_places.tmpRoot = std::move(tmpRoot); }

WineServerProbe::WineServerProbe(WineServerPlaces places) : m_places(std::move(places)) {}

std::optional<std::string> WineServerProbe::ServerFolderName(const fs::path& prefix) {
    struct stat info {};
    if (stat(prefix.c_str(), &info) != 0) return std::nullopt;
    // Wine prints dev and ino with %lx; on 32-bit systems a 64-bit value is printed as two
    // halves (%lx%08lx), which gives the same digits.
    return "server-" + Hex(info.st_dev) + "-" + Hex(info.st_ino);
}

std::vector<fs::path> WineServerProbe::serverFolders(const fs::path& prefix) const {
    std::vector<fs::path> folders;
    const auto name = ServerFolderName(prefix);
    if (!name) return folders;
    const std::string uid = std::to_string(m_places.uid);
    std::vector<fs::path> roots{m_places.tmpRoot / (".wine-" + uid),
                                m_places.runtimeRoot / uid / "wine"};
    if (const fs::path record = ServerRootRecord(prefix); !record.empty()) {
        if (record.is_absolute()) {
            roots.push_back(record);
        } else {
            // The record does not say which temporary folder it is relative to: the server's
            // $TMPDIR may differ from ours, so both are tried.
            if (m_places.tmpDir) roots.push_back(*m_places.tmpDir / record);
            roots.push_back(m_places.tmpRoot / record);
        }
    }
    for (const fs::path& root : roots) {
        fs::path folder = (root / *name).lexically_normal();
        if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
            folders.push_back(std::move(folder));
        }
    }
    return folders;
}

std::optional<pid_t> WineServerProbe::serverProcess(const fs::path& prefix) const {
    const auto name = ServerFolderName(prefix);
    if (!name) return std::nullopt;
    std::error_code error;
    fs::directory_iterator entry(m_places.procRoot, error);
    // Processes come and go while the list is read; one that went is simply not a server.
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        const fs::path& processFolder = entry->path();
        const std::string pid = processFolder.filename().string();
        if (!IsProcessId(pid)) continue;
        struct stat owner {};
        if (stat(processFolder.c_str(), &owner) != 0 || owner.st_uid != m_places.uid) continue;
        // The kernel names a process after its program, cut to 15 characters: `wineserver`,
        // or `wineserver64` for Debian's build.
        if (!FirstLine(processFolder / "comm").starts_with("wineserver")) continue;
        if (WorkingFolderName(processFolder) == *name) {
            return static_cast<pid_t>(std::strtol(pid.c_str(), nullptr, 10));
        }
    }
    return std::nullopt;
}

std::optional<fs::path> WineServerProbe::lockedServerFolder(const fs::path& prefix) const {
    for (const auto& folder : serverFolders(prefix)) {
        if (LockIsHeldByAnotherProcess(folder / "lock")) return folder;
    }
    return std::nullopt;
}

bool WineServerProbe::isRunning(const fs::path& prefix) const {
    return lockedServerFolder(prefix) || serverProcess(prefix);
}

Status RefuseWhileWineRuns(const WineServerProbe& probe, const fs::path& prefix) {
    if (!probe.isRunning(prefix)) return Status::Ok();
    return Status::Error("Wine is running for the prefix " + prefix.string() +
                         ": close every Windows program in it (or run `wineserver -k`) and try "
                         "again.");
}

}  // namespace quillet
