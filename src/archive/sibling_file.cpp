#include "archive/sibling_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <random>
#include <string_view>

namespace quillet::archive {

namespace {

constexpr std::string_view kTempMark = ".quillet-";
// Keeps ".<name>.quillet-<pid>-<random>.<library suffix>" within the usual 255-byte name limit.
constexpr std::size_t kMaxNameInTemp = 160;

std::string TempPrefix(const std::filesystem::path& target) {
    std::string name = target.filename().string();
    if (name.size() > kMaxNameInTemp) name.resize(kMaxNameInTemp);
    return "." + name + std::string(kTempMark);
}

std::filesystem::path FolderOf(const std::filesystem::path& target) {
    std::filesystem::path folder = target.parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

std::string RandomSuffix() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::string suffix(8, 'a');
    for (char& c : suffix) c = kLetters[generator() % (sizeof(kLetters) - 1)];
    return suffix;
}

Status SyncPath(const std::filesystem::path& path, int openFlags, const char* what) {
    const int fd = ::open(path.c_str(), openFlags | O_CLOEXEC);
    if (fd < 0) return Status::Error(SystemFailure(what, path, errno));
    const int result = ::fsync(fd);
    const int syncError = errno;
    ::close(fd);
    if (result != 0) return Status::Error(SystemFailure(what, path, syncError));
    return Status::Ok();
}

}  // namespace

std::string SystemFailure(const std::string& what, const std::filesystem::path& path,
                          int errorNumber) {
    return what + " '" + path.string() + "': " + std::strerror(errorNumber);
}

Result<std::filesystem::path> CreateSiblingTemp(const std::filesystem::path& target) {
    const std::filesystem::path folder = FolderOf(target);
    const std::string prefix = TempPrefix(target) + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::filesystem::path temp = folder / (prefix + RandomSuffix());
        const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return temp;
        }
        if (errno != EEXIST) {
            return Status::Error(
                SystemFailure("Cannot create a file in the folder", folder, errno));
        }
    }
    return Status::Error("Cannot find a free temporary name in the folder '" + folder.string() +
                         "'");
}

void RemoveStaleSiblingTemps(const std::filesystem::path& target) {
    const std::filesystem::path folder = FolderOf(target);
    const std::string prefix = TempPrefix(target);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = ::readdir(dir)) {
        std::string_view name = entry->d_name;
        if (name.substr(0, prefix.size()) != prefix) continue;
        std::string_view rest = name.substr(prefix.size());
        pid_t pid = 0;
        const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
        if (error != std::errc() || end == rest.data() || *end != '-' || pid <= 0) continue;
        // Our own process may be saving this very target elsewhere; a live process is at work.
        if (pid == ::getpid()) continue;
        if (::kill(pid, 0) == 0 || errno != ESRCH) continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) continue;
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

Status SyncFile(const std::filesystem::path& file) {
    return SyncPath(file, O_RDONLY, "Cannot flush the file");
}

Status ReplaceWithSibling(const std::filesystem::path& temp, const std::filesystem::path& target) {
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        return Status::Error(SystemFailure("Cannot replace the file", target, errno));
    }
    // The file's data was flushed before the rename; flushing the folder makes the new name
    // durable too. A failure here is not reported: the rename has happened, so reporting a failed
    // replacement would be false, and some file systems refuse fsync on folders.
    (void)SyncPath(FolderOf(target), O_RDONLY | O_DIRECTORY, "Cannot flush the folder");
    return Status::Ok();
}

void RemoveQuietly(const std::filesystem::path& file) {
    // The caller is already reporting a failure; a temporary that cannot be removed is removed by
    // the next run's stale-temporary sweep.
    ::unlink(file.c_str());
}

}  // namespace quillet::archive
