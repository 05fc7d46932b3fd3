#include "platform/signal_cleanup.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/syscall.h>
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

constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};
// Work folders hold a level or two; the bound keeps the handler's stack use small.
constexpr int kMaxRemovalDepth = 16;
constexpr int kMaxRemovalPasses = 4;
constexpr std::size_t kListingBufferSize = 2048;

enum SlotState : int { kSlotFree = 0, kSlotFilling = 1, kSlotLive = 2, kSlotRemoving = 3 };

struct Slot {
    std::atomic<int> state{kSlotFree};
    CleanupKind kind = CleanupKind::kFolder;
    char path[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free state");

// Process-wide on purpose: a signal handler can reach nothing but globals. The buffers are fixed
// so that the handler never touches the heap; untouched slots cost no memory.
Slot g_slots[kSignalCleanupSlots];
std::mutex g_installMutex;

// The layout the kernel's getdents64 fills in.
struct DirectoryEntry64 {
    ino64_t inode;
    off64_t offset;
    unsigned short length;
    unsigned char type;
    char name[];
};

// Calls `visit(name)` for each name in the open folder `fd` but "." and ".."; returns whether
// there was any. Raw getdents64, since opendir/readdir may allocate and are not safe in a signal
// handler.
template <class Visit>
bool ForEachName(int fd, Visit&& visit) {
    alignas(DirectoryEntry64) char buffer[kListingBufferSize];
    bool any = false;
    if (::lseek(fd, 0, SEEK_SET) != 0) return false;
    for (;;) {
        const long count = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (count <= 0) return any;
        for (long offset = 0; offset < count;) {
            const auto* entry = reinterpret_cast<const DirectoryEntry64*>(buffer + offset);
            offset += entry->length;
            if (std::strcmp(entry->name, ".") == 0 || std::strcmp(entry->name, "..") == 0) {
                continue;
            }
            any = true;
            visit(entry->name);
        }
    }
}

// Removes `name` (relative to `parentFd`) and, for a folder, everything in it, without following
// symbolic links.
void RemoveTreeAt(int parentFd, const char* name, int depth) {
    if (::unlinkat(parentFd, name, 0) == 0) return;
    // Linux says EISDIR for a folder; POSIX allows EPERM.
    if (errno != EISDIR && errno != EPERM) return;
    if (depth < kMaxRemovalDepth) {
        const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            // Entries removed while reading may shift the listing; read it again while a pass
            // still finds something (bounded, in case an entry cannot be removed).
            for (int pass = 0; pass < kMaxRemovalPasses; ++pass) {
                const bool found = ForEachName(
                    fd, [fd, depth](const char* entry) { RemoveTreeAt(fd, entry, depth + 1); });
                if (!found) break;
            }
            ::close(fd);
        }
    }
    ::unlinkat(parentFd, name, AT_REMOVEDIR);
}

// Removes the file `path` and the files "<its name>.*" beside it. `path` is absolute; the
// handler owns the buffer and may cut it in two.
void RemoveFileAndLibraryTemporaries(char* path) {
    ::unlink(path);
    char* const slash = std::strrchr(path, '/');
    if (slash == nullptr || slash[1] == '\0') return;
    const char* const name = slash + 1;
    const std::size_t nameLength = std::strlen(name);
    *slash = '\0';
    const int fd = ::open(slash == path ? "/" : path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    *slash = '/';
    if (fd < 0) return;
    ForEachName(fd, [fd, name, nameLength](const char* entry) {
        if (std::strncmp(entry, name, nameLength) == 0 && entry[nameLength] == '.') {
            ::unlinkat(fd, entry, 0);
        }
    });
    ::close(fd);
}

void RemoveListedAndReraise(int signalNumber) {
    const int savedErrno = errno;
    for (Slot& slot : g_slots) {
        int expected = kSlotLive;
        if (!slot.state.compare_exchange_strong(expected, kSlotRemoving)) continue;
        // The slot stays kSlotRemoving: the process is ending and nobody may reuse the buffer.
        if (slot.kind == CleanupKind::kFolder) {
            RemoveTreeAt(AT_FDCWD, slot.path, 0);
        } else {
            RemoveFileAndLibraryTemporaries(slot.path);
        }
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

void InstallHandlers() {
    std::lock_guard<std::mutex> lock(g_installMutex);
    for (const int signalNumber : kCleanupSignals) {
        struct sigaction current {};
        if (sigaction(signalNumber, nullptr, &current) != 0) continue;
        if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = RemoveListedAndReraise;
        sigemptyset(&action.sa_mask);
        for (const int blocked : kCleanupSignals) sigaddset(&action.sa_mask, blocked);
        sigaction(signalNumber, &action, nullptr);
    }
}

int List(const std::filesystem::path& path, CleanupKind kind) {
    std::error_code error;
    // Absolute, so that the handler's removal does not depend on the working folder then.
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) return -1;
    const std::string& text = absolute.native();
    if (text.size() >= PATH_MAX) return -1;
    InstallHandlers();
    for (int i = 0; i < kSignalCleanupSlots; ++i) {
        int expected = kSlotFree;
        if (g_slots[i].state.compare_exchange_strong(expected, kSlotFilling)) {
            g_slots[i].kind = kind;
            std::memcpy(g_slots[i].path, text.c_str(), text.size() + 1);
            g_slots[i].state.store(kSlotLive);
            return i;
        }
    }
    return -1;
}

}  // namespace

SignalCleanupEntry::SignalCleanupEntry(const std::filesystem::path& path, CleanupKind kind)
    : m_slot(List(path, kind)) {}

SignalCleanupEntry::SignalCleanupEntry(SignalCleanupEntry&& other) noexcept
    : m_slot(std::exchange(other.m_slot, -1)) {}

SignalCleanupEntry& SignalCleanupEntry::operator=(SignalCleanupEntry&& other) noexcept {
    if (this != &other) {
        unlist();
        m_slot = std::exchange(other.m_slot, -1);
    }
    return *this;
}

void SignalCleanupEntry::unlist() {
    if (m_slot < 0) return;
    // Fails only while the handler removes the path; the slot is then the handler's for good.
    int expected = kSlotLive;
    g_slots[m_slot].state.compare_exchange_strong(expected, kSlotFree);
    m_slot = -1;
}

}  // namespace quillet
