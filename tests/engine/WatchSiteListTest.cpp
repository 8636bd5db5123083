// CWatchSiteList: page operations, events and the watch thread against a real
// HTTP server on 127.0.0.1, with a fixed clock so that schedules do not move.
#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Exception.h"
#include "engine/EngineTestUtil.h"
#include "engine/PageServer.h"
#include "engine/WatchSiteList.h"
#include "net/InternetError.h"

namespace tallyhawk {
namespace {

using namespace std::chrono_literals;
using testing::CFakeServices;
using testing::CPageServer;

class CRecordingLog : public IPageLog {
public:
    void Add(const std::string& message, const std::string& page) override {
        std::lock_guard<std::mutex> guard(lock);
        entries.push_back({message, page});
    }
    void Add(const CException& exception, const std::string& page) override {
        Add(exception.Message(), page);
    }
    std::vector<std::pair<std::string, std::string>> Entries() {
        std::lock_guard<std::mutex> guard(lock);
        return entries;
    }

private:
    std::mutex lock;
    std::vector<std::pair<std::string, std::string>> entries;
};

// Records the list's events and lets the test wait (bounded) for one.
class CEventRecorder : public CEventSink {
public:
    explicit CEventRecorder(CWatchSiteList& list) : list(list) {
        list.Subscribe(this, &CEventRecorder::OnEvent);
    }
    ~CEventRecorder() override { UnsubscribeAll(); }

    bool OnEvent(SiteListEvent* event) {
        EXPECT_EQ(event->list, &list);
        EXPECT_EQ(event->extra, 0u);
        if (callBack) list.GetCount();  // a subscriber that reads the list
        std::lock_guard<std::mutex> guard(lock);
        events.push_back({event->code, event->index});
        changed.notify_all();
        return true;
    }
    // Waits until `count` events with `code` have been seen.
    bool WaitFor(std::int32_t code, int count = 1, std::chrono::milliseconds limit = 10s) {
        std::unique_lock<std::mutex> guard(lock);
        return changed.wait_for(guard, limit, [&] { return CountLocked(code) >= count; });
    }
    int Count(std::int32_t code) {
        std::lock_guard<std::mutex> guard(lock);
        return CountLocked(code);
    }
    std::vector<std::pair<std::int32_t, std::int32_t>> Events() {
        std::lock_guard<std::mutex> guard(lock);
        return events;
    }
    bool callBack = false;

private:
    int CountLocked(std::int32_t code) const {
        int n = 0;
        for (const auto& event : events) n += event.first == code;
        return n;
    }
    CWatchSiteList& list;
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::pair<std::int32_t, std::int32_t>> events;
};

class WatchSiteListTest : public ::testing::Test {
protected:
    WatchSiteListTest() : list(&log, &fake.services, 10s), recorder(list) {
        fake.clock.Set(1700000000);
    }
    ~WatchSiteListTest() override { list.StopWatching(true); }

    // An always-update page with the given address; no sound.
    CWatchSite MakePage(const std::string& url, const std::string& name = "page") {
        CWatchSite page(&fake.services);
        page.SetUrl(url);
        page.SetName(name);
        CWatcherSettings settings = page.GetSettings();
        settings.SetNotifyFlags(0);
        page.SetSettings(settings);
        return page;
    }

    CFakeServices fake;
    CPageServer server;
    CRecordingLog log;
    CWatchSiteList list;
    CEventRecorder recorder;
};

TEST_F(WatchSiteListTest, PageOperationsAnnounceWithTheirIndex) {
    EXPECT_EQ(list.Add(MakePage(server.Url("/page"), "a")), 0);
    EXPECT_EQ(list.Add(MakePage(server.Url("/page"), "b")), 1);
    EXPECT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.GetAt(1)->GetName(), "b");
    EXPECT_EQ(list.GetAt(2), nullptr);
    EXPECT_EQ(list.IndexOf(list.GetAt(1)), 1);
    EXPECT_EQ(list.GetCopy(0)->GetName(), "a");
    EXPECT_THROW(list.GetCopy(5), CGenericException);

    list.GetAt(1)->SetStatus(Modified);  // a page's own change reaches the list's subscribers
    EXPECT_EQ(list.CountModified(), 1);
    std::vector<CModifiedPage> modified{{7, "stale"}};
    list.ListModified(modified);
    ASSERT_EQ(modified.size(), 1u);
    EXPECT_EQ(modified[0].index, 1);
    EXPECT_EQ(modified[0].name, "b");

    list.RemoveAt(0);
    list.RemoveAt(9);  // out of range: nothing
    EXPECT_EQ(list.GetAt(0)->GetName(), "b");
    list.ViewChanges(3);  // out of range: nothing
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);

    using E = std::pair<std::int32_t, std::int32_t>;
    EXPECT_EQ(recorder.Events(), (std::vector<E>{{PageAdded, 0}, {PageAdded, 1}, {PageChanged, 1},
                                                 {PageRemoved, 0}, {AllPagesRemoved, -1}}));
}

TEST_F(WatchSiteListTest, EmptyListStartsAndStopsAtOnce) {
    ASSERT_TRUE(list.StartWatching());
    ASSERT_TRUE(recorder.WaitFor(WatchingStopped));
    EXPECT_TRUE(list.Wait(2000));
    using E = std::pair<std::int32_t, std::int32_t>;
    EXPECT_EQ(recorder.Events(), (std::vector<E>{{WatchingStarted, -1}, {WatchingStopped, -1}}));
}

TEST_F(WatchSiteListTest, ChecksDuePagesInOrderThenNothingIsDue) {
    server.SetContent("<p>one</p>\n");
    for (int i = 0; i < 3; ++i) list.Add(MakePage(server.Url("/page"), "p" + std::to_string(i)));
    ASSERT_TRUE(list.StartWatching());
    EXPECT_TRUE(list.StartWatching()) << "a second start changes nothing";
    ASSERT_TRUE(recorder.WaitFor(NothingDue, 3));

    // A page added while watching runs is not checked before the next start.
    list.Add(MakePage(server.Url("/page"), "late"));
    const int seen = recorder.Count(NothingDue);
    ASSERT_TRUE(recorder.WaitFor(NothingDue, seen + 3));
    EXPECT_EQ(list.GetAt(3)->GetStatus(), New);

    list.StopWatching(true);
    EXPECT_FALSE(list.IsWatching());
    // The list's own PageChanged follows each check's status changes; the
    // checks start in list order (and may run at once).
    std::vector<std::int32_t> checked;
    for (const auto& [code, index] : recorder.Events()) {
        if (code == PageChanged && std::find(checked.begin(), checked.end(), index) == checked.end())
            checked.push_back(index);
    }
    EXPECT_EQ(checked, (std::vector<std::int32_t>{0, 1, 2}));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(list.GetAt(i)->GetStatus(), Current);
    EXPECT_EQ(recorder.Events().back().first, WatchingStopped);
    EXPECT_EQ(recorder.Count(WatchingStarted), 1);

    // Started again, the late page is checked too.
    ASSERT_TRUE(list.StartWatching());
    const int before = recorder.Count(NothingDue);
    ASSERT_TRUE(recorder.WaitFor(NothingDue, before + 1));
    EXPECT_EQ(list.GetAt(3)->GetStatus(), Current);
}

TEST_F(WatchSiteListTest, StopWithWaitAbortsASlowDownload) {
    list.Add(MakePage(server.Url("/trickle")));
    ASSERT_TRUE(list.StartWatching());
    // The check is running once the page announces Updating.
    ASSERT_TRUE(recorder.WaitFor(PageChanged));
    std::this_thread::sleep_for(50ms);  // let the first chunk arrive; the server holds the rest 5 s
    const auto start = std::chrono::steady_clock::now();
    list.StopWatching(true);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, 1000ms);
    EXPECT_FALSE(list.IsWatching());
    EXPECT_EQ(list.GetAt(0)->GetStatus(), Outdated);
    EXPECT_EQ(recorder.Count(WatchingStopped), 1);
    EXPECT_TRUE(log.Entries().empty()) << "a canceled check is not a failure";
}

TEST_F(WatchSiteListTest, StopRightAfterStartIsNotLost) {
    list.Add(MakePage(server.Url("/page")));
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(list.StartWatching());
        list.StopWatching(false);
        ASSERT_TRUE(list.Wait(2000)) << "round " << i;
    }
}

TEST_F(WatchSiteListTest, UnreachablePageIsDisabledAfterItsRetries) {
    const std::string url = "http://127.0.0.1:1/page";
    list.Add(MakePage(url));
    ASSERT_TRUE(list.StartWatching());
    // The first failure starts a pause: passes of the watch thread (every
    // 50 ms) leave the page alone until the clock has moved past it.
    CWatchSite& page = *list.GetAt(0);
    for (int i = 0; i < 200 && page.GetFailures() == 0; ++i) std::this_thread::sleep_for(10ms);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(page.GetFailures(), 1);
    for (int i = 0; i < 200 && !recorder.WaitFor(PageDisabled, 1, 20ms); ++i) fake.clock.Advance(120);
    ASSERT_EQ(recorder.Count(PageDisabled), 1);
    list.StopWatching(true);
    EXPECT_EQ(page.GetLastError(), InternetErrorText(kErrorCannotConnect))
        << "the reason stays with the disabled page";

    const auto entries = log.Entries();
    ASSERT_EQ(entries.size(), 5u) << "four failed attempts, then the retry-count message";
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(entries[i].second, url);
        EXPECT_NE(entries[i].first, entries[4].first);
    }
    EXPECT_EQ(entries[4].first,
              "The page exceeded the predetermined retry count.  This page will be disabled.");
    EXPECT_EQ(entries[4].second, url);
    EXPECT_EQ(list.GetAt(0)->GetStatus(), Disabled);
    EXPECT_EQ(list.GetAt(0)->GetFailures(), 0);
    EXPECT_EQ(recorder.Count(PageDisabled), 1);
    for (const auto& [code, index] : recorder.Events()) {
        if (code == PageDisabled) {
            EXPECT_EQ(index, 0);
        }
    }
}

TEST_F(WatchSiteListTest, OnePassChecksEachDuePageOnceThenEnds) {
    server.SetContent("<p>one</p>\n");
    list.Add(MakePage(server.Url("/page"), "good"));
    list.Add(MakePage("http://127.0.0.1:1/page", "dead"));
    list.Add(MakePage(server.Url("/page"), "off"));
    list.GetAt(2)->Enable(false);
    std::mutex lock;
    std::vector<CCheckOutcome> outcomes;
    auto pass = [&](bool everyPage) {
        outcomes.clear();
        const int stops = recorder.Count(WatchingStopped);
        EXPECT_TRUE(list.StartOnePass(everyPage, [&](const CCheckOutcome& outcome) {
            std::lock_guard<std::mutex> guard(lock);
            outcomes.push_back(outcome);
        }));
        EXPECT_TRUE(recorder.WaitFor(WatchingStopped, stops + 1));
        EXPECT_TRUE(list.Wait(2000));
        // Checks that run at once end in any order.
        std::sort(outcomes.begin(), outcomes.end(),
                  [](const CCheckOutcome& a, const CCheckOutcome& b) { return a.index < b.index; });
        std::vector<std::int32_t> indexes;
        for (const CCheckOutcome& outcome : outcomes) indexes.push_back(outcome.index);
        return indexes;
    };

    ASSERT_EQ(pass(false), (std::vector<std::int32_t>{0, 1}));
    EXPECT_TRUE(outcomes[0].checked && !outcomes[0].failed && outcomes[0].error.empty());
    EXPECT_TRUE(outcomes[1].failed && !outcomes[1].checked);
    ASSERT_EQ(log.Entries().size(), 1u);
    EXPECT_EQ(outcomes[1].error, log.Entries()[0].first);
    EXPECT_EQ(list.GetAt(1)->GetFailures(), 1) << "one pass, one attempt";
    EXPECT_EQ(list.GetAt(2)->GetStatus(), Disabled);

    // The good page is not due again for its interval; the failed one is,
    // once its retry pause is over.
    EXPECT_EQ(pass(false), (std::vector<std::int32_t>{}));
    fake.clock.Advance(CWatchSite::kFirstRetryPause);
    EXPECT_EQ(pass(false), (std::vector<std::int32_t>{1}));
    EXPECT_EQ(pass(true), (std::vector<std::int32_t>{0, 1}));
    EXPECT_EQ(recorder.Count(NothingDue), 1);

    // Watching afterwards runs pass after pass again, until stopped.
    ASSERT_TRUE(list.StartWatching());
    for (int i = 0; i < 200 && !recorder.WaitFor(PageDisabled, 1, 20ms); ++i) fake.clock.Advance(120);
    ASSERT_EQ(recorder.Count(PageDisabled), 1);
    ASSERT_TRUE(recorder.WaitFor(NothingDue, 3));
    EXPECT_TRUE(list.IsWatching());
    EXPECT_EQ(outcomes.size(), 2u) << "watching tells no observer";
}

// The view path (list -> page announcement -> list's subscribers) and the
// watch thread's path (page announcement -> list lookup) run at once on the
// same page, with a subscriber that reads the list inside every event.
TEST_F(WatchSiteListTest, ViewingWhileTheWatchThreadAnnouncesDoesNotDeadlock) {
    server.SetContent("<p>two</p>\n");
    CWatchSite page = MakePage(server.Url("/page"));
    page.SetPreviousContent("<p>one</p>\n");
    page.SetLatestContent("<p>two</p>\n");
    CWatcherSettings settings = page.GetSettings();
    settings.SetInterval(0);  // due on every pass
    page.SetSettings(settings);
    list.Add(page);
    recorder.callBack = true;
    ASSERT_TRUE(list.StartWatching());
    ASSERT_TRUE(recorder.WaitFor(PageChanged, 3));

    auto viewing = std::async(std::launch::async, [this] {
        for (int i = 0; i < 200; ++i) {
            list.GetAt(0)->SetPreviousContent("<p>one</p>\n");
            list.ViewChanges(0);
        }
    });
    if (viewing.wait_for(20s) != std::future_status::ready) {
        std::fprintf(stderr, "ViewChanges and the watch thread deadlocked\n");
        std::_Exit(1);
    }
    viewing.get();
    list.StopWatching(true);
    EXPECT_FALSE(list.IsWatching());
}

TEST_F(WatchSiteListTest, FailureOfNoKnownKindEndsWatchingNamingThePage) {
    class CThrowingSink : public CEventSink {
    public:
        ~CThrowingSink() override { UnsubscribeAll(); }
        bool OnEvent(SiteListEvent* event) {
            if (event->code == PageChanged) throw 42;  // not one of the program's exceptions
            return true;
        }
    } throwing;
    list.Add(MakePage(server.Url("/page"), "broken"));
    list.Subscribe(&throwing, &CThrowingSink::OnEvent);
    ASSERT_TRUE(list.StartWatching());
    ASSERT_TRUE(recorder.WaitFor(WatchingStopped)) << "the frame still learns that watching ended";
    EXPECT_TRUE(list.Wait(2000));
    using Entry = std::pair<std::string, std::string>;
    EXPECT_EQ(log.Entries(), (std::vector<Entry>{{"Unknown Exception", server.Url("/page")}}));

    // The same at the end of a check while other downloads are under way:
    // they end as canceled checks, and what their ends throw is dropped.
    class CThrowingAtTheEnd : public CEventSink {
    public:
        explicit CThrowingAtTheEnd(CWatchSiteList& list) : list(list) {}
        ~CThrowingAtTheEnd() override { UnsubscribeAll(); }
        bool OnEvent(SiteListEvent* event) {
            CWatchSite* page = list.GetAt(event->index);
            if (event->code == PageChanged && page && page->GetStatus() != Updating) throw 42;
            return true;
        }
        CWatchSiteList& list;
    } atTheEnd(list);
    list.Unsubscribe(static_cast<CEventSink*>(&throwing));
    list.Subscribe(&atTheEnd, &CThrowingAtTheEnd::OnEvent);
    list.Add(MakePage(server.Url("/trickle"), "slow one"));
    list.Add(MakePage(server.Url("/trickle"), "slow two"));
    list.SetTransferLimits(16, 4);
    const int stops = recorder.Count(WatchingStopped);
    ASSERT_TRUE(list.StartWatching());
    ASSERT_TRUE(recorder.WaitFor(WatchingStopped, stops + 1));
    EXPECT_TRUE(list.Wait(2000));
    EXPECT_EQ(list.GetAt(1)->GetStatus(), Outdated);
    EXPECT_EQ(list.GetAt(2)->GetStatus(), Outdated);
}

TEST_F(WatchSiteListTest, ViewFailureIsLoggedAndPassedOn) {
    list.Add(MakePage(server.Url("/page")));
    CWatchSite* page = list.GetAt(0);
    page->SetPreviousContent("<p>one</p>\n");
    page->SetLatestContent("<p>two</p>\n");
    CWatcherSettings settings = page->GetSettings();
    settings.SetNotifyFlags(NotifyLaunchApplication);
    settings.SetViewer("/missing/viewer");
    page->SetSettings(settings);
    fake.launcher.FailFor("/missing/viewer");
    EXPECT_THROW(list.ViewChanges(0), CException);
    ASSERT_EQ(log.Entries().size(), 1u);
    EXPECT_EQ(log.Entries()[0].second, server.Url("/page"));
    // The message says which program is missing, not only that a file is.
    EXPECT_EQ(log.Entries()[0].first,
              "The program \"/missing/viewer\" could not be started: " + COsException::SystemText(2));

    // "notepad.exe" stands for the desktop's opener: a missing one is named too.
    settings.SetViewer("notepad.exe");
    page->SetSettings(settings);
    fake.launcher.FailFor("xdg-open");
    EXPECT_THROW(list.ViewChanges(0), CException);
    ASSERT_EQ(log.Entries().size(), 2u);
    EXPECT_EQ(log.Entries()[1].first.rfind("The program \"xdg-open\" could not be started", 0), 0u)
        << log.Entries()[1].first;
}

}  // namespace
}  // namespace tallyhawk
