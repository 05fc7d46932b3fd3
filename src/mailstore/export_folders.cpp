#include "mailstore/export_folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <utility>

#include "platform/durable_file.h"

namespace quillet::mailstore {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

Status Failure(const std::string& what, const std::filesystem::path& path, int error) {
    return Status::Error(what + " " + path.string() + ": " + std::strerror(error),
                         KindOfWriteError(error) == ErrorKind::kDiskFull ? ErrorKind::kDiskFull
                         : error == EACCES || error == EPERM || error == EROFS
                             ? ErrorKind::kAccessDenied
                             : ErrorKind::kIo);
}

// Closes the descriptor it holds when it goes.
struct HeldDescriptor {
    int fd = -1;
    ~HeldDescriptor() {
        if (fd >= 0) ::close(fd);
    }
    void reset(int next) {
        if (fd >= 0) ::close(fd);
        fd = next;
    }
    int release() { return std::exchange(fd, -1); }
};

}  // namespace

std::string LinkInTheWay(const std::filesystem::path& path) {
    return path.string() + " is a symbolic link: the export writes nothing through links";
}

ExportFolders::~ExportFolders() {
    if (m_descriptor >= 0) ::close(m_descriptor);
}

Status ExportFolders::open(const std::filesystem::path& outFolder) {
    m_outFolder = outFolder;
    m_descriptor = ::open(outFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_descriptor < 0) return Failure("Cannot open", outFolder, errno);
    return Status::Ok();
}

Status ExportFolders::RefuseLink(int descriptor, const std::string& name,
                                 const std::filesystem::path& path) {
    struct stat info;
    if (::fstatat(descriptor, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISLNK(info.st_mode)) {
        return Status::Error(LinkInTheWay(path), ErrorKind::kInUse);
    }
    return Status::Ok();
}

Status ExportFolders::checkWay(const std::filesystem::path& relative, bool* exists) const {
    *exists = false;
    HeldDescriptor folder{::dup(m_descriptor)};
    if (folder.fd < 0) return Failure("Cannot open", m_outFolder, errno);
    std::filesystem::path path = m_outFolder;
    for (auto part = relative.begin(); part != relative.end(); ++part) {
        const std::string name = part->string();
        path /= name;
        struct stat info;
        if (::fstatat(folder.fd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) return Status::Ok();
            return Failure("Cannot read", path, errno);
        }
        if (S_ISLNK(info.st_mode)) return Status::Error(LinkInTheWay(path), ErrorKind::kInUse);
        if (std::next(part) == relative.end()) break;
        if (!S_ISDIR(info.st_mode)) {
            return Status::Error(path.string() + " is in the way: it is not a folder",
                                 ErrorKind::kInUse);
        }
        folder.reset(::openat(folder.fd, name.c_str(), kFolderFlags));
        if (folder.fd < 0) return Failure("Cannot open", path, errno);
    }
    *exists = !relative.empty();
    return Status::Ok();
}

Result<int> ExportFolders::openFolder(
    const std::filesystem::path& relative,
    const std::function<Status(int, const std::string&, const std::filesystem::path&)>& created) {
    HeldDescriptor folder{::dup(m_descriptor)};
    if (folder.fd < 0) return Failure("Cannot open", m_outFolder, errno);
    std::filesystem::path path = m_outFolder;
    for (const std::filesystem::path& part : relative) {
        const std::string name = part.string();
        path /= name;
        int next = ::openat(folder.fd, name.c_str(), kFolderFlags);
        if (next < 0 && errno == ENOENT) {
            if (::mkdirat(folder.fd, name.c_str(), 0777) != 0 && errno != EEXIST) {
                return Failure("Cannot create", path, errno);
            }
            if (Status s = created(folder.fd, name, path); !s) return s;
            next = ::openat(folder.fd, name.c_str(), kFolderFlags);
        }
        if (next < 0) {
            const int error = errno;
            if (Status link = RefuseLink(folder.fd, name, path); !link) return link;
            if (error == ENOTDIR) {
                return Status::Error(path.string() + " is in the way: it is not a folder",
                                     ErrorKind::kInUse);
            }
            return Failure("Cannot open", path, error);
        }
        folder.reset(next);
    }
    return folder.release();
}

}  // namespace quillet::mailstore
