#include "archive/archive_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace quillet::archive {
namespace {

// Large enough that a write costs little next to the data, small enough to hold in memory.
constexpr std::size_t kPendingLimit = std::size_t{1} << 20;

}  // namespace

zip_source_t* ArchiveOutput::makeZipSource(zip_error_t* error) {
    return zip_source_function_create(&ArchiveOutput::Callback, this, error);
}

zip_int64_t ArchiveOutput::Callback(void* self, void* data, zip_uint64_t length,
                                    zip_source_cmd_t cmd) {
    return static_cast<ArchiveOutput*>(self)->handle(data, length, cmd);
}

bool ArchiveOutput::fail(int zipError, int systemError) {
    zip_error_set(&m_error, zipError, systemError);
    if (systemError != 0 && m_failureReason.empty()) {
        m_failureReason = std::strerror(systemError);
    }
    return false;
}

zip_int64_t ArchiveOutput::handle(void* data, zip_uint64_t length, zip_source_cmd_t cmd) {
    switch (cmd) {
        case ZIP_SOURCE_SUPPORTS:
            return ZIP_SOURCE_SUPPORTS_WRITABLE;
        case ZIP_SOURCE_STAT:
            // No archive to read: libzip starts a new one.
            zip_error_set(&m_error, ZIP_ER_READ, ENOENT);
            return -1;
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&m_error, data, length);
        case ZIP_SOURCE_BEGIN_WRITE:
            m_pending.clear();
            m_end = 0;
            return seekTo(0) ? 0 : -1;
        case ZIP_SOURCE_WRITE:
            m_pending.append(static_cast<const char*>(data), length);
            m_end = std::max<std::uint64_t>(m_end, m_position + m_pending.size());
            if (m_pending.size() >= kPendingLimit && !flushPending()) return -1;
            return static_cast<zip_int64_t>(length);
        case ZIP_SOURCE_TELL_WRITE:
            return static_cast<zip_int64_t>(m_position + m_pending.size());
        case ZIP_SOURCE_SEEK_WRITE:
            return seekWrite(data, length) ? 0 : -1;
        case ZIP_SOURCE_COMMIT_WRITE:
            return flushPending() ? 0 : -1;
        case ZIP_SOURCE_ROLLBACK_WRITE:
        case ZIP_SOURCE_REMOVE:
            // The descriptor's owner throws the file away when the archive is not wanted.
            m_pending.clear();
            return 0;
        case ZIP_SOURCE_CLOSE:
        case ZIP_SOURCE_FREE:
            return 0;
        default:
            zip_error_set(&m_error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

bool ArchiveOutput::seekTo(std::uint64_t offset) {
    // A seek on a regular file fails only for a bad offset, which libzip never asks for; it
    // stays outside the seam.
    if (::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
        return fail(ZIP_ER_SEEK, errno);
    }
    m_position = offset;
    return true;
}

bool ArchiveOutput::flushPending() {
    if (m_pending.empty()) return true;
    // As WriteAllToFd, but keeping the error number, which libzip passes on.
    std::string_view rest = m_pending;
    while (!rest.empty()) {
        std::size_t written = 0;
        const int error = m_files.write(m_fd, rest, &written);
        if (error == EINTR) continue;
        if (error != 0) return fail(ZIP_ER_WRITE, error);
        if (written == 0) return fail(ZIP_ER_WRITE, ENOSPC);
        rest.remove_prefix(written);
    }
    m_position += m_pending.size();
    m_pending.clear();
    return true;
}

bool ArchiveOutput::seekWrite(void* data, zip_uint64_t length) {
    if (!flushPending()) return false;
    const zip_int64_t offset =
        zip_source_seek_compute_offset(m_position, m_end, data, length, &m_error);
    if (offset < 0) return false;
    return seekTo(static_cast<std::uint64_t>(offset));
}

}  // namespace quillet::archive
