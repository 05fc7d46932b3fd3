#include "platform/work_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <utility>

namespace quillet {
namespace {

constexpr int kSignalSlotCount = 16;
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kMaxRemovalDepth = 64;
constexpr int kMaxRemovalPasses = 4;
constexpr std::string_view kFolderPattern = "quillet-XXXXXX";

enum SlotState : int { kSlotFree = 0, kSlotFilling = 1, kSlotLive = 2 };

struct SignalSlot {
    std::atomic<int> state{kSlotFree};
    char path[PATH_MAX];
};

// Process-wide on purpose: a signal handler can reach nothing but globals. The list holds
// fixed buffers so that the handler never touches the heap.
SignalSlot g_signalSlots[kSignalSlotCount];
std::mutex g_installMutex;

// Removes `name` (relative to `parentFd`) and, for a folder, everything in it, without following
// symbolic links. Best effort, from the signal handler: descriptor calls only, apart from
// fdopendir/readdir (see the trade-off in the header).
void RemoveTreeAt(int parentFd, const char* name, int depth) {
    if (unlinkat(parentFd, name, 0) == 0) return;
    // Linux says EISDIR for a folder; POSIX allows EPERM.
    if (errno != EISDIR && errno != EPERM) return;
    if (depth < kMaxRemovalDepth) {
        const int fd = openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            DIR* dir = fdopendir(fd);
            if (dir == nullptr) {
                close(fd);
            } else {
                // Entries removed while reading may shift the listing; read it again while a
                // pass still finds something (bounded, in case an entry cannot be removed).
                bool foundAny = true;
                for (int pass = 0; foundAny && pass < kMaxRemovalPasses; ++pass) {
                    foundAny = false;
                    rewinddir(dir);
                    while (const dirent* entry = readdir(dir)) {
                        if (std::strcmp(entry->d_name, ".") == 0 ||
                            std::strcmp(entry->d_name, "..") == 0) {
                            continue;
                        }
                        RemoveTreeAt(dirfd(dir), entry->d_name, depth + 1);
                        foundAny = true;
                    }
                }
                closedir(dir);
            }
        }
    }
    unlinkat(parentFd, name, AT_REMOVEDIR);
}

void RemoveWorkFoldersAndReraise(int signalNumber) {
    const int savedErrno = errno;
    for (SignalSlot& slot : g_signalSlots) {
        if (slot.state.load() == kSlotLive) RemoveTreeAt(AT_FDCWD, slot.path, 0);
    }
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigemptyset(&defaultAction.sa_mask);
    sigaction(signalNumber, &defaultAction, nullptr);
    // The signal stays blocked until this handler returns; then the default action ends the
    // process with the status the signal gives.
    raise(signalNumber);
    errno = savedErrno;
}

void InstallSignalCleanup() {
    std::lock_guard<std::mutex> lock(g_installMutex);
    for (const int signalNumber : kCleanupSignals) {
        struct sigaction current {};
        if (sigaction(signalNumber, nullptr, &current) != 0) continue;
        if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = RemoveWorkFoldersAndReraise;
        sigemptyset(&action.sa_mask);
        for (const int blocked : kCleanupSignals) sigaddset(&action.sa_mask, blocked);
        sigaction(signalNumber, &action, nullptr);
    }
}

// Lists `folder` for the signal handler; returns its slot, or -1 when the list is full or the
// path too long (the destructor still removes the folder).
int ListForSignals(const std::filesystem::path& folder) {
    const std::string& text = folder.native();
    if (text.size() >= PATH_MAX) return -1;
    for (int i = 0; i < kSignalSlotCount; ++i) {
        int expected = kSlotFree;
        if (g_signalSlots[i].state.compare_exchange_strong(expected, kSlotFilling)) {
            std::memcpy(g_signalSlots[i].path, text.c_str(), text.size() + 1);
            g_signalSlots[i].state.store(kSlotLive);
            return i;
        }
    }
    return -1;
}

void UnlistForSignals(int slot) {
    if (slot >= 0) g_signalSlots[slot].state.store(kSlotFree);
}

}  // namespace

std::filesystem::path WorkFolder::TemporaryRoot(const Environment& env) {
    if (auto tmpDir = env.get("TMPDIR"); tmpDir && !tmpDir->empty()) {
        std::filesystem::path folder(*tmpDir);
        if (folder.is_absolute()) return folder;
    }
    return "/tmp";
}

Result<WorkFolder> WorkFolder::Create(const Environment& env) {
    return CreateIn(TemporaryRoot(env));
}

Result<WorkFolder> WorkFolder::CreateIn(const std::filesystem::path& parent) {
    std::string pattern = (parent / kFolderPattern).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return Status::Error("Cannot create a work folder in " + parent.string() + ": " +
                             std::strerror(errno));
    }
    InstallSignalCleanup();
    WorkFolder folder;
    folder.m_path = pattern;
    folder.m_signalSlot = ListForSignals(folder.m_path);
    return folder;
}

WorkFolder::~WorkFolder() { removeNow(); }

WorkFolder::WorkFolder(WorkFolder&& other) noexcept
    : m_path(std::exchange(other.m_path, {})),
      m_signalSlot(std::exchange(other.m_signalSlot, -1)) {}

WorkFolder& WorkFolder::operator=(WorkFolder&& other) noexcept {
    if (this != &other) {
        removeNow();
        m_path = std::exchange(other.m_path, {});
        m_signalSlot = std::exchange(other.m_signalSlot, -1);
    }
    return *this;
}

void WorkFolder::removeNow() {
    if (m_path.empty()) return;
    std::error_code ignored;  // best effort: a leftover in the temporary folder harms nothing
    std::filesystem::remove_all(m_path, ignored);
    UnlistForSignals(m_signalSlot);
    m_signalSlot = -1;
    m_path.clear();
}

}  // namespace quillet
