#include "archive/source_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace quillet::archive {

namespace {

bool SameFile(const SourceFile& file, const struct stat& now) {
    return now.st_dev == file.device && now.st_ino == file.inode &&
           static_cast<std::uint64_t>(now.st_size) == file.size &&
           now.st_mtim.tv_sec == file.modified.tv_sec &&
           now.st_mtim.tv_nsec == file.modified.tv_nsec;
}

}  // namespace

Result<SourceFile> SourceFile::Gather(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return Status::Error("Cannot add the file '" + path.string() +
                             "': " + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        return Status::Error("Cannot add '" + path.string() + "': not a regular file");
    }
    SourceFile file;
    file.path = path;
    file.device = info.st_dev;
    file.inode = info.st_ino;
    file.size = static_cast<std::uint64_t>(info.st_size);
    file.modified = info.st_mtim;
    return file;
}

SourceReader::~SourceReader() {
    if (m_fd >= 0) ::close(m_fd);
}

Status SourceReader::open() {
    m_fd = ::open(m_file.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return Status::Error(std::string("Cannot open the file: ") + std::strerror(errno));
    if (Status same = checkUnchanged(); !same) return same;
    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);  // a hint; failure changes nothing
    return Status::Ok();
}

Status SourceReader::readAt(std::uint64_t offset, std::span<std::byte> out) {
    std::size_t have = 0;
    while (have < out.size()) {
        const ssize_t count =
            ::pread(m_fd, out.data() + have, out.size() - have, static_cast<off_t>(offset + have));
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            return Status::Error(std::string("Cannot read the file: ") + std::strerror(errno));
        }
        if (count == 0) return Status::Error("The file became shorter while it was being saved");
        have += static_cast<std::size_t>(count);
    }
    return Status::Ok();
}

Status SourceReader::checkUnchanged() const {
    struct stat now {};
    if (::fstat(m_fd, &now) != 0) {
        return Status::Error(std::string("Cannot read the file: ") + std::strerror(errno));
    }
    if (!SameFile(m_file, now)) return Status::Error(kSourceChangedReason);
    return Status::Ok();
}

}  // namespace quillet::archive
