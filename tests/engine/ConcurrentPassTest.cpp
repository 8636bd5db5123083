// Many pages checked at once by the watch thread, against servers that
// answer, change, fail and stall at random: every page ends as checking the
// pages one after another would leave it, and the limits of downloads at
// once hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "LocalHttpServer.h"
#include "engine/EngineTestUtil.h"
#include "engine/WatchSiteList.h"

namespace tallyhawk {
namespace {

using namespace std::chrono_literals;

enum class Answer { Same, Changed, Error, Stall };

class CNullLog : public IPageLog {
public:
    void Add(const std::string&, const std::string&) override {}
    void Add(const CException&, const std::string&) override {}
};

TEST(ConcurrentPassTest, RandomAnswersLeaveEveryPageAsOneCheckAfterAnotherWould) {
    constexpr int kServers = 4, kPages = 40, kPasses = 6, kRetries = 2;
    std::mt19937 random(20261209);
    std::mutex lock;
    std::vector<Answer> answers(kPages, Answer::Same);  // guarded by lock
    std::vector<std::string> bodies(kPages);            // guarded by lock
    std::vector<std::atomic<int>> inFlight(kServers);
    std::atomic<int> total{0}, mostTotal{0}, mostPerServer{0};
    std::atomic<int> stallMs{450};  // how long a stall lasts after it stops counting

    std::vector<std::unique_ptr<testing::CLocalHttpServer>> servers;
    for (int s = 0; s < kServers; ++s) {
        auto server = std::make_unique<testing::CLocalHttpServer>();
        server->Server().Get(
            R"(/p/(\d+))", [&, s](const httplib::Request& request, httplib::Response& response) {
                const int page = std::stoi(request.matches[1].str());
                const int here = ++inFlight[s];
                const int all = ++total;
                mostPerServer = std::max(mostPerServer.load(), here);
                mostTotal = std::max(mostTotal.load(), all);
                Answer answer;
                std::string body;
                {
                    std::lock_guard<std::mutex> guard(lock);
                    answer = answers[page];
                    body = bodies[page];
                }
                // A stalled request stops counting before the client gives up on it
                // (200 ms), so that one it left behind is never counted.
                std::this_thread::sleep_for(answer == Answer::Stall ? 150ms : 20ms);
                --inFlight[s];
                --total;
                if (answer == Answer::Stall)
                    std::this_thread::sleep_for(std::chrono::milliseconds(stallMs.load()));
                if (answer == Answer::Error)
                    response.status = 500;
                else
                    response.set_content(body, "application/octet-stream");
            });
        server->Start();
        servers.push_back(std::move(server));
    }

    testing::CFakeServices fake;
    CNullLog log;
    CWatchSiteList list(&log, &fake.services);
    list.GetDownloader().SetTimeLimits({2000ms, 200ms, 2000ms});
    list.SetTransferLimits(6, 2);
    struct Expected {
        std::string accepted, latest;
        int failures = 0;
        std::int32_t status = Current;
    };
    std::vector<Expected> expected(kPages);
    for (int i = 0; i < kPages; ++i) {
        CWatchSite page(&fake.services);
        page.SetUrl(
            servers[static_cast<std::size_t>(i % kServers)]->Url("/p/" + std::to_string(i)));
        CWatcherSettings settings = page.GetSettings();
        settings.SetNotifyFlags(0);
        settings.SetRetryCount(kRetries);
        page.SetSettings(settings);
        expected[i].accepted = expected[i].latest = "version 0 of " + std::to_string(i);
        page.SetPreviousContent(expected[i].accepted);
        page.SetLatestContent(expected[i].latest);
        list.Add(page);
        bodies[i] = expected[i].latest;
    }

    for (int pass = 0; pass < kPasses; ++pass) {
        {
            std::lock_guard<std::mutex> guard(lock);
            for (int i = 0; i < kPages; ++i) {
                answers[i] = static_cast<Answer>(random() % 4);
                if (answers[i] == Answer::Changed)
                    bodies[i] = "version " + std::to_string(pass + 1) + " of " + std::to_string(i);
            }
        }
        ASSERT_TRUE(list.StartOnePass(true));
        ASSERT_TRUE(list.Wait(20000)) << "pass " << pass;
        // The rules of one check, page by page.
        for (int i = 0; i < kPages; ++i) {
            Expected& page = expected[i];
            if (page.status == Disabled) continue;
            if (answers[i] == Answer::Error || answers[i] == Answer::Stall) {
                ++page.failures;
                page.status = Outdated;
                if (page.failures > kRetries) {
                    page.status = Disabled;  // and disabling starts the count afresh
                    page.failures = 0;
                }
                continue;
            }
            page.latest = bodies[i];
            page.failures = 0;
            page.status = page.latest == page.accepted ? Current : Modified;
        }
        for (int i = 0; i < kPages; ++i) {
            CWatchSite* page = list.GetAt(i);
            EXPECT_EQ(page->GetStatus(), expected[i].status) << "pass " << pass << ", page " << i;
            EXPECT_EQ(page->GetLatestContent(), expected[i].latest)
                << "pass " << pass << ", page " << i;
            EXPECT_EQ(page->GetFailures(), expected[i].failures)
                << "pass " << pass << ", page " << i;
        }
    }
    EXPECT_LE(mostPerServer.load(), 2);
    EXPECT_LE(mostTotal.load(), 6);
    EXPECT_EQ(mostTotal.load(), 6) << "the pages went out at once";

    // A stop while every download waits on its server ends them all at once,
    // each a canceled check.
    list.GetDownloader().SetTimeLimits({10s, 10s, 10s});
    stallMs = 2000;
    {
        std::lock_guard<std::mutex> guard(lock);
        std::fill(answers.begin(), answers.end(), Answer::Stall);
    }
    for (int i = 0; i < kPages; ++i) list.GetAt(i)->SetStatus(Current);
    ASSERT_TRUE(list.StartOnePass(true));
    for (int tries = 0; tries < 200 && total.load() < 6; ++tries) std::this_thread::sleep_for(10ms);
    const auto stop = std::chrono::steady_clock::now();
    list.StopWatching(true);
    EXPECT_LT(std::chrono::steady_clock::now() - stop, 1s) << "not waiting for the servers";
    EXPECT_FALSE(list.IsWatching());
    int canceled = 0;
    for (int i = 0; i < kPages; ++i) canceled += list.GetAt(i)->GetStatus() == Outdated;
    EXPECT_EQ(canceled, 6) << "the downloads under way, and no other page";
}

// Pages that learn their noise and find a change wait for their second
// download without keeping their server's share from the other pages, and
// a stop while they wait settles each on its first download.
TEST(ConcurrentPassTest, ChangesWaitForTheirConfirmationWithoutHoldingTheServerAndAStopSettlesThem) {
    constexpr int kPages = 6;
    std::mutex lock;
    std::vector<std::string> requests;  // guarded by lock: "page/visit", in order of arrival
    std::vector<int> visits(kPages);    // guarded by lock
    std::string story = "The ferry runs.";  // guarded by lock
    testing::CLocalHttpServer server;
    server.Server().Get(R"(/p/(\d+))", [&](const httplib::Request& request, httplib::Response& response) {
        const int page = std::stoi(request.matches[1].str());
        std::lock_guard<std::mutex> guard(lock);
        const int visit = ++visits[static_cast<std::size_t>(page)];
        requests.push_back(std::to_string(page) + "/" + std::to_string(visit));
        response.set_content("<p>" + story + "</p>\n<p>" + std::to_string(visit * 7 % 40 + 2) +
                                 " people are viewing</p>\n",
                             "text/html");
    });
    server.Start();

    testing::CFakeServices fake;
    fake.services.SetConfirmPause(1000ms);
    CNullLog log;
    CWatchSiteList list(&log, &fake.services);
    list.SetTransferLimits(6, 1);
    for (int i = 0; i < kPages; ++i) {
        CWatchSite page(&fake.services);
        page.SetUrl(server.Url("/p/" + std::to_string(i)));
        CWatcherSettings settings = page.GetSettings();
        settings.SetNotifyFlags(0);
        settings.SetLearnNoise(true);
        page.SetSettings(settings);
        const std::string accepted = "<p>The ferry runs.</p>\n<p>1 people are viewing</p>\n";
        page.SetPreviousContent(accepted);
        page.SetLatestContent(accepted);
        list.Add(page);
    }
    ASSERT_TRUE(list.StartOnePass(true));
    ASSERT_TRUE(list.Wait(20000));
    {
        std::lock_guard<std::mutex> guard(lock);
        ASSERT_EQ(requests.size(), 2u * kPages) << "each change confirmed once";
        // One at a time from the server, yet every first download came
        // before any second one: a page waiting out its pause held nothing.
        for (std::size_t i = 0; i < kPages; ++i) EXPECT_EQ(requests[i].substr(requests[i].find('/')), "/1");
        requests.clear();
    }
    for (int i = 0; i < kPages; ++i) {
        EXPECT_EQ(list.GetAt(i)->GetStatus(), Current) << "noise only, page " << i;
        EXPECT_EQ(list.GetAt(i)->GetLearnedNoise().RuleCount(), 1u) << i;
    }

    {
        std::lock_guard<std::mutex> guard(lock);
        story = "The ferry stops on Sunday.";
    }
    ASSERT_TRUE(list.StartOnePass(true));
    // Every page has its first download (and waits for its second).
    auto firstsIn = [&] {
        for (int i = 0; i < kPages; ++i) {
            if (list.GetAt(i)->GetLatestContent().find("Sunday") == std::string::npos) return false;
        }
        return true;
    };
    for (int tries = 0; tries < 500 && !firstsIn(); ++tries) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(firstsIn());
    list.StopWatching(true);
    for (int i = 0; i < kPages; ++i) {
        EXPECT_EQ(list.GetAt(i)->GetStatus(), Modified) << "settled on the first download, page " << i;
    }
    std::lock_guard<std::mutex> guard(lock);
    EXPECT_EQ(requests.size(), static_cast<std::size_t>(kPages)) << "no second download after the stop";
}

}  // namespace
}  // namespace tallyhawk
