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
    CleanupNameTest test = nullptr;  // kMatchingFiles
    int users = 0;                   // kMatchingFiles: the entries sharing the slot (g_sharedMutex)
    char path[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free state");

// Process-wide on purpose: a signal handler can reach nothing but globals. The buffers are fixed
// so that the handler never touches the heap; untouched slots cost no memory.
Slot g_slots[kSignalCleanupSlots];
std::mutex g_installMutex;
// Serialises the filling of slots and the sharing of kMatchingFiles slots between threads (never
// taken by the handler).
std::mutex g_sharedMutex;

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

// Removes the files directly in the folder `path` whose names `test` takes. Entries removed while
// reading may shift the listing; it is read again while a pass still removes something (bounded,
// in case a file cannot be removed).
void RemoveMatchingFiles(const char* path, CleanupNameTest test) {
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    for (int pass = 0; pass < kMaxRemovalPasses; ++pass) {
        bool removed = false;
        ForEachName(fd, [fd, test, &removed](const char* entry) {
            if (test(entry) && ::unlinkat(fd, entry, 0) == 0) removed = true;
        });
        if (!removed) break;
    }
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
            RemoveMatchingFiles(slot.path, slot.test);
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

// Claims a free slot for `text`, under g_sharedMutex; -1 when every slot is taken.
int Claim(const std::string& text, CleanupKind kind, CleanupNameTest test) {
    for (int i = 0; i < kSignalCleanupSlots; ++i) {
        int expected = kSlotFree;
        if (g_slots[i].state.compare_exchange_strong(expected, kSlotFilling)) {
            g_slots[i].kind = kind;
            g_slots[i].test = test;
            g_slots[i].users = 1;
            std::memcpy(g_slots[i].path, text.c_str(), text.size() + 1);
            g_slots[i].state.store(kSlotLive);
            return i;
        }
    }
    return -1;
}

int List(const std::filesystem::path& path, CleanupKind kind, CleanupNameTest test) {
    if ((kind == CleanupKind::kMatchingFiles) != (test != nullptr)) return -1;
    std::error_code error;
    // Absolute, so that the handler's removal does not depend on the working folder then.
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) return -1;
    const std::string& text = absolute.native();
    if (text.size() >= PATH_MAX) return -1;
    InstallHandlers();
    // Every slot is filled under the lock, so that no slot read here is being filled meanwhile.
    std::lock_guard<std::mutex> lock(g_sharedMutex);
    if (kind == CleanupKind::kFolder) return Claim(text, kind, nullptr);
    for (int i = 0; i < kSignalCleanupSlots; ++i) {
        Slot& slot = g_slots[i];
        // A slot another thread fills is not live yet; one the handler holds is the handler's.
        if (slot.state.load() == kSlotLive && slot.kind == kind && slot.test == test &&
            std::strcmp(slot.path, text.c_str()) == 0) {
            ++slot.users;
            return i;
        }
    }
    return Claim(text, kind, test);
}

}  // namespace

SignalCleanupEntry::SignalCleanupEntry(const std::filesystem::path& path, CleanupKind kind)
    : m_slot(kind == CleanupKind::kFolder ? List(path, kind, nullptr) : -1) {}

SignalCleanupEntry::SignalCleanupEntry(const std::filesystem::path& folder, CleanupNameTest test)
    : m_slot(List(folder, CleanupKind::kMatchingFiles, test)) {}

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
    Slot& slot = g_slots[std::exchange(m_slot, -1)];
    std::unique_lock<std::mutex> lock(g_sharedMutex, std::defer_lock);
    if (slot.kind == CleanupKind::kMatchingFiles) {
        lock.lock();
        if (--slot.users > 0) return;  // another entry still needs the folder covered
    }
    // Fails only while the handler removes the path; the slot is then the handler's for good.
    int expected = kSlotLive;
    slot.state.compare_exchange_strong(expected, kSlotFree);
}

void TreatFileSizeLimitAsFullDisk() { ::signal(SIGXFSZ, SIG_IGN); }

}  // namespace quillet
