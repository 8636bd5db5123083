// CWatchSite::Check against a real HTTP server on 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <future>
#include <utility>

#include "base/Exception.h"
#include "base/StringTable.h"
#include "diff/ChangeDetector.h"
#include "engine/EngineTestUtil.h"
#include "engine/PageServer.h"
#include "engine/PageSink.h"
#include "engine/WatchSite.h"
#include "net/Downloader.h"
#include "net/InternetError.h"

namespace tallyhawk {
namespace {

using namespace std::chrono_literals;
using testing::CFakeServices;
using testing::CPageServer;

// Cancels the download as soon as the first body bytes arrive.
class CCancelOnFirstBytes : public CEventSink {
public:
    explicit CCancelOnFirstBytes(CDownloader& downloader) : downloader(downloader) {
        downloader.Subscribe(this, &CCancelOnFirstBytes::OnProgress);
    }
    ~CCancelOnFirstBytes() override { UnsubscribeAll(); }
    bool OnProgress(CDownloadProgress* progress) {
        if (progress->state == Receiving && progress->bytesReceived > 0) downloader.Cancel();
        return true;
    }

private:
    CDownloader& downloader;
};

class WatchSiteCheckTest : public ::testing::Test {
protected:
    WatchSiteCheckTest() : downloader(10s), site(&fake.services) {
        site.SetUrl(server.Url("/page"));
    }

    void SetMode(std::int32_t mode) {
        CWatcherSettings settings = site.GetSettings();
        settings.SetOutputMode(mode);
        site.SetSettings(settings);
    }

    // Checks, expecting a failure, and returns its message.
    std::string FailingCheck() {
        try {
            site.Check(downloader);
        } catch (const CException& e) {
            return e.Message();
        }
        ADD_FAILURE() << "no exception";
        return {};
    }

    void Unreachable() { site.SetUrl("http://127.0.0.1:1/page"); }

    CFakeServices fake;
    CPageServer server;
    CDownloader downloader;
    CWatchSite site;
};

TEST_F(WatchSiteCheckTest, FirstDownloadBecomesTheAcceptedVersionSoTheNextChangeIsReported) {
    fake.clock.Set(1700000000);
    for (std::int32_t mode = 0; mode <= 4; ++mode) {
        CWatchSite page(&fake.services);
        page.SetUrl(server.Url("/page"));
        CWatcherSettings settings = page.GetSettings();
        settings.SetOutputMode(mode);
        page.SetSettings(settings);
        server.SetContent("<p>hello</p>\n");
        ASSERT_TRUE(page.Check(downloader));
        EXPECT_EQ(page.GetStatus(), Current) << mode;
        EXPECT_EQ(page.GetPreviousContent(), "<p>hello</p>\n") << mode;
        EXPECT_EQ(page.GetLatestContentType(), "text/html") << "for the change files' character set";
        EXPECT_EQ(page.GetLastUpdated(), 1700000000);
        // No Update by hand in between: the next check already compares.
        server.SetContent("<p>hello</p>\n<p>and more</p>\n");
        ASSERT_TRUE(page.Check(downloader));
        EXPECT_EQ(page.GetStatus(), mode == DeletionsAsText || mode == DeletionsAsHtml ? Current
                                                                                         : Modified)
            << mode;
    }
    // A page saved with a latest version but no accepted one (as older
    // releases left every watched page) heals at its next check.
    site.SetLatestContent("<p>old</p>\n");
    server.SetContent("<p>new</p>\n");
    ASSERT_TRUE(site.Check(downloader));
    EXPECT_EQ(site.GetStatus(), Current);
    EXPECT_EQ(site.GetPreviousContent(), "<p>new</p>\n");
}

TEST_F(WatchSiteCheckTest, ModifiedOrCurrentByOutputMode) {
    server.SetContent("<p>one</p>\n<p>two</p>\n");
    ASSERT_TRUE(site.Check(downloader));
    site.AcceptChanges();
    server.SetContent("<p>one</p>\n<p>two</p>\n<p>three</p>\n");  // an addition only
    const std::int32_t expected[] = {Modified, Modified, Current, Current, Modified};
    for (std::int32_t mode = 0; mode <= 4; ++mode) {
        SetMode(mode);
        ASSERT_TRUE(site.Check(downloader));
        EXPECT_EQ(site.GetStatus(), expected[mode]) << mode;
    }
    // Sound after every check that leaves the page Modified (modes 0, 1, 4).
    EXPECT_EQ(fake.sound.Count(), 3u);
    server.SetContent("<p>one</p>\n<p>two</p>\n");  // back to the accepted form
    ASSERT_TRUE(site.Check(downloader));
    EXPECT_EQ(site.GetStatus(), Current);
}

TEST_F(WatchSiteCheckTest, CredentialsAreSentOnlyForThePageThatHasThem) {
    server.SetContent("members only");
    site.SetUrl(server.Url("/secure"));
    CWatcherSettings settings = site.GetSettings();
    settings.SetUserName("ann");
    settings.SetPassword("s3cret");
    site.SetSettings(settings);
    ASSERT_TRUE(site.Check(downloader));
    EXPECT_EQ(site.GetLatestContent(), "members only");

    // A page without credentials through the same downloader: none are sent,
    // and the server's refusal is a failed check, not the page's content.
    CWatchSite other(&fake.services);
    other.SetUrl(server.Url("/secure"));
    other.SetLatestContent("kept");
    EXPECT_THROW(other.Check(downloader), CException);
    EXPECT_EQ(other.GetLatestContent(), "kept");
    EXPECT_EQ(other.GetStatus(), Outdated);
    EXPECT_EQ(other.GetFailures(), 1);
    EXPECT_NE(other.GetLastError().find("401"), std::string::npos) << other.GetLastError();
}

TEST_F(WatchSiteCheckTest, FailuresWaitOutGrowingPausesAndTheFourthWithRetryCountThreeDisables) {
    CWatcherSettings settings = site.GetSettings();
    settings.SetInterval(3600);
    site.SetSettings(settings);
    fake.clock.Set(1700000000);
    Unreachable();
    std::string expected = InternetErrorText(kErrorCannotConnect);
    const std::int64_t pauses[] = {60, 120, 240};
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(FailingCheck(), expected);
        EXPECT_EQ(site.GetStatus(), Outdated) << i;
        EXPECT_EQ(site.GetFailures(), i);
        EXPECT_EQ(site.GetLastError(), expected);
        // Not tried again at once: a one-second outage must not use up the retries.
        fake.clock.Advance(pauses[i - 1] - 1);
        EXPECT_FALSE(site.IsDue()) << i;
        fake.clock.Advance(1);
        EXPECT_TRUE(site.IsDue()) << i;
    }
    EXPECT_EQ(FailingCheck(), expected);
    EXPECT_EQ(site.GetStatus(), Disabled);
    EXPECT_EQ(site.GetFailures(), 4);
    EXPECT_FALSE(site.Check(downloader)) << "a disabled page is not checked";
    site.Enable(false);
    EXPECT_EQ(site.GetFailures(), 0);
    site.Enable(true);
    EXPECT_TRUE(site.IsDue()) << "enabling again ends the pause";

    // The pause never outlasts the page's interval.
    settings.SetInterval(90);
    site.SetSettings(settings);
    for (int i = 0; i < 3; ++i) FailingCheck();
    EXPECT_EQ(site.GetRetryTime(), fake.clock.Now() + 90);
    // A success ends the pause and forgets the error.
    site.SetUrl(server.Url("/page"));
    EXPECT_TRUE(site.Check(downloader));
    EXPECT_EQ(site.GetRetryTime(), 0);
    EXPECT_EQ(site.GetLastError(), "");
}

TEST_F(WatchSiteCheckTest, AnErrorAnswerIsAFailedCheckThatKeepsBothVersions) {
    server.SetContent("<p>real</p>\n");
    ASSERT_TRUE(site.Check(downloader));
    fake.clock.Set(1700000000);
    site.SetUrl(server.Url("/gone"));
    EXPECT_EQ(FailingCheck(), "The server answered 404 Not Found.");
    EXPECT_EQ(site.GetPreviousContent(), "<p>real</p>\n");
    EXPECT_EQ(site.GetLatestContent(), "<p>real</p>\n");
    EXPECT_EQ(site.GetStatus(), Outdated);
    EXPECT_EQ(site.GetRetryTime(), 1700000000 + CWatchSite::kFirstRetryPause);
    // A server that asks for an hour's rest gets it, longer than the interval.
    site.SetUrl(server.Url("/busy"));
    EXPECT_NE(FailingCheck().find("503"), std::string::npos);
    EXPECT_EQ(site.GetRetryTime(), 1700000000 + 3600);
    EXPECT_EQ(site.GetFailures(), 2);
}

TEST_F(WatchSiteCheckTest, RetryCountZeroNeverDisables) {
    CWatcherSettings settings = site.GetSettings();
    settings.SetRetryCount(0);
    site.SetSettings(settings);
    Unreachable();
    for (int i = 1; i <= 6; ++i) FailingCheck();
    EXPECT_EQ(site.GetStatus(), Outdated);
    EXPECT_EQ(site.GetFailures(), 6);
}

TEST_F(WatchSiteCheckTest, SuccessAfterFailuresResetsTheCount) {
    Unreachable();
    FailingCheck();
    FailingCheck();
    site.SetUrl(server.Url("/page"));
    EXPECT_TRUE(site.Check(downloader));
    EXPECT_EQ(site.GetFailures(), 0);
}

TEST_F(WatchSiteCheckTest, CanceledDownloadIsOutdatedWithoutAFailure) {
    Unreachable();
    FailingCheck();
    site.SetUrl(server.Url("/trickle"));
    CCancelOnFirstBytes cancel(downloader);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(site.Check(downloader));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(site.GetStatus(), Outdated);
    EXPECT_EQ(site.GetFailures(), 1);
    EXPECT_EQ(site.GetLastUpdated(), 0);
}

TEST_F(WatchSiteCheckTest, BodyIsCutAtItsFirstZeroByte) {
    server.SetContent(std::string("abc\0def", 7));
    EXPECT_TRUE(site.Check(downloader));
    EXPECT_EQ(site.GetLatestContent(), "abc");
}

// The real limit is 256 MiB; a page with a lower one keeps the test fast.
class CSmallLimitSite : public CWatchSite {
public:
    using CWatchSite::CWatchSite;
    static constexpr std::size_t kLimit = 3 << 20;

protected:
    std::size_t MaximumPageSize() const override { return kLimit; }
};

TEST_F(WatchSiteCheckTest, BodyOverTheLimitIsAFailedDownload) {
    CSmallLimitSite page(&fake.services);
    page.SetUrl(server.Url("/big"));
    page.SetLatestContent("kept");
    server.bigSize = CSmallLimitSite::kLimit;
    EXPECT_TRUE(page.Check(downloader)) << "exactly the limit is accepted";
    EXPECT_EQ(page.GetLatestContent().size(), CSmallLimitSite::kLimit);

    server.bigSize = CSmallLimitSite::kLimit + 1;
    page.SetLatestContent("kept");
    try {
        page.Check(downloader);
        ADD_FAILURE() << "no exception";
    } catch (const CException& e) {
        EXPECT_EQ(e.Message(), "The page is larger than 256 MB, the most that can be checked, and was not downloaded.");
    }
    EXPECT_EQ(page.GetStatus(), Outdated);
    EXPECT_EQ(page.GetFailures(), 1);
    EXPECT_EQ(page.GetLatestContent(), "kept");
}

TEST_F(WatchSiteCheckTest, AnUnchangedPageIsAnsweredNotModifiedAndKeepsItsVersions) {
    site.SetUrl(server.Url("/validated"));
    server.SetContent("<p>one</p>\n");
    ASSERT_TRUE(site.Check(downloader));
    EXPECT_EQ(site.GetETag(), "\"r1\"");
    // Unchanged, with an unseen change held: still Modified, the failure over.
    site.SetPreviousContent("<p>zero</p>\n");
    Unreachable();
    FailingCheck();
    site.SetUrl(server.Url("/validated"));
    fake.clock.Set(1700000000);
    ASSERT_TRUE(site.Check(downloader));
    EXPECT_EQ(server.notModified, 1);
    EXPECT_EQ(site.GetLatestContent() + site.GetPreviousContent(), "<p>one</p>\n<p>zero</p>\n");
    EXPECT_EQ(site.GetStatus(), Modified);
    EXPECT_EQ(site.GetLastUpdated(), 1700000000);
    EXPECT_EQ(site.GetFailures() + site.GetRetryTime(), 0);
    // Changed: the whole page comes, with its new validators.
    server.SetContent("<p>two</p>\n");
    ASSERT_TRUE(site.Check(downloader));
    EXPECT_EQ(site.GetLatestContent(), "<p>two</p>\n");
    EXPECT_EQ(site.GetETag(), "\"r2\"");
}

TEST_F(WatchSiteCheckTest, NoValidatorIsSentThatCouldAddHeaderLinesOrHasNoVersionBehindIt) {
    server.SetContent("<p>one</p>\n");
    CWatchSite empty(&fake.services);
    empty.SetUrl(server.Url("/validated"));
    empty.SetValidators("\"r1\"", "");
    ASSERT_TRUE(empty.Check(downloader));
    site.SetUrl(server.Url("/validated"));
    site.SetLatestContent("held");
    site.SetValidators("\"r1\"\r\nX-Injected: 1", "Mon, 01 Jan 2024 00:00:00 GMT\nX-Injected: 2");
    ASSERT_TRUE(site.Check(downloader));
    EXPECT_EQ(server.LastHeader("X-Injected") + server.LastHeader("If-Modified-Since"), "");
    EXPECT_EQ(server.notModified, 0);
    // "Not modified" to a question nobody asked is no page.
    site.SetUrl(server.Url("/unchanged"));
    site.SetLatestContent("kept");
    EXPECT_EQ(FailingCheck(), "The server answered 304 Not Modified.");
    EXPECT_EQ(site.GetLatestContent(), "kept");
}

// The most body bytes a download handed on.
class CReceivedBytes : public CEventSink {
public:
    explicit CReceivedBytes(CDownloader& downloader) {
        downloader.Subscribe(this, &CReceivedBytes::On);
    }
    ~CReceivedBytes() override { UnsubscribeAll(); }
    bool On(CDownloadProgress* progress) {
        most = std::max(most, progress->bytesReceived);
        return true;
    }
    std::uint64_t most = 0;
};

TEST_F(WatchSiteCheckTest, ACompressedPageOverTheLimitIsRefusedBeforeItIsUnpacked) {
    CSmallLimitSite page(&fake.services);
    page.SetUrl(server.Url("/bomb"));  // 64 KiB that unpack to 64 MiB
    page.SetLatestContent("kept");
    CReceivedBytes received(downloader);
    EXPECT_THROW(page.Check(downloader), CException);
    EXPECT_EQ(page.GetLastError(), LoadString(IDS_PAGE_TOO_LARGE));
    EXPECT_EQ(page.GetLatestContent(), "kept");
    EXPECT_LE(received.most, CSmallLimitSite::kLimit + CDownloader::kChunkSize);
}

// A page that, once, lets another thread act on it while a comparison runs.
// The other thread uses the page's locked operations: if the comparing
// thread held the lock, they could not finish before the comparison, which
// waits for them, so the wait ends in its time limit and the act is not done.
class CProbedSite : public CWatchSite {
public:
    using CWatchSite::CWatchSite;
    mutable std::function<void()> during;  // run once, on another thread
    mutable bool done = false;             // it finished while the comparison waited

protected:
    std::uint32_t Compare(CChangeDetector& detector, std::string_view previous,
                          std::string_view latest) const override {
        if (during) {
            other = std::async(std::launch::async, std::exchange(during, nullptr));
            done = other.wait_for(10s) == std::future_status::ready;
        }
        return CWatchSite::Compare(detector, previous, latest);
    }

private:
    mutable std::future<void> other;  // outlives a blocked act until the page goes
};

TEST_F(WatchSiteCheckTest, ComparisonsRunWithoutTheLockAndAnswerForTheVersionsHeld) {
    CProbedSite page(&fake.services);
    page.SetUrl(server.Url("/page"));
    page.SetPreviousContent("<p>one</p>\n");
    server.SetContent("<p>two</p>\n");
    // The user accepts the new download while the check compares it: the
    // check's answer (Modified) is about a baseline the page no longer has.
    page.during = [&] {
        EXPECT_EQ(page.GetStatus(), Updating);
        page.AcceptChanges();
    };
    ASSERT_TRUE(page.Check(downloader));
    EXPECT_TRUE(page.done);
    EXPECT_EQ(page.GetPreviousContent(), "<p>two</p>\n");
    EXPECT_EQ(page.GetStatus(), Current);
    // The user disables the page while a check compares: it stays disabled.
    server.SetContent("<p>five</p>\n");
    page.during = [&] { page.Enable(false); };
    ASSERT_TRUE(page.Check(downloader));
    EXPECT_EQ(page.GetStatus(), Disabled);
    page.Enable(true);

    // A check stores a newer download while the user's changes are composed:
    // the version shown becomes the baseline, not the one nobody has seen.
    page.SetLatestContent("<p>three</p>\n");
    CWatcherSettings settings = page.GetSettings();
    settings.SetNotifyFlags(NotifyLaunchBrowser);
    page.SetSettings(settings);
    page.during = [&] { page.SetLatestContent("<p>four</p>\n"); };
    page.ShowAndAcceptChanges();
    EXPECT_TRUE(page.done);
    ASSERT_EQ(page.GetTempFiles().size(), 1u);
    EXPECT_NE(testing::ReadFile(page.GetTempFiles()[0]).find("three"), std::string::npos);
    EXPECT_EQ(page.GetPreviousContent(), "<p>three</p>\n");
    EXPECT_EQ(page.GetStatus(), Modified);
}

TEST(PageSinkTest, AnnouncedLengthTakesAModestAmountAndTheBodyGrowsAsItArrives) {
    // A server that claims the whole page limit and sends a few bytes.
    CPageSink lied(kMaximumPageSize);
    lied.Reserve(kMaximumPageSize);
    EXPECT_LE(lied.Reserved(), CPageSink::kReserveLimit + 64);
    lied.Write("<p>", 3);
    EXPECT_EQ(lied.Take(), "<p>");

    // A page of a known, modest length still arrives in one allocation.
    CPageSink known(kMaximumPageSize);
    known.Reserve(100000);
    EXPECT_GE(known.Reserved(), 100000u);

    // A page past the reserve grows to its full size.
    CPageSink large(kMaximumPageSize);
    large.Reserve(kMaximumPageSize);
    const std::string chunk(64 << 10, 'x');
    const std::size_t total = CPageSink::kReserveLimit + (1 << 20);
    for (std::size_t n = 0; n < total; n += chunk.size()) large.Write(chunk.data(), chunk.size());
    EXPECT_EQ(large.Take().size(), total);
}

}  // namespace
}  // namespace tallyhawk
