#include "base/Lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace tallyhawk {
namespace {

class CountingLock : public CLock {
public:
    bool Lock(std::uint32_t timeout) override {
        lastTimeout = timeout;
        ++locks;
        return grant;
    }
    bool Unlock() override {
        ++unlocks;
        return true;
    }
    int locks = 0;
    int unlocks = 0;
    std::uint32_t lastTimeout = 0;
    bool grant = true;
};

TEST(LockGuardTest, NestedLockingTouchesTargetOnce) {
    CountingLock target;
    CLockGuard guard(&target, false);
    EXPECT_EQ(target.locks, 0);
    EXPECT_TRUE(guard.Lock(kInfinite));
    EXPECT_TRUE(guard.Lock(kInfinite));
    EXPECT_EQ(target.locks, 1);
    EXPECT_EQ(guard.Count(), 2);
    EXPECT_TRUE(guard.Unlock());
    EXPECT_EQ(target.unlocks, 0);
    EXPECT_TRUE(guard.Unlock());
    EXPECT_EQ(target.unlocks, 1);
    EXPECT_EQ(guard.Count(), 0);
    // Nothing held: the unlock is refused and the target left alone.
    EXPECT_FALSE(guard.Unlock());
    EXPECT_EQ(target.unlocks, 1);
}

TEST(LockGuardTest, LockNowWaitsWithoutLimitAndDestructionReleasesOnce) {
    CountingLock target;
    {
        CLockGuard guard(&target);
        EXPECT_EQ(target.lastTimeout, kInfinite);
        guard.Lock(kInfinite);
        guard.Lock(kInfinite);
        EXPECT_EQ(guard.Count(), 3);
    }
    EXPECT_EQ(target.locks, 1);
    EXPECT_EQ(target.unlocks, 1);
}

TEST(LockGuardTest, RefusedLockLeavesCountAtZero) {
    CountingLock target;
    target.grant = false;
    {
        CLockGuard guard(&target);
        EXPECT_EQ(guard.Count(), 0);
        EXPECT_FALSE(guard.Lock(10));
        EXPECT_EQ(guard.Count(), 0);
    }
    EXPECT_EQ(target.unlocks, 0);
}

TEST(CriticalSectionLockTest, ReentrantForOwnerAndExcludesOthers) {
    CCriticalSectionLock lock;
    std::atomic<bool> acquired{false};
    std::thread other;
    {
        CLockGuard outer(&lock);
        CLockGuard inner(&lock);  // same thread again: no deadlock
        other = std::thread([&] {
            CLockGuard guard(&lock);
            acquired = true;
        });
        // Give the other thread every chance to get in while we hold the lock.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(acquired.load());
        inner.Unlock();
        EXPECT_FALSE(acquired.load()) << "still held once by the owner";
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        EXPECT_FALSE(acquired.load());
        outer.Unlock();
    }
    other.join();
    EXPECT_TRUE(acquired.load());
}

}  // namespace
}  // namespace tallyhawk
