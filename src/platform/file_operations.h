#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// The file-system calls that durable file replacement makes, behind one interface so that a test
// can make any of them fail, or watch their order. Each call does what the POSIX call of the same
// name does and returns 0, or the error number (an errno value) of its failure; results come back
// through the pointers. None throws.
class FileOperations {
  public:
    virtual ~FileOperations() = default;

    // open(2), always with O_CLOEXEC; the new descriptor in *fd.
    virtual int open(const std::filesystem::path& file, int flags, mode_t mode, int* fd) = 0;
    // One write(2), which may write fewer bytes than asked: their number in *written.
    virtual int write(int fd, std::string_view data, std::size_t* written) = 0;
    virtual int fsync(int fd) = 0;
    virtual int close(int fd) = 0;
    virtual int fchmod(int fd, mode_t mode) = 0;
    virtual int fchown(int fd, uid_t owner, gid_t group) = 0;
    virtual int rename(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
    virtual int unlink(const std::filesystem::path& file) = 0;
    // Opens a folder, flushes it (fsync) and closes it, so that the names created, renamed or
    // removed in it survive a crash.
    virtual int syncFolder(const std::filesystem::path& folder) = 0;
    // stat(2) when followLinks, else lstat(2).
    virtual int status(const std::filesystem::path& file, bool followLinks, struct stat* info) = 0;
    // readlink(2): EINVAL when `link` is not a symbolic link.
    virtual int readLink(const std::filesystem::path& link, std::filesystem::path* target) = 0;
    // The names in a folder, without "." and "..".
    virtual int listFolder(const std::filesystem::path& folder,
                           std::vector<std::string>* names) = 0;
    // Whether a process with this id exists (kill(pid, 0) does not fail with ESRCH).
    virtual bool processExists(pid_t pid) = 0;
};

// The operating system's own calls. It holds no state, so the one instance serves the whole
// process and may be used from any number of threads at once.
FileOperations& RealFileOperations();

}  // namespace quillet
