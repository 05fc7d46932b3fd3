#include "platform/durable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace quillet {
namespace {

constexpr std::string_view kTemporaryMark = ".quillet-";
// Keeps ".<name>.quillet-<pid>-<random>.<library suffix>" within the usual 255-byte name limit.
constexpr std::size_t kMaxNameInTemporary = 160;
constexpr mode_t kPermissionBits = 07777;
constexpr int kMaxLinks = 40;  // as the kernel's own limit on a chain of symbolic links
constexpr int kNameAttempts = 100;
constexpr std::size_t kRandomLength = 8;
constexpr std::size_t kLibrarySuffixLength = 6;

std::filesystem::path FolderOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

// ".<name>.quillet-": what every temporary of `file` starts with.
std::string TemporaryPrefix(const std::filesystem::path& file) {
    std::string name = file.filename().string();
    if (name.size() > kMaxNameInTemporary) name.resize(kMaxNameInTemporary);
    return "." + name + std::string(kTemporaryMark);
}

std::string RandomPart() {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::string part(kRandomLength, 'a');
    for (char& c : part) c = kLetters[generator() % (sizeof(kLetters) - 1)];
    return part;
}

// The file `target` stands for: itself, or the file at the end of its chain of symbolic links.
int ResolveLinks(FileOperations& files, const std::filesystem::path& target,
                 std::filesystem::path* file) {
    std::filesystem::path current = target;
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        std::filesystem::path next;
        const int error = files.readLink(current, &next);
        if (error == EINVAL || error == ENOENT) {  // not a link, or nothing there yet
            *file = current;
            return 0;
        }
        if (error != 0) return error;
        current = next.is_absolute() ? next : FolderOf(current) / next;
    }
    return ELOOP;
}

bool IsRandomPart(std::string_view text) {
    if (text.size() != kRandomLength) return false;
    for (const char c : text) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    }
    return true;
}

// A library's suffix on our temporary's name: ".XXXXXX", letters and digits.
bool IsLibrarySuffix(std::string_view text) {
    if (text.size() != 1 + kLibrarySuffixLength || text.front() != '.') return false;
    for (const char c : text.substr(1)) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) {
            return false;
        }
    }
    return true;
}

// The process id in `name` when it is exactly a temporary of ours, "<prefix><pid>-<random>"
// with or without a library's suffix; 0 for any other name.
pid_t OwnerOfTemporary(std::string_view name, std::string_view prefix) {
    if (name.substr(0, prefix.size()) != prefix) return 0;
    name.remove_prefix(prefix.size());
    if (name.empty() || name.front() < '1' || name.front() > '9') return 0;
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (error != std::errc() || pid <= 0) return 0;
    std::string_view rest(end, static_cast<std::size_t>(name.data() + name.size() - end));
    if (rest.empty() || rest.front() != '-') return 0;
    rest.remove_prefix(1);
    if (!IsRandomPart(rest.substr(0, kRandomLength))) return 0;
    rest.remove_prefix(kRandomLength);
    return rest.empty() || IsLibrarySuffix(rest) ? pid : 0;
}

// The process id in `name` when it is a temporary of ours of any target; 0 for any other name.
pid_t OwnerOfAnyTemporary(std::string_view name) {
    if (name.empty() || name.front() != '.') return 0;
    const std::size_t mark = name.rfind(kTemporaryMark);
    if (mark == std::string_view::npos || mark == 0) return 0;
    return OwnerOfTemporary(name, name.substr(0, mark + kTemporaryMark.size()));
}

// Whether `name` is a temporary of this process: the signal handler's test (it reads the name
// and asks getpid, nothing else).
bool IsOwnTemporary(const char* name) { return OwnerOfAnyTemporary(name) == ::getpid(); }

void RemoveStaleTemporariesOf(FileOperations& files, const std::filesystem::path& file) {
    const std::string prefix = TemporaryPrefix(file);
    RemoveDeadRunsLeftovers(
        FolderOf(file), [&prefix](std::string_view name) { return OwnerOfTemporary(name, prefix); },
        LeftoverKind::kFile, files);
}

}  // namespace

FileReplacement::FileReplacement(std::filesystem::path target, FileOperations& files,
                                 ReplaceOptions options)
    : m_target(std::move(target)), m_files(files), m_options(options) {}

FileReplacement::~FileReplacement() { removeTemporary(); }

Status FileReplacement::failure(std::string_view what, int error) const {
    return Status::Error(
        "Cannot write " + m_target.string() + ": " + std::string(what) + std::strerror(error),
        KindOfWriteError(error));
}

Status FileReplacement::begin() {
    if (m_options.followLink) {
        if (int error = ResolveLinks(m_files, m_target, &m_file); error != 0) {
            return failure("", error);
        }
    } else {
        std::filesystem::path linked;
        const int error = m_files.readLink(m_target, &linked);
        if (error == 0) {
            return Status::Error("Cannot write " + m_target.string() + ": " + kLinkRefusedReason +
                                     " (it leads to " + linked.string() + ")",
                                 ErrorKind::kAccessDenied);
        }
        if (error != EINVAL && error != ENOENT) return failure("", error);
        m_file = m_target;
    }
    if (!m_file.has_filename()) {
        return Status::Error("Cannot write " + m_target.string() + ": not a file name");
    }
    struct stat old {};
    const int missing = m_files.status(m_file, m_options.followLink, &old);
    if (missing != 0 && missing != ENOENT) return failure("", missing);
    const bool existed = missing == 0;
    if (existed && S_ISDIR(old.st_mode)) return failure("", EISDIR);
    if (existed) {
        m_mode = old.st_mode & kPermissionBits;
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
            m_owner = std::make_pair(old.st_uid, old.st_gid);
        }
    }

    if (!m_options.folderSwept) RemoveStaleTemporariesOf(m_files, m_file);
    const std::string prefix = TemporaryPrefix(m_file) + std::to_string(::getpid()) + "-";
    // Listed before the temporary is made, so that no signal finds it made and not listed.
    SignalCleanupEntry cleanup(FolderOf(m_file), IsOwnTemporary);
    for (int attempt = 0; attempt < kNameAttempts && !m_created; ++attempt) {
        m_temporary = FolderOf(m_file) / (prefix + RandomPart());
        const int error = m_files.open(m_temporary, O_WRONLY | O_CREAT | O_EXCL, 0666, &m_fd);
        if (error == 0) {
            m_created = true;
            m_signalCleanup = std::move(cleanup);
        } else if (error != EEXIST) {
            return failure("cannot create a temporary file beside it: ", error);
        }
    }
    if (!m_created) {
        return Status::Error("Cannot write " + m_target.string() +
                             ": no free name for a temporary file beside it");
    }
    if (!existed) {
        // The mode open() gave the new file is 0666 less the umask, which is what a new file gets.
        struct stat created {};
        if (int error = m_files.status(m_temporary, false, &created); error != 0) {
            return failure("", error);
        }
        m_mode = created.st_mode & kPermissionBits;
    }
    if (m_options.mode) m_mode = *m_options.mode;
    return Status::Ok();
}

Status FileReplacement::write(std::string_view data) {
    if (m_fd < 0) {
        return Status::Error("Cannot write " + m_target.string() +
                             ": the temporary file is not open for writing");
    }
    Status written = WriteAllToFd(m_fd, data, m_files);
    if (!written) {
        return Status::Error("Cannot write " + m_target.string() + ": " + written.reason(),
                             written.kind());
    }
    // Large files are handed to the disk's writeback as they grow, so that the flush at the end
    // waits for the last few megabytes instead of the whole file. A hint only: the flush still
    // decides, so a failure of the hint is of no consequence.
    constexpr std::uint64_t kWritebackStep = 8 << 20;
    m_written += data.size();
    if (m_written - m_writebackStart >= kWritebackStep) {
        (void)::sync_file_range(m_fd, static_cast<off_t>(m_writebackStart),
                                static_cast<off_t>(m_written - m_writebackStart),
                                SYNC_FILE_RANGE_WRITE);
        m_writebackStart = m_written;
    }
    return written;
}

Status FileReplacement::flush() {
    if (m_flushed) return Status::Ok();
    if (!m_created) {
        return Status::Error("Cannot write " + m_target.string() + ": no temporary file was made");
    }
    // Keeping the old mode and owner is best effort: file systems such as FAT on a memory stick
    // refuse modes they cannot store, only a privileged process may give a file back to its
    // owner, and the content matters more than either.
    (void)m_files.fchmod(m_fd, m_mode);
    if (m_owner) (void)m_files.fchown(m_fd, m_owner->first, m_owner->second);
    int error = m_files.fsync(m_fd);
    // close() reports its own error: some file systems (NFS) report a failed write there.
    const int closeError = m_files.close(m_fd);
    m_fd = -1;
    if (error == 0) error = closeError;
    if (error != 0) return failure("", error);
    m_flushed = true;
    return Status::Ok();
}

Status FileReplacement::commit() {
    if (Status flushed = flush(); !flushed) {
        removeTemporary();
        return flushed;
    }
    if (int error = m_files.rename(m_temporary, m_file); error != 0) {
        removeTemporary();
        return failure("", error);
    }
    m_replaced = true;
    m_signalCleanup.unlist();
    const int error = m_files.syncFolder(FolderOf(m_file));
    if (error != 0 && error != EINVAL && error != ENOTSUP) {
        return failure("the file was replaced but its folder cannot be flushed: ", error);
    }
    return Status::Ok();
}

void FileReplacement::removeTemporary() {
    if (m_fd >= 0) {
        (void)m_files.close(m_fd);  // the content is being thrown away
        m_fd = -1;
    }
    if (m_created && !m_replaced) {
        // A temporary that cannot be removed is removed by a later run's sweep.
        (void)m_files.unlink(m_temporary);
    }
    m_signalCleanup.unlist();
    m_created = false;
}

Status ReplaceFile(const std::filesystem::path& target, std::string_view content,
                   FileOperations& files, ReplaceOptions options) {
    FileReplacement replacement(target, files, options);
    if (Status begun = replacement.begin(); !begun) return begun;
    if (Status written = replacement.write(content); !written) return written;
    return replacement.commit();
}

void RemoveStaleTemporaries(const std::filesystem::path& target, FileOperations& files) {
    std::filesystem::path file;
    if (ResolveLinks(files, target, &file) != 0) file = target;
    RemoveStaleTemporariesOf(files, file);
}

bool IsTemporaryName(std::string_view name) { return OwnerOfAnyTemporary(name) != 0; }

ErrorKind KindOfWriteError(int error) {
    return error == ENOSPC || error == EDQUOT || error == EFBIG ? ErrorKind::kDiskFull
                                                                : ErrorKind::kIo;
}

void RemoveStaleTemporariesIn(const std::filesystem::path& folder, FileOperations& files) {
    RemoveDeadRunsLeftovers(folder, OwnerOfAnyTemporary, LeftoverKind::kFile, files);
}

Status WriteAllToFd(int fd, std::string_view data, FileOperations& files) {
    while (!data.empty()) {
        std::size_t written = 0;
        const int error = files.write(fd, data, &written);
        if (error == EINTR) continue;
        if (error != 0) return Status::Error(std::strerror(error), KindOfWriteError(error));
        if (written == 0) return Status::Error(std::strerror(ENOSPC), ErrorKind::kDiskFull);
        data.remove_prefix(written);
    }
    return Status::Ok();
}

}  // namespace quillet
