#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>
#include <vector>

#include "mailstore/folder_output.h"
#include "platform/durable_file.h"
#include "platform/signal_cleanup.h"

namespace quillet::mailstore {

namespace {

constexpr std::size_t kWriteBlock = 256 * 1024;

Status Failure(std::string_view what, const std::filesystem::path& path, int error) {
    const ErrorKind kind = error == ENOSPC || error == EDQUOT ? ErrorKind::kDiskFull
                           : error == EACCES || error == EPERM || error == EROFS
                               ? ErrorKind::kAccessDenied
                               : ErrorKind::kIo;
    return Status::Error(std::string(what) + " " + path.string() + ": " + std::strerror(error),
                         kind);
}

// A name beside `target` that no other run of this process or another uses: ".<name>.quillet-
// <process id>-<tag><number>".
std::filesystem::path SideName(const std::filesystem::path& target, std::string_view tag,
                               unsigned number) {
    return target.parent_path() /
           ("." + target.filename().string() + ".quillet-" + std::to_string(::getpid()) + "-" +
            std::string(tag) + std::to_string(number));
}

// Removes what runs that no longer run left beside `target` under the names SideName gives (a
// killed export, a stopped machine); a run still at work keeps its own. Errors are ignored: a
// leftover harms nothing but space, and the next run tries again.
void RemoveLeftovers(const std::filesystem::path& target) {
    const std::string prefix = "." + target.filename().string() + ".quillet-";
    std::vector<std::string> names;
    FileOperations& files = RealFileOperations();
    if (files.listFolder(target.parent_path(), &names) != 0) return;
    for (const std::string& name : names) {
        if (!name.starts_with(prefix)) continue;
        const std::string_view rest = std::string_view(name).substr(prefix.size());
        const std::size_t dash = rest.find('-');
        if (dash == 0 || dash > 9 || dash == std::string_view::npos) continue;
        pid_t process = 0;
        bool digits = true;
        for (char c : rest.substr(0, dash)) {
            digits = digits && c >= '0' && c <= '9';
            process = process * 10 + (c - '0');
        }
        if (!digits || process == ::getpid() || files.processExists(process)) continue;
        std::error_code ignored;
        std::filesystem::remove_all(target.parent_path() / name, ignored);
    }
}

class EmlOutput : public FolderOutput {
  public:
    EmlOutput(std::filesystem::path target, std::size_t messageCount)
        : m_target(std::move(target)), m_messageCount(messageCount) {}

    ~EmlOutput() override {
        if (m_fd >= 0) ::close(m_fd);
        if (!m_temporary.empty() && !m_committed) {
            // What cannot be removed now harms nothing but space; its name tells what it was.
            std::error_code ignored;
            std::filesystem::remove_all(m_temporary, ignored);
        }
    }

    Status begin() override {
        RemoveLeftovers(m_target);
        for (unsigned number = 0;; ++number) {
            std::filesystem::path candidate = SideName(m_target, "", number);
            if (::mkdir(candidate.c_str(), 0777) == 0) {
                m_temporary = std::move(candidate);
                m_cleanup = SignalCleanupEntry(m_temporary, CleanupKind::kFolder);
                return Status::Ok();
            }
            if (errno != EEXIST) return Failure("Cannot create", candidate, errno);
        }
    }

    Status startMessage(std::size_t position, const MessageEntry&) override {
        m_file = m_temporary / EmlFileName(position, m_messageCount);
        m_buffer.clear();
        return Status::Ok();
    }

    Status write(std::span<const std::byte> piece) override {
        m_buffer.append(reinterpret_cast<const char*>(piece.data()), piece.size());
        return m_buffer.size() < kWriteBlock ? Status::Ok() : writeBuffer();
    }

    Status finishMessage() override {
        if (Status s = writeBuffer(); !s) return s;
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0) return Failure("Cannot write", m_file, errno);
        return Status::Ok();
    }

    Status commit() override {
        // One flush of the file system holds every message file, rather than one per file.
        const int folder = ::open(m_temporary.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder < 0) return Failure("Cannot open", m_temporary, errno);
        const int synced = ::syncfs(folder) == 0 ? 0 : errno;
        ::close(folder);
        if (synced != 0) return Failure("Cannot write", m_temporary, synced);

        struct stat info;
        if (::lstat(m_target.c_str(), &info) != 0) {
            if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
                return Failure("Cannot create", m_target, errno);
            }
        } else {
            if (Status s = replaceTarget(); !s) return s;
            // What was replaced is no longer wanted; a remnant harms nothing but space.
            std::error_code ignored;
            std::filesystem::remove_all(m_temporary, ignored);
        }
        m_committed = true;
        m_cleanup.unlist();
        if (int error = RealFileOperations().syncFolder(m_target.parent_path()); error != 0) {
            return Failure("Cannot write", m_target.parent_path(), error);
        }
        return Status::Ok();
    }

  private:
    // Puts the temporary in place of the folder (or file) there. The two swap in one step where
    // the file system can, so that the target is never missing; the old one is then removed.
    Status replaceTarget() {
        if (::renameat2(AT_FDCWD, m_temporary.c_str(), AT_FDCWD, m_target.c_str(),
                        RENAME_EXCHANGE) != 0) {
            if (errno != EINVAL && errno != ENOSYS) {
                return Failure("Cannot replace", m_target, errno);
            }
            // No exchange here (FAT, some network file systems): the old one steps aside first.
            std::filesystem::path aside;
            struct stat info;
            for (unsigned number = 0; aside.empty() || ::lstat(aside.c_str(), &info) == 0;
                 ++number) {
                aside = SideName(m_target, "old", number);
            }
            if (::rename(m_target.c_str(), aside.c_str()) != 0) {
                return Failure("Cannot replace", m_target, errno);
            }
            if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
                const int error = errno;
                ::rename(aside.c_str(), m_target.c_str());
                return Failure("Cannot replace", m_target, error);
            }
            std::swap(aside, m_temporary);
        }
        // The temporary's name now holds what was replaced.
        return Status::Ok();
    }

    Status writeBuffer() {
        if (m_fd < 0) {
            m_fd = ::open(m_file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd < 0) return Failure("Cannot create", m_file, errno);
        }
        Status status = WriteAllToFd(m_fd, m_buffer);
        m_buffer.clear();
        if (!status)
            return Status::Error("Cannot write " + m_file.string() + ": " + status.reason(),
                                 status.kind());
        return Status::Ok();
    }

    std::filesystem::path m_target;
    std::size_t m_messageCount;
    std::filesystem::path m_temporary;
    std::filesystem::path m_file;
    SignalCleanupEntry m_cleanup;
    std::string m_buffer;
    int m_fd = -1;
    bool m_committed = false;
};

}  // namespace

std::string EmlFileName(std::size_t position, std::size_t messageCount) {
    const std::string number = std::to_string(position + 1);
    const std::size_t width = std::max<std::size_t>(5, std::to_string(messageCount).size());
    return std::string(width > number.size() ? width - number.size() : 0, '0') + number +
           std::string(kEmlExtension);
}

std::unique_ptr<FolderOutput> MakeEmlOutput(std::filesystem::path target,
                                            std::size_t messageCount) {
    return std::make_unique<EmlOutput>(std::move(target), messageCount);
}

}  // namespace quillet::mailstore
