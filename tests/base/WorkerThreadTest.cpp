#include "base/WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>
#include <stdexcept>

namespace tallyhawk {
namespace {

// A one-shot signal between threads.
class Gate {
public:
    void Open() {
        std::lock_guard lock(mutex);
        open = true;
        changed.notify_all();
    }
    void Pass() {
        std::unique_lock lock(mutex);
        changed.wait(lock, [this] { return open; });
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool open = false;
};

// Runs until released or asked to stop; reports when it is inside Run.
class GatedThread : public CWorkerThread {
public:
    ~GatedThread() override {
        release.Open();
        Stop(0);
    }
    std::uint32_t Run() override {
        entered.Open();
        if (throwInside) throw std::runtime_error("worker failure");
        if (stopSelf) Stop(77);
        release.Pass();
        sawCurrent = IsCurrentThread();
        return 5;
    }
    Gate entered, release;
    std::atomic<bool> sawCurrent{false};
    bool throwInside = false;
    bool stopSelf = false;
};

TEST(WorkerThreadTest, RunsOnceAndReportsItsEnd) {
    GatedThread worker;
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_TRUE(worker.Wait(0));  // nothing runs
    ASSERT_TRUE(worker.Start());
    worker.entered.Pass();
    EXPECT_TRUE(worker.IsRunning());
    EXPECT_FALSE(worker.IsCurrentThread());
    EXPECT_FALSE(worker.Start());  // already running
    EXPECT_FALSE(worker.Wait(20));  // bounded: still held at the gate
    EXPECT_TRUE(worker.IsRunning());
    worker.release.Open();
    EXPECT_TRUE(worker.Wait(kInfinite));
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_TRUE(worker.sawCurrent);
    EXPECT_EQ(worker.GetExitCode(), 5u);
    EXPECT_FALSE(worker.Stop(1));  // nothing to stop
}

TEST(WorkerThreadTest, CanBeStartedAgainAfterItEnded) {
    GatedThread worker;
    worker.release.Open();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(worker.Start());
        ASSERT_TRUE(worker.Wait(10000));
    }
    EXPECT_EQ(worker.GetExitCode(), 5u);
}

TEST(WorkerThreadTest, ExceptionInRunEndsThreadWithZero) {
    GatedThread worker;
    worker.throwInside = true;
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.Wait(10000));
    EXPECT_EQ(worker.GetExitCode(), 0u);
    EXPECT_FALSE(worker.IsRunning());
}

TEST(WorkerThreadTest, StopFromWorkerItselfSetsExitCode) {
    GatedThread worker;
    worker.stopSelf = true;
    worker.release.Open();
    ASSERT_TRUE(worker.Start());
    ASSERT_TRUE(worker.Wait(10000));
    EXPECT_EQ(worker.GetExitCode(), 77u);
}

// Stop from another thread returns only when Run has returned, so the owner
// can be destroyed right after.
class CooperativeThread : public CWorkerThread {
public:
    ~CooperativeThread() override { Stop(0); }
    std::uint32_t Run() override {
        entered.Open();
        while (!IsStopRequested()) {
            ++iterations;
            std::this_thread::yield();
        }
        finished = true;
        return 1;
    }
    Gate entered;
    std::atomic<long> iterations{0};
    std::atomic<bool> finished{false};
};

TEST(WorkerThreadTest, StopFromAnotherThreadWaitsForRunToReturn) {
    CooperativeThread worker;
    ASSERT_TRUE(worker.Start());
    worker.entered.Pass();
    EXPECT_TRUE(worker.Stop(9));
    EXPECT_TRUE(worker.finished);
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(worker.GetExitCode(), 9u);
}

TEST(WorkerThreadTest, ConcurrentStopsBothReturnAfterTheEnd) {
    CooperativeThread worker;
    ASSERT_TRUE(worker.Start());
    worker.entered.Pass();
    auto other = std::async(std::launch::async, [&] { return worker.Stop(3); });
    bool mine = worker.Stop(3);
    bool theirs = other.get();
    EXPECT_TRUE(mine || theirs);
    EXPECT_TRUE(worker.finished);
    EXPECT_FALSE(worker.IsRunning());
}

TEST(WorkerThreadTest, DestroyingRunningOwnerIsSafe) {
    auto worker = std::make_unique<CooperativeThread>();
    ASSERT_TRUE(worker->Start());
    worker->entered.Pass();
    worker.reset();  // stops and joins; ASan/TSan watch for late touches
}

class SelfDestroyingThread : public CWorkerThread {
public:
    explicit SelfDestroyingThread(std::promise<void>* done) : done(done) {}
    std::uint32_t Run() override {
        std::promise<void>* signal = done;
        delete this;  // the owner goes while its thread still runs
        signal->set_value();
        return 0;
    }
    std::promise<void>* done;
};

TEST(WorkerThreadTest, OwnerDestroyedOnItsOwnThread) {
    std::promise<void> done;
    auto* worker = new SelfDestroyingThread(&done);
    ASSERT_TRUE(worker->Start());
    EXPECT_EQ(done.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

}  // namespace
}  // namespace tallyhawk
