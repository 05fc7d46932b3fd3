#pragma once

#include <filesystem>
#include <string_view>

#include "platform/status.h"

namespace quillet {

// An exclusive flock on a file (made, with its folder, when missing), held from take() until the
// object is destroyed; other processes taking it wait. The file is opened close-on-exec, so the
// programs started meanwhile do not hold it, and without following a symbolic link: a link in
// its place (to a file elsewhere, or to none) is refused, never made or locked through. One
// thread at a time.
class FileLock {
  public:
    FileLock() = default;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // Waits for the lock; fails, naming the file and `purpose` ("to change the crontab"), when
    // the file cannot be made or locked.
    Status take(const std::filesystem::path& file, std::string_view purpose);

  private:
    int m_fd = -1;
};

}  // namespace quillet
