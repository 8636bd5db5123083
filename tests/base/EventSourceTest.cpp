#include "base/EventSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace tallyhawk {
namespace {

// Records who heard which event; each callback's behaviour can be scripted.
struct Log {
    std::vector<std::string> calls;
};

class Listener : public CEventSink {
public:
    Listener(std::string name, Log* log) : name(std::move(name)), log(log) {}
    ~Listener() override { UnsubscribeAll(); }

    bool OnEvent(int* event) {
        log->calls.push_back(name + ":" + std::to_string(*event));
        if (onEvent) onEvent();
        return result;
    }
    bool OnOther(int* event) {
        log->calls.push_back(name + "/other:" + std::to_string(*event));
        return true;
    }

    std::string name;
    Log* log;
    bool result = true;
    std::function<void()> onEvent;
};

class EventSourceTest : public ::testing::Test {
protected:
    void Announce(int value) { source.Announce(&value); }
    Log log;
    CEventSource source;
};

TEST_F(EventSourceTest, SameCallbackTwiceIsOneSubscriptionOthersKeepOrder) {
    Listener a("a", &log), b("b", &log);
    source.Subscribe(&b, &Listener::OnEvent);
    source.Subscribe(&a, &Listener::OnEvent);
    source.Subscribe(&a, &Listener::OnEvent);
    source.Subscribe(&a, &Listener::OnOther);
    EXPECT_EQ(source.CountSubscriptions(), 3u);
    EXPECT_EQ(a.CountSources(), 2u);
    Announce(1);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"b:1", "a:1", "a/other:1"}));
}

TEST_F(EventSourceTest, FalseEndsThisAnnouncementOnly) {
    Listener a("a", &log), b("b", &log);
    source.Subscribe(&a, &Listener::OnEvent);
    source.Subscribe(&b, &Listener::OnEvent);
    a.result = false;
    Announce(1);
    a.result = true;
    Announce(2);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"a:1", "a:2", "b:2"}));
}

TEST_F(EventSourceTest, UnsubscribingDuringAnnouncementIsDeferred) {
    Listener a("a", &log), b("b", &log), c("c", &log);
    source.Subscribe(&a, &Listener::OnEvent);
    source.Subscribe(&b, &Listener::OnEvent);
    source.Subscribe(&c, &Listener::OnEvent);
    // b drops itself and c, which it has not been reached yet.
    b.onEvent = [&] {
        source.Unsubscribe(&b);
        source.Unsubscribe(&c, &Listener::OnEvent);
        EXPECT_EQ(source.CountSubscriptions(), 1u);
    };
    Announce(1);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"a:1", "b:1"}));
    EXPECT_EQ(b.CountSources(), 0u);
    EXPECT_EQ(c.CountSources(), 0u);
    log.calls.clear();
    Announce(2);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"a:2"}));
}

TEST_F(EventSourceTest, NestedAnnouncementAndSubscribingDuringOne) {
    Listener a("a", &log), late("late", &log);
    source.Subscribe(&a, &Listener::OnEvent);
    int depth = 0;
    a.onEvent = [&] {
        if (depth++ == 0) {
            source.Subscribe(&late, &Listener::OnEvent);
            source.Unsubscribe(&a);
            Announce(9);  // nested on the same thread: a is already dead
        }
    };
    Announce(1);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"a:1", "late:9", "late:1"}));
    EXPECT_EQ(source.CountSubscriptions(), 1u);
}

TEST_F(EventSourceTest, DestroyedSinkIsNeverCalledAgain) {
    auto a = std::make_unique<Listener>("a", &log);
    Listener b("b", &log);
    CEventSource second;
    source.Subscribe(a.get(), &Listener::OnEvent);
    source.Subscribe(a.get(), &Listener::OnOther);
    second.Subscribe(a.get(), &Listener::OnEvent);
    source.Subscribe(&b, &Listener::OnEvent);
    a.reset();
    EXPECT_EQ(source.CountSubscriptions(), 1u);
    EXPECT_EQ(second.CountSubscriptions(), 0u);
    Announce(1);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"b:1"}));
}

TEST_F(EventSourceTest, DroppingOneOfTwoCallbacksStillCleansUpTheOther) {
    // The sink must keep counting the remaining subscription, or destroying it
    // would leave the source calling a destroyed receiver.
    auto a = std::make_unique<Listener>("a", &log);
    source.Subscribe(a.get(), &Listener::OnEvent);
    source.Subscribe(a.get(), &Listener::OnOther);
    source.Unsubscribe(a.get(), &Listener::OnEvent);
    EXPECT_EQ(a->CountSources(), 1u);
    a.reset();
    EXPECT_EQ(source.CountSubscriptions(), 0u);
    Announce(1);
    EXPECT_TRUE(log.calls.empty());
}

TEST_F(EventSourceTest, SourceDestroyedBeforeItsSink) {
    Listener a("a", &log);
    {
        CEventSource shortLived;
        shortLived.Subscribe(&a, &Listener::OnEvent);
        source.Subscribe(&a, &Listener::OnEvent);
        EXPECT_EQ(a.CountSources(), 2u);
    }
    EXPECT_EQ(a.CountSources(), 1u);
    a.UnsubscribeAll();  // must not reach the freed source (ASan watches this)
    EXPECT_EQ(source.CountSubscriptions(), 0u);
}

TEST_F(EventSourceTest, ReceiverOtherThanSink) {
    Listener sink("sink", &log), receiver("receiver", &log);
    source.Subscribe(&sink, &receiver, &Listener::OnEvent);
    Announce(3);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"receiver:3"}));
    EXPECT_EQ(sink.CountSources(), 1u);
    EXPECT_EQ(receiver.CountSources(), 0u);
    source.Unsubscribe(&sink);
    EXPECT_EQ(source.CountSubscriptions(), 0u);
}

TEST_F(EventSourceTest, CallbackExceptionLeavesSourceUsable) {
    Listener a("a", &log), b("b", &log);
    source.Subscribe(&a, &Listener::OnEvent);
    source.Subscribe(&b, &Listener::OnEvent);
    a.onEvent = [&] {
        source.Unsubscribe(&a);
        throw 42;
    };
    EXPECT_THROW(Announce(1), int);
    Announce(2);  // the lock was released and a's record swept
    EXPECT_EQ(log.calls, (std::vector<std::string>{"a:1", "b:2"}));
    EXPECT_EQ(source.CountSubscriptions(), 1u);
}

// Announcing on one thread while others subscribe and unsubscribe; run under
// ThreadSanitizer this checks the locking of both sides.
class CountingListener : public CEventSink {
public:
    ~CountingListener() override { UnsubscribeAll(); }
    bool OnEvent(int*) {
        heard.fetch_add(1, std::memory_order_relaxed);
        return true;
    }
    std::atomic<int> heard{0};
};

TEST(EventSourceThreadTest, ConcurrentAnnounceAndSubscriptionChanges) {
    CEventSource source;
    CountingListener steady;
    source.Subscribe(&steady, &CountingListener::OnEvent);
    std::atomic<bool> done{false};
    std::thread announcer([&] {
        int value = 0;
        // At least once: on a busy machine the churners may be done before
        // this thread first runs.
        do {
            source.Announce(&value);
        } while (!done.load());
    });
    std::vector<std::thread> churners;
    for (int t = 0; t < 2; ++t) {
        churners.emplace_back([&] {
            for (int i = 0; i < 300; ++i) {
                CountingListener transient;
                source.Subscribe(&transient, &CountingListener::OnEvent);
                if (i % 2) source.Unsubscribe(&transient);
            }  // the rest end by destruction
        });
    }
    for (std::thread& churner : churners) churner.join();
    done = true;
    announcer.join();
    EXPECT_EQ(source.CountSubscriptions(), 1u);
    EXPECT_GT(steady.heard.load(), 0);
}

}  // namespace
}  // namespace tallyhawk
