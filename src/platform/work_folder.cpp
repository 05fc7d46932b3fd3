#include "platform/work_folder.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace quillet {
namespace {

constexpr std::string_view kFolderPrefix = "quillet-";
constexpr std::size_t kRandomLength = 6;  // mkdtemp's XXXXXX

bool IsLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The process id in a work folder's name "quillet-<pid>-XXXXXX"; 0 for any other name.
pid_t OwnerOf(std::string_view name) {
    if (name.substr(0, kFolderPrefix.size()) != kFolderPrefix) return 0;
    name.remove_prefix(kFolderPrefix.size());
    if (name.empty() || name.front() < '1' || name.front() > '9') return 0;
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (error != std::errc() || pid <= 0) return 0;
    const std::string_view rest(end, static_cast<std::size_t>(name.data() + name.size() - end));
    if (rest.size() != 1 + kRandomLength || rest.front() != '-') return 0;
    for (const char c : rest.substr(1)) {
        if (!IsLetterOrDigit(c)) return 0;
    }
    return pid;
}

void RemoveStaleWorkFolders(const std::filesystem::path& parent, FileOperations& files) {
    RemoveDeadRunsLeftovers(parent, OwnerOf, LeftoverKind::kFolder, files);
}

}  // namespace

std::filesystem::path WorkFolder::TemporaryRoot(const Environment& env) {
    if (auto tmpDir = env.get("TMPDIR"); tmpDir && !tmpDir->empty()) {
        std::filesystem::path folder(*tmpDir);
        if (folder.is_absolute()) return folder;
    }
    return "/tmp";
}

void WorkFolder::RemoveDeadRunsFolders(const Environment& env, FileOperations& files) {
    RemoveStaleWorkFolders(TemporaryRoot(env), files);
}

Result<WorkFolder> WorkFolder::Create(const Environment& env) {
    return CreateIn(TemporaryRoot(env));
}

Result<WorkFolder> WorkFolder::CreateIn(const std::filesystem::path& parent,
                                        FileOperations& files) {
    RemoveStaleWorkFolders(parent, files);
    std::string pattern = (parent / (std::string(kFolderPrefix) + std::to_string(::getpid()) + "-" +
                                     std::string(kRandomLength, 'X')))
                              .string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return Status::Error("Cannot create a work folder in " + parent.string() + ": " +
                             std::strerror(errno));
    }
    WorkFolder folder;
    folder.m_path = pattern;
    folder.m_signalCleanup = SignalCleanupEntry(folder.m_path, CleanupKind::kFolder);
    return folder;
}

WorkFolder::~WorkFolder() { removeNow(); }

WorkFolder::WorkFolder(WorkFolder&& other) noexcept
    : m_path(std::exchange(other.m_path, {})), m_signalCleanup(std::move(other.m_signalCleanup)) {}

WorkFolder& WorkFolder::operator=(WorkFolder&& other) noexcept {
    if (this != &other) {
        removeNow();
        m_path = std::exchange(other.m_path, {});
        m_signalCleanup = std::move(other.m_signalCleanup);
    }
    return *this;
}

void WorkFolder::removeNow() {
    if (m_path.empty()) return;
    std::error_code ignored;  // best effort: the next run removes a leftover of a dead process
    std::filesystem::remove_all(m_path, ignored);
    m_signalCleanup.unlist();
    m_path.clear();
}

}  // namespace quillet
