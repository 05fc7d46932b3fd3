#include "mailstore/side_folder.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "platform/file_operations.h"

namespace quillet::mailstore {

namespace {

// A name beside `target` that no other run of this process or another uses: ".<name>.quillet-
// <process id>-<tag><number>".
std::filesystem::path SideName(const std::filesystem::path& target, std::string_view tag,
                               unsigned number) {
    return target.parent_path() /
           ("." + target.filename().string() + ".quillet-" + std::to_string(::getpid()) + "-" +
            std::string(tag) + std::to_string(number));
}

// Removes what runs that no longer run left beside `target` under the names SideName gives; a
// run still at work keeps its own. Errors are ignored: a leftover harms nothing but space, and
// the next run tries again.
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

}  // namespace

Status OutputFailure(std::string_view what, const std::filesystem::path& path, int error) {
    const ErrorKind kind = error == ENOSPC || error == EDQUOT ? ErrorKind::kDiskFull
                           : error == EACCES || error == EPERM || error == EROFS
                               ? ErrorKind::kAccessDenied
                               : ErrorKind::kIo;
    return Status::Error(std::string(what) + " " + path.string() + ": " + std::strerror(error),
                         kind);
}

Result<std::filesystem::path> MakeSideFolder(const std::filesystem::path& target) {
    RemoveLeftovers(target);
    for (unsigned number = 0;; ++number) {
        std::filesystem::path candidate = SideName(target, "", number);
        if (::mkdir(candidate.c_str(), 0777) == 0) return candidate;
        if (errno != EEXIST) return OutputFailure("Cannot create", candidate, errno);
    }
}

Status PutInPlace(std::filesystem::path& temporary, const std::filesystem::path& target) {
    struct stat info;
    if (::lstat(target.c_str(), &info) != 0) {
        if (::rename(temporary.c_str(), target.c_str()) != 0) {
            return OutputFailure("Cannot create", target, errno);
        }
        temporary.clear();
        return Status::Ok();
    }
    if (::renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
        return Status::Ok();
    }
    if (errno != EINVAL && errno != ENOSYS) return OutputFailure("Cannot replace", target, errno);
    // No exchange here (FAT, some network file systems): the old one steps aside first.
    std::filesystem::path aside;
    for (unsigned number = 0; aside.empty() || ::lstat(aside.c_str(), &info) == 0; ++number) {
        aside = SideName(target, "old", number);
    }
    if (::rename(target.c_str(), aside.c_str()) != 0) {
        return OutputFailure("Cannot replace", target, errno);
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::rename(aside.c_str(), target.c_str());
        return OutputFailure("Cannot replace", target, error);
    }
    temporary = std::move(aside);
    return Status::Ok();
}

void RemoveRemnant(const std::filesystem::path& path) {
    if (path.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

SideFolder::~SideFolder() {
    if (!m_kept) RemoveRemnant(m_path);
}

Status SideFolder::make(const std::filesystem::path& target) {
    auto folder = MakeSideFolder(target);
    if (!folder) return folder.status();
    m_path = std::move(*folder);
    m_cleanup = SignalCleanupEntry(m_path, CleanupKind::kFolder);
    return Status::Ok();
}

Status SideFolder::flush() const {
    const int folder = ::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return OutputFailure("Cannot open", m_path, errno);
    const int synced = ::syncfs(folder) == 0 ? 0 : errno;
    ::close(folder);
    if (synced != 0) return OutputFailure("Cannot write", m_path, synced);
    return Status::Ok();
}

void SideFolder::keep() {
    m_kept = true;
    m_cleanup.unlist();
}

}  // namespace quillet::mailstore
