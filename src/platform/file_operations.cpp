#include "platform/file_operations.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <system_error>

namespace quillet {
namespace {

// Runs a call that returns -1 with errno set on failure, as an error number.
int ErrorOf(int result) { return result == 0 ? 0 : errno; }

class PosixFileOperations : public FileOperations {
  public:
    int open(const std::filesystem::path& file, int flags, mode_t mode, int* fd) override {
        *fd = ::open(file.c_str(), flags | O_CLOEXEC, mode);
        return *fd < 0 ? errno : 0;
    }

    int write(int fd, std::string_view data, std::size_t* written) override {
        const ssize_t count = ::write(fd, data.data(), data.size());
        if (count < 0) {
            *written = 0;
            return errno;
        }
        *written = static_cast<std::size_t>(count);
        return 0;
    }

    int fsync(int fd) override { return ErrorOf(::fsync(fd)); }
    int close(int fd) override { return ErrorOf(::close(fd)); }
    int fchmod(int fd, mode_t mode) override { return ErrorOf(::fchmod(fd, mode)); }
    int fchown(int fd, uid_t owner, gid_t group) override {
        return ErrorOf(::fchown(fd, owner, group));
    }

    int rename(const std::filesystem::path& from, const std::filesystem::path& to) override {
        return ErrorOf(::rename(from.c_str(), to.c_str()));
    }

    int unlink(const std::filesystem::path& file) override {
        return ErrorOf(::unlink(file.c_str()));
    }

    int syncFolder(const std::filesystem::path& folder) override {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return errno;
        const int error = ErrorOf(::fsync(fd));
        ::close(fd);
        return error;
    }

    int status(const std::filesystem::path& file, bool followLinks, struct stat* info) override {
        return ErrorOf(followLinks ? ::stat(file.c_str(), info) : ::lstat(file.c_str(), info));
    }

    int readLink(const std::filesystem::path& link, std::filesystem::path* target) override {
        char buffer[PATH_MAX];
        const ssize_t length = ::readlink(link.c_str(), buffer, sizeof(buffer));
        if (length < 0) return errno;
        if (static_cast<std::size_t>(length) == sizeof(buffer)) return ENAMETOOLONG;
        *target = std::string(buffer, static_cast<std::size_t>(length));
        return 0;
    }

    int listFolder(const std::filesystem::path& folder, std::vector<std::string>* names) override {
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr) return errno;
        errno = 0;
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != "..") names->emplace_back(name);
        }
        const int error = errno;
        ::closedir(dir);
        return error;
    }

    bool processExists(pid_t pid) override { return ::kill(pid, 0) == 0 || errno != ESRCH; }

    int makeFolder(const std::filesystem::path& folder, mode_t mode) override {
        return ErrorOf(::mkdir(folder.c_str(), mode));
    }

    int removeFolder(const std::filesystem::path& folder) override {
        return ErrorOf(::rmdir(folder.c_str()));
    }

    int removeTree(const std::filesystem::path& path) override {
        std::error_code error;
        std::filesystem::remove_all(path, error);
        return error.value();
    }

    int exchange(const std::filesystem::path& first, const std::filesystem::path& second) override {
        return ErrorOf(
            ::renameat2(AT_FDCWD, first.c_str(), AT_FDCWD, second.c_str(), RENAME_EXCHANGE));
    }
};

}  // namespace

void RemoveDeadRunsLeftovers(const std::filesystem::path& folder, const RunOwnerOfName& owner,
                             LeftoverKind kind, FileOperations& files) {
    std::vector<std::string> names;
    if (files.listFolder(folder, &names) != 0) return;
    for (const std::string& name : names) {
        const pid_t pid = owner(name);
        // A run still at work keeps its own; so does this process, which may be at work there.
        if (pid <= 0 || pid == ::getpid() || files.processExists(pid)) continue;
        const std::filesystem::path leftover = folder / name;
        struct stat info {};
        if (files.status(leftover, false, &info) != 0 || info.st_uid != ::geteuid()) continue;
        if (kind == LeftoverKind::kFile && S_ISREG(info.st_mode)) {
            (void)files.unlink(leftover);
        } else if (kind == LeftoverKind::kFolder && S_ISDIR(info.st_mode)) {
            (void)files.removeTree(leftover);
        }
    }
}

FileOperations& RealFileOperations() {
    static PosixFileOperations operations;
    return operations;
}

}  // namespace quillet
