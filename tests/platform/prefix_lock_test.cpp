#include "platform/prefix_lock.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <string>

#include "support/platform/child_process.h"
#include "support/platform/temp_dir.h"

namespace quillet {
namespace {

namespace fs = std::filesystem;
using testing::ForkChild;
using testing::Pipe;
using testing::TempDir;
using testing::WaitForChild;

constexpr int kChildGotLock = 0;
constexpr int kChildWasRefused = 3;

class PrefixLockTest : public ::testing::Test {
  protected:
    PrefixLockTest() { fs::create_directories(m_prefix); }

    // What another process sees when it tries the lock without waiting.
    int otherProcessTries() {
        const pid_t child = ForkChild([&]() {
            PrefixLock other(m_prefix);
            return other.tryAcquire().ok() ? kChildGotLock : kChildWasRefused;
        });
        const int status = WaitForChild(child);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    TempDir m_temp;
    fs::path m_prefix = m_temp / "prefix";
};

TEST_F(PrefixLockTest, KeepsOtherProcessesOutUntilReleased) {
    PrefixLock lock(m_prefix);
    EXPECT_EQ(otherProcessTries(), kChildGotLock);
    ASSERT_TRUE(lock.acquire().ok());
    EXPECT_TRUE(lock.held());
    EXPECT_EQ(otherProcessTries(), kChildWasRefused);
    lock.release();
    EXPECT_FALSE(lock.held());
    EXPECT_EQ(otherProcessTries(), kChildGotLock);
}

TEST_F(PrefixLockTest, IsReentrantWithinTheProcess) {
    PrefixLock lock(m_prefix);
    ASSERT_TRUE(lock.acquire().ok());
    ASSERT_TRUE(lock.tryAcquire().ok());
    ASSERT_TRUE(lock.acquire().ok());
    lock.release();
    lock.release();
    EXPECT_TRUE(lock.held());
    EXPECT_EQ(otherProcessTries(), kChildWasRefused);
    lock.release();
    EXPECT_FALSE(lock.held());
    EXPECT_EQ(otherProcessTries(), kChildGotLock);
    lock.release();  // one too many does nothing
    EXPECT_FALSE(lock.held());
}

TEST_F(PrefixLockTest, GuardReleasesWhenDestroyed) {
    PrefixLock lock(m_prefix);
    {
        auto guard = lock.hold();
        ASSERT_TRUE(guard.ok()) << guard.reason();
        EXPECT_EQ(otherProcessTries(), kChildWasRefused);
        PrefixLock::Guard moved = std::move(*guard);
        EXPECT_TRUE(lock.held());
    }
    EXPECT_FALSE(lock.held());
    EXPECT_EQ(otherProcessTries(), kChildGotLock);
}

TEST_F(PrefixLockTest, WaitsForAnotherProcessToFinish) {
    Pipe locked;
    Pipe finish;
    const pid_t child = ForkChild([&]() {
        locked.closeReadEnd();
        finish.closeWriteEnd();
        PrefixLock other(m_prefix);
        if (!other.acquire().ok()) return 1;
        locked.send("L");
        finish.receiveByte();  // until the parent says so
        return 0;
    });
    locked.closeWriteEnd();
    finish.closeReadEnd();
    ASSERT_EQ(locked.receiveByte(), 'L');

    PrefixLock lock(m_prefix);
    const Status refused = lock.tryAcquire();
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.reason(), "Another Quillet run is using the Wine prefix " +
                                    m_prefix.string() + "; try again when it has finished.");
    EXPECT_FALSE(lock.held());

    // The child ends once its pipe closes; acquire() waits in flock until then.
    finish.closeWriteEnd();
    EXPECT_TRUE(lock.acquire().ok());
    EXPECT_TRUE(lock.held());
    const int status = WaitForChild(child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(PrefixLockTest, FailsClearlyForMissingPrefix) {
    PrefixLock lock(m_temp / "missing");
    const Status status = lock.acquire();
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.reason(), "Cannot open the Wine prefix " + (m_temp / "missing").string() +
                                   " to lock it: No such file or directory");
    EXPECT_FALSE(lock.held());
}

}  // namespace
}  // namespace quillet
