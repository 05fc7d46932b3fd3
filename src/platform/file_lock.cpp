#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace quillet {

FileLock::~FileLock() {
    if (m_fd >= 0) close(m_fd);
}

Status FileLock::take(const std::filesystem::path& file, std::string_view purpose) {
    std::error_code error;
    std::filesystem::create_directories(file.parent_path(), error);
    m_fd = open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    int result = m_fd < 0 ? -1 : 0;
    while (result == 0 && flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) result = -1;
    }
    if (result != 0) {
        return Status::Error("cannot lock " + file.string() + " " + std::string(purpose) + ": " +
                             (errno == ELOOP ? "it is a symbolic link" : std::strerror(errno)));
    }
    return Status::Ok();
}

}  // namespace quillet
