#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/file_operations.h"
#include "platform/signal_cleanup.h"
#include "platform/status.h"

namespace quillet {

// Durable replacement of a file: a crash, a power cut or a full disk at any moment leaves either
// the old file or the complete new one, never a mix, and a replacement reported done survives a
// power cut. The new content goes to a temporary file beside the target; it is flushed (fsync)
// and closed, renamed over the target, and then the folder is flushed, so that the rename itself
// is on the disk.
//
// Temporary files are named ".<target name>.quillet-<process id>-<random>", the random part eight
// lower-case letters or digits (a library that builds its own temporary from ours appends
// ".XXXXXX" to that name). The process id tells a later run a crashed run's leftovers, which it
// removes before it replaces the same target, from the temporaries of a run still at work, which
// it leaves alone. While a temporary exists, its folder is listed for the removal of this
// process's temporaries (with the library's temporaries of them) should SIGINT, SIGTERM or SIGHUP
// end the process (platform/signal_cleanup.h): one listing for each folder, however many
// temporaries a run holds there at once.
//
// A failed flush of the folder fails the replacement. The rename has happened then, so the target
// holds the new content, but it may be lost in a crash, and a caller must not report the work as
// safely done; the reason says that the file was replaced. A file system that cannot flush a
// folder at all (EINVAL, ENOTSUP) makes renames as durable as it allows; that is not a failure.
//
// The new file keeps the permission bits of the file it replaces, and its owner and group, where
// the file system and the process allow it (a failure there does not stop the replacement: FAT
// refuses modes it cannot store); a new file gets mode 0666 less the umask. ReplaceOptions::mode
// fixes the bits instead. When the target is a symbolic link, the file it leads to is replaced and
// the link stays.
//
// Every reason names the file and the system's error text: "Cannot write <target>: No space left
// on device". On any failure before the rename, the target is left as it was and the temporary is
// removed.
//
// Every file-system call goes through the FileOperations given (the operating system's unless a
// test passes another). Calls share no state: different targets may be replaced from different
// threads at once.

// Why a replacement that follows no link refused a target that is one.
inline constexpr char kLinkRefusedReason[] =
    "it is a symbolic link, and this file is never written through one";

struct ReplaceOptions {
    // The new file's permission bits whatever the old file's were and whatever the umask.
    std::optional<mode_t> mode;
    // The caller has removed the stale temporaries of the target's folder already
    // (RemoveStaleTemporariesIn), so begin() does not list the folder again: replacing many files
    // of one folder then lists it once, not once for each file, which would make the work grow
    // with the square of the number of files. (When the target is a symbolic link into another
    // folder, that folder's leftovers wait for a later replacement there.)
    bool folderSwept = false;
    // Whether a symbolic link at the target is followed, as described above. When not (for a
    // name the program chose itself, which no link of the user's should redirect), a link there
    // fails begin() and stays as it was, and the rename replaces the name itself: a link made
    // there meanwhile is replaced, never written through.
    bool followLink = true;
};

// One replacement of `target`, step by step:
//
//     FileReplacement replacement(target);
//     if (Status s = replacement.begin(); !s) return s;
//     if (Status s = replacement.write(content); !s) return s;
//     return replacement.commit();
//
// The temporary is removed when commit() fails, and when the replacement is destroyed before
// commit() renamed it; the target is then left as it was. One thread at a time.
class FileReplacement {
  public:
    explicit FileReplacement(std::filesystem::path target,
                             FileOperations& files = RealFileOperations(),
                             ReplaceOptions options = {});
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Removes the stale temporaries of the target (see RemoveStaleTemporaries) unless
    // ReplaceOptions::folderSwept says so, then creates the empty temporary beside it. Fails when
    // the target is a folder or its folder cannot hold a new file.
    Status begin();

    // Appends to the temporary, continuing after interrupted and partial writes.
    Status write(std::string_view data);

    // The temporary's descriptor, open for writing, for a writer that must seek (one that writes
    // an archive and then its headers): it may write and seek there, through the same
    // FileOperations, instead of calling write(). It stays this replacement's to flush and close.
    // -1 before begin() and after flush().
    int descriptor() const { return m_fd; }

    // Sets the permission bits, flushes the content to the disk and closes the temporary. Its
    // content must be complete; commit() calls it when it was not called before.
    Status flush();

    // Flushes the temporary when flush() was not called, renames it over the target and flushes
    // the folder. A failure before the rename leaves the target as it was; see replaced().
    Status commit();

    // Whether commit() got as far as the rename, so that the target holds the new content (also
    // when flushing the folder then failed).
    bool replaced() const { return m_replaced; }

    // The file replaced: the target, or the file its symbolic link leads to. Known after begin().
    const std::filesystem::path& file() const { return m_file; }
    const std::filesystem::path& temporary() const { return m_temporary; }

  private:
    Status failure(std::string_view what, int error) const;
    void removeTemporary();

    std::filesystem::path m_target;
    FileOperations& m_files;
    ReplaceOptions m_options;
    std::filesystem::path m_file;
    std::filesystem::path m_temporary;
    int m_fd = -1;
    bool m_created = false;
    bool m_flushed = false;
    std::uint64_t m_written = 0;         // bytes appended by write()
    std::uint64_t m_writebackStart = 0;  // the first of them not yet handed to writeback
    bool m_replaced = false;
    // What the old file had, to be given to the new one.
    mode_t m_mode = 0;
    std::optional<std::pair<uid_t, gid_t>> m_owner;
    SignalCleanupEntry m_signalCleanup;
};

// Replaces `target` by `content` in one go (begin, write, commit).
Status ReplaceFile(const std::filesystem::path& target, std::string_view content,
                   FileOperations& files = RealFileOperations(), ReplaceOptions options = {});

// Removes the temporaries of `target` (of the file its symbolic link leads to) left by processes
// that no longer run: regular files of this user named exactly as this target's temporaries (with
// or without a library's suffix), not folders, not another target's, not this process's own. Errors
// are ignored: a leftover that cannot be removed harms nothing but space, and the next run tries
// again.
void RemoveStaleTemporaries(const std::filesystem::path& target,
                            FileOperations& files = RealFileOperations());

// Whether `name` is the name of a temporary of ours (of any target, of any process, with or
// without a library's suffix): work in progress or a dead run's leftover, never a user's file.
bool IsTemporaryName(std::string_view name);

// RemoveStaleTemporaries for every target in `folder` at once, in one listing of the folder.
void RemoveStaleTemporariesIn(const std::filesystem::path& folder,
                              FileOperations& files = RealFileOperations());

// The kind of a failure to write with this error number: a full disk, an exhausted quota and a file
// past the size limit (EFBIG, which writes give under `ulimit -f` once SIGXFSZ is ignored: see
// TreatFileSizeLimitAsFullDisk) are kDiskFull, which the user can act on; the rest kIo.
ErrorKind KindOfWriteError(int error);

// Writes all of `data` to `fd`, continuing after interrupted and partial writes. On failure the
// reason is the system's error text alone; callers add the file's name. A full disk (or quota)
// fails with ErrorKind::kDiskFull, as do FileReplacement's calls.
Status WriteAllToFd(int fd, std::string_view data, FileOperations& files = RealFileOperations());

}  // namespace quillet
