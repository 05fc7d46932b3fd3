#pragma once

#include <zip.h>

#include <cstdint>
#include <string>

#include "platform/file_operations.h"

namespace quillet::archive {

// Where libzip writes a new archive: a libzip source that writes it into an open, empty file
// through `files`, so that every write of the archive's bytes goes through the file-operations
// seam. Writes are gathered into large pieces. The descriptor stays open and is not flushed to
// the disk: its owner does both, as it does for any temporary.
//
// libzip is told that no archive exists yet, so the archive must be opened with ZIP_CREATE;
// nothing is ever read back through this source. This object and the descriptor must outlive
// the libzip source (which the archive owns and frees). One thread at a time.
class ArchiveOutput {
  public:
    ArchiveOutput(int fd, FileOperations& files) : m_fd(fd), m_files(files) {
        zip_error_init(&m_error);
    }
    ~ArchiveOutput() { zip_error_fini(&m_error); }
    ArchiveOutput(const ArchiveOutput&) = delete;
    ArchiveOutput& operator=(const ArchiveOutput&) = delete;

    // A new libzip source over this object; null (with `error` set) when out of memory.
    zip_source_t* makeZipSource(zip_error_t* error);

    // The system's message for the first call that failed ("No space left on device"); empty
    // while none failed. The caller names the file, as the user knows it.
    const std::string& failureReason() const { return m_failureReason; }

  private:
    static zip_int64_t Callback(void* self, void* data, zip_uint64_t length, zip_source_cmd_t cmd);
    zip_int64_t handle(void* data, zip_uint64_t length, zip_source_cmd_t cmd);
    // Records the failure; returns false.
    bool fail(int zipError, int systemError);
    bool seekTo(std::uint64_t offset);
    bool flushPending();
    bool seekWrite(void* data, zip_uint64_t length);

    int m_fd;
    FileOperations& m_files;
    zip_error_t m_error;
    std::string m_failureReason;
    std::string m_pending;         // written by libzip, not yet given to the file
    std::uint64_t m_position = 0;  // where m_pending goes in the file
    std::uint64_t m_end = 0;       // the file's length, with m_pending counted
};

}  // namespace quillet::archive
