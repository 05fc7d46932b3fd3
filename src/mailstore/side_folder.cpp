#include "mailstore/side_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>

#include "platform/durable_file.h"

namespace quillet::mailstore {

namespace {

constexpr std::string_view kSideMark = ".quillet-";
constexpr std::string_view kSetAside = "old";

// A name beside `target` that no other run of this process or another uses: ".<name>.quillet-
// <process id>-<tag><number>".
std::filesystem::path SideName(const std::filesystem::path& target, std::string_view tag,
                               unsigned number) {
    return target.parent_path() /
           ("." + target.filename().string() + std::string(kSideMark) + std::to_string(::getpid()) +
            "-" + std::string(tag) + std::to_string(number));
}

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

}  // namespace

Status OutputFailure(std::string_view what, const std::filesystem::path& path, int error) {
    const ErrorKind kind = KindOfWriteError(error) == ErrorKind::kDiskFull ? ErrorKind::kDiskFull
                           : error == EACCES || error == EPERM || error == EROFS
                               ? ErrorKind::kAccessDenied
                               : ErrorKind::kIo;
    return Status::Error(std::string(what) + " " + path.string() + ": " + std::strerror(error),
                         kind);
}

pid_t OwnerOfSideFolder(std::string_view name) {
    const std::size_t mark = name.rfind(kSideMark);
    if (name.empty() || name.front() != '.' || mark == std::string_view::npos || mark < 2) return 0;
    name.remove_prefix(mark + kSideMark.size());
    const std::size_t dash = name.find('-');
    if (dash == std::string_view::npos || name.front() < '1' || name.front() > '9') return 0;
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + dash, pid);
    if (error != std::errc() || end != name.data() + dash) return 0;
    std::string_view number = name.substr(dash + 1);
    if (number.starts_with(kSetAside)) number.remove_prefix(kSetAside.size());
    return AllDigits(number) ? pid : 0;
}

void RemoveDeadRunsSideFolders(const std::filesystem::path& folder, FileOperations& files) {
    RemoveDeadRunsLeftovers(folder, OwnerOfSideFolder, LeftoverKind::kFolder, files);
}

Result<std::filesystem::path> MakeSideFolder(const std::filesystem::path& target,
                                             FileOperations& files, bool folderSwept) {
    if (!folderSwept) RemoveDeadRunsSideFolders(target.parent_path(), files);
    for (unsigned number = 0;; ++number) {
        std::filesystem::path candidate = SideName(target, "", number);
        const int error = files.makeFolder(candidate, 0777);
        if (error == 0) return candidate;
        if (error != EEXIST) return OutputFailure("Cannot create", candidate, error);
    }
}

Status PutInPlace(std::filesystem::path& temporary, const std::filesystem::path& target,
                  FileOperations& files) {
    struct stat info;
    if (files.status(target, false, &info) != 0) {
        if (int error = files.rename(temporary, target); error != 0) {
            return OutputFailure("Cannot create", target, error);
        }
        temporary.clear();
        return Status::Ok();
    }
    const int exchanged = files.exchange(temporary, target);
    if (exchanged == 0) return Status::Ok();
    if (exchanged != EINVAL && exchanged != ENOSYS) {
        return OutputFailure("Cannot replace", target, exchanged);
    }
    // No exchange here (FAT, some network file systems): the old one steps aside first.
    std::filesystem::path aside;
    for (unsigned number = 0; aside.empty() || files.status(aside, false, &info) == 0; ++number) {
        aside = SideName(target, kSetAside, number);
    }
    if (int error = files.rename(target, aside); error != 0) {
        return OutputFailure("Cannot replace", target, error);
    }
    if (int error = files.rename(temporary, target); error != 0) {
        (void)files.rename(aside, target);  // the failure told is the first one
        return OutputFailure("Cannot replace", target, error);
    }
    temporary = std::move(aside);
    return Status::Ok();
}

void RemoveRemnant(const std::filesystem::path& path, FileOperations& files) {
    if (!path.empty()) (void)files.removeTree(path);
}

SideFolder::~SideFolder() {
    if (!m_kept) RemoveRemnant(m_path, m_files);
}

Status SideFolder::make(const std::filesystem::path& target, bool folderSwept) {
    auto folder = MakeSideFolder(target, m_files, folderSwept);
    if (!folder) return folder.status();
    m_path = std::move(*folder);
    m_cleanup = SignalCleanupEntry(m_path, CleanupKind::kFolder);
    return Status::Ok();
}

Status SideFolder::flush() const {
    int folder = -1;
    if (int error = m_files.open(m_path, O_RDONLY | O_DIRECTORY, 0, &folder); error != 0) {
        return OutputFailure("Cannot open", m_path, error);
    }
    const int synced = ::syncfs(folder) == 0 ? 0 : errno;
    (void)m_files.close(folder);  // a folder opened to be flushed: nothing written through it
    if (synced != 0) return OutputFailure("Cannot write", m_path, synced);
    return Status::Ok();
}

void SideFolder::keep() {
    m_kept = true;
    m_cleanup.unlist();
}

}  // namespace quillet::mailstore
