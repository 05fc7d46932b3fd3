#include "platform/prefix_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace quillet {

PrefixLock::PrefixLock(std::filesystem::path prefix) : m_prefix(std::move(prefix)) {}

PrefixLock::~PrefixLock() {
    if (m_fd >= 0) close(m_fd);  // closing the last descriptor drops the flock
}

Status PrefixLock::acquire() { return lock(true); }

Status PrefixLock::tryAcquire() { return lock(false); }

Status PrefixLock::lock(bool wait) {
    if (m_depth > 0) {
        ++m_depth;
        return Status::Ok();
    }
    const int fd = open(m_prefix.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return Status::Error("Cannot open the Wine prefix " + m_prefix.string() +
                             " to lock it: " + std::strerror(errno));
    }
    int result;
    do {
        result = flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int error = errno;
        close(fd);
        if (error == EWOULDBLOCK) {
            return Status::Error("Another Quillet run is using the Wine prefix " +
                                 m_prefix.string() + "; try again when it has finished.");
        }
        return Status::Error("Cannot lock the Wine prefix " + m_prefix.string() + ": " +
                             std::strerror(error));
    }
    m_fd = fd;
    m_depth = 1;
    return Status::Ok();
}

void PrefixLock::release() {
    if (m_depth == 0) return;
    if (--m_depth > 0) return;
    close(m_fd);
    m_fd = -1;
}

Result<PrefixLock::Guard> PrefixLock::hold() {
    Status status = acquire();
    if (!status) return status;
    return Guard(this);
}

PrefixLock::Guard::~Guard() {
    if (m_lock != nullptr) m_lock->release();
}

PrefixLock::Guard::Guard(Guard&& other) noexcept : m_lock(std::exchange(other.m_lock, nullptr)) {}

PrefixLock::Guard& PrefixLock::Guard::operator=(Guard&& other) noexcept {
    if (this != &other) {
        if (m_lock != nullptr) m_lock->release();
        m_lock = std::exchange(other.m_lock, nullptr);
    }
    return *this;
}

}  // namespace quillet
