#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet {

// The file-system calls that durable file replacement, the work folders and the mail export make,
// behind one interface so that a test can make any of them fail, or watch their order. Each call
// does what the POSIX call of the same name does and returns 0, or the error number (an errno
// value) of its failure; results come back through the pointers. None throws.
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

    // Folders. (A folder is opened with open() and O_DIRECTORY, and renamed with rename().)
    // mkdir(2).
    virtual int makeFolder(const std::filesystem::path& folder, mode_t mode) = 0;
    // rmdir(2): the folder must be empty.
    virtual int removeFolder(const std::filesystem::path& folder) = 0;
    // Removes `path` and, when it is a folder, everything in it; symbolic links are removed, never
    // followed. 0 when nothing is there.
    virtual int removeTree(const std::filesystem::path& path) = 0;
    // Swaps the two names in one step (renameat2 with RENAME_EXCHANGE): EINVAL or ENOSYS where the
    // file system cannot.
    virtual int exchange(const std::filesystem::path& first,
                         const std::filesystem::path& second) = 0;
};

// How a run names what it leaves behind it while it works: the process id a name carries, or 0
// when the name is none of a run's.
using RunOwnerOfName = std::function<pid_t(std::string_view name)>;

// What a run's leftovers are: files, or folders removed with what they hold.
enum class LeftoverKind { kFile, kFolder };

// Removes, in one listing of `folder`, what runs that no longer run left there: the entries whose
// names `owner` gives the id of a process that does not exist (never this process's own), that are
// of `kind` (a regular file, or a folder; never a symbolic link) and belong to this user. Anything
// else there is never touched. Errors are ignored: a leftover that stays harms nothing but space,
// and the next run tries again.
void RemoveDeadRunsLeftovers(const std::filesystem::path& folder, const RunOwnerOfName& owner,
                             LeftoverKind kind, FileOperations& files);

// The operating system's own calls. It holds no state, so the one instance serves the whole
// process and may be used from any number of threads at once.
FileOperations& RealFileOperations();

}  // namespace quillet
