#include "platform/atomic_file.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

namespace quillet {
namespace {

constexpr std::string_view kTemporaryMark = ".quillet-";
constexpr mode_t kNewFileMode = 0644;
constexpr mode_t kPermissionBits = 07777;
constexpr size_t kRandomPartLength = 6;  // the XXXXXX of mkstemp

std::string TemporaryPrefix(std::string_view targetName) {
    return "." + std::string(targetName) + std::string(kTemporaryMark);
}

Status SystemError(const std::filesystem::path& target, std::string_view what, int error) {
    return Status::Error("Cannot write " + target.string() + ": " + std::string(what) +
                         std::strerror(error));
}

// Removes the temporary file when the replacement does not get as far as renaming it.
class TemporaryFile {
  public:
    explicit TemporaryFile(std::string path) : m_path(std::move(path)) {}
    ~TemporaryFile() {
        if (m_fd >= 0) close(m_fd);
        if (!m_kept) unlink(m_path.c_str());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return m_fd; }
    void setFd(int fd) { m_fd = fd; }
    // Closes the descriptor, reporting close's own error (NFS reports write errors there).
    int closeFd() {
        const int result = close(m_fd);
        m_fd = -1;
        return result;
    }
    void keep() { m_kept = true; }
    const std::string& path() const { return m_path; }
    char* pattern() { return m_path.data(); }

  private:
    std::string m_path;
    int m_fd = -1;
    bool m_kept = false;
};

Status SyncFolder(const std::filesystem::path& folder, const std::filesystem::path& target) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return SystemError(target,
                           "the file was replaced but its folder cannot be flushed: ", errno);
    }
    int result = fsync(fd);
    const int error = errno;
    close(fd);
    // Some file systems cannot flush a folder; the rename is then as durable as they allow.
    if (result != 0 && error != EINVAL && error != ENOTSUP) {
        return SystemError(target,
                           "the file was replaced but its folder cannot be flushed: ", error);
    }
    return Status::Ok();
}

}  // namespace

Status WriteAllToFd(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return Status::Error(std::strerror(errno));
        }
        if (written == 0) return Status::Error(std::strerror(ENOSPC));
        data.remove_prefix(static_cast<size_t>(written));
    }
    return Status::Ok();
}

Status ReplaceFileAtomically(const std::filesystem::path& target, std::string_view content) {
    return ReplaceFileAtomically(target, [content](int fd) { return WriteAllToFd(fd, content); });
}

Status ReplaceFileAtomically(const std::filesystem::path& requestedTarget,
                             const std::function<Status(int fd)>& writeContent) {
    std::filesystem::path target = requestedTarget;
    std::error_code linkError;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(target, linkError))) {
        // Replace the file the link leads to, so the link itself survives.
        target = std::filesystem::weakly_canonical(target, linkError);
        if (linkError) {
            return Status::Error("Cannot write " + requestedTarget.string() + ": " +
                                 linkError.message());
        }
    }
    if (!target.has_filename()) {
        return Status::Error("Cannot write " + target.string() + ": not a file name");
    }
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");

    struct stat old {};
    const bool existed = stat(target.c_str(), &old) == 0;
    if (!existed && errno != ENOENT) return SystemError(target, "", errno);
    if (existed && S_ISDIR(old.st_mode)) return SystemError(target, "", EISDIR);

    TemporaryFile temporary(
        (folder / (TemporaryPrefix(target.filename().string()) + "XXXXXX")).string());
    const int fd = mkostemp(temporary.pattern(), O_CLOEXEC);
    if (fd < 0) return SystemError(target, "cannot create a temporary file beside it: ", errno);
    temporary.setFd(fd);

    if (fchmod(fd, existed ? (old.st_mode & kPermissionBits) : kNewFileMode) != 0) {
        return SystemError(target, "", errno);
    }
    if (existed && (old.st_uid != geteuid() || old.st_gid != getegid())) {
        // Only a privileged process may give the file back to its owner; for anyone else the
        // owner is already right or cannot be kept, and the content matters more.
        (void)fchown(fd, old.st_uid, old.st_gid);
    }

    if (Status written = writeContent(fd); !written) {
        return Status::Error("Cannot write " + target.string() + ": " + written.reason());
    }
    if (fsync(temporary.fd()) != 0) return SystemError(target, "", errno);
    if (temporary.closeFd() != 0) return SystemError(target, "", errno);
    if (rename(temporary.path().c_str(), target.c_str()) != 0) {
        return SystemError(target, "", errno);
    }
    temporary.keep();
    return SyncFolder(folder, target);
}

void RemoveStaleTemporaries(const std::filesystem::path& folder, std::string_view targetName) {
    const std::string prefix = TemporaryPrefix(targetName);
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) return;
    for (auto it = std::filesystem::begin(entries); it != std::filesystem::end(entries);
         it.increment(error)) {
        if (error) return;
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + kRandomPartLength ||
            name.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        std::error_code ignored;
        if (it->is_regular_file(ignored)) std::filesystem::remove(it->path(), ignored);
    }
}

}  // namespace quillet
