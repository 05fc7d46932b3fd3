#pragma once

#include <filesystem>

#include "platform/status.h"

namespace quillet {

// One writer at a time per Wine prefix: an advisory flock(LOCK_EX) on the prefix folder itself,
// shared by every Quillet process (an interactive run and a scheduled one wait for each other).
// Re-entrant through this object: nested acquire() calls count, and the lock is given up when
// release() has been called as often. The lock belongs to the open folder held by this object, so
// a second PrefixLock on the same prefix in the same process would wait for the first one: pass
// one object around instead. Not thread-safe: use from one thread at a time.
// The folder is opened close-on-exec, so programs we start do not inherit the lock.
class PrefixLock {
  public:
    explicit PrefixLock(std::filesystem::path prefix);
    // Gives up the lock if it is still held.
    ~PrefixLock();
    PrefixLock(const PrefixLock&) = delete;
    PrefixLock& operator=(const PrefixLock&) = delete;

    // Takes the lock, waiting as long as another process holds it. Fails when the prefix folder
    // cannot be opened or locked.
    Status acquire();
    // Takes the lock only if that needs no waiting; fails with a reason saying that another run
    // is using the prefix when another process holds it.
    Status tryAcquire();
    // Undoes one successful acquire() or tryAcquire(); does nothing when the lock is not held.
    void release();

    bool held() const { return m_depth > 0; }
    const std::filesystem::path& prefix() const { return m_prefix; }

    // Holds the lock for its lifetime: built by hold(), released when destroyed. Movable.
    class Guard {
      public:
        Guard() = default;
        ~Guard();
        Guard(Guard&& other) noexcept;
        Guard& operator=(Guard&& other) noexcept;
        Guard(const Guard&) = delete;
        Guard& operator=(const Guard&) = delete;

      private:
        friend class PrefixLock;
        explicit Guard(PrefixLock* lock) : m_lock(lock) {}
        PrefixLock* m_lock = nullptr;
    };

    // acquire(), with the matching release() tied to the returned guard.
    Result<Guard> hold();

  private:
    Status lock(bool wait);

    std::filesystem::path m_prefix;
    int m_fd = -1;
    int m_depth = 0;
};

}  // namespace quillet
