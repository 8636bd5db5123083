#include "base/Lock.h"

#include <gtest/gtest.h>

#include <atomic>
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
    int shared = 0;
    {
        CLockGuard outer(&lock);
        CLockGuard inner(&lock);  // same thread again: no deadlock
        std::thread other([&] {
            CLockGuard guard(&lock);
            shared = 2;
        });
        shared = 1;
        inner.Unlock();
        outer.Unlock();
        other.join();
    }
    EXPECT_EQ(shared, 2);
}

}  // namespace
}  // namespace tallyhawk
