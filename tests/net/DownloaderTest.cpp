#include "net/Downloader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

#include "base/Exception.h"
#include "net/InternetError.h"
#include "net/TestServer.h"

namespace tallyhawk {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Copies of every announced progress record, safe to read from the test thread.
class Recorder : public CEventSink {
public:
    explicit Recorder(CDownloader& downloader) { downloader.Subscribe(this, &Recorder::OnProgress); }
    ~Recorder() override { UnsubscribeAll(); }

    bool OnProgress(const CDownloadProgress* progress) {
        std::function<void(const CDownloadProgress&)> hook;
        {
            std::lock_guard guard(lock);
            events.push_back(*progress);
            hook = onProgress;
        }
        if (hook) hook(*progress);
        return true;
    }

    std::vector<CDownloadProgress> Events() const {
        std::lock_guard guard(lock);
        return events;
    }
    // The states in order, each run of equal states counted once.
    std::vector<std::int32_t> States() const {
        std::vector<std::int32_t> states;
        for (const CDownloadProgress& event : Events())
            if (states.empty() || states.back() != event.state) states.push_back(event.state);
        return states;
    }
    std::vector<CDownloadProgress> InState(std::int32_t state) const {
        std::vector<CDownloadProgress> matching;
        for (const CDownloadProgress& event : Events())
            if (event.state == state) matching.push_back(event);
        return matching;
    }
    void Clear() {
        std::lock_guard guard(lock);
        events.clear();
    }

    std::function<void(const CDownloadProgress&)> onProgress;  // set before downloading

private:
    mutable std::mutex lock;
    std::vector<CDownloadProgress> events;
};

// Remembers the length of every OnData call.
class CountingDownloader : public CDownloader {
public:
    using CDownloader::CDownloader;
    std::vector<std::size_t> lengths;

protected:
    void OnData(const char* buffer, std::size_t length) override {
        lengths.push_back(length);
        CDownloader::OnData(buffer, length);
    }
};

class DownloaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Everything here talks to 127.0.0.1 only, whatever proxy the
        // environment names. No other thread runs yet.
        setenv("no_proxy", "*", 1);
        CSession::StartLibrary();
    }

    test::TestServer server;
    CountingDownloader downloader;
    Recorder recorder{downloader};
    CMemorySink sink;
    std::uint64_t bytes = 99;
};

const std::vector<std::int32_t> kFullSequence = {Resolving, Resolved, Connecting,
                                                 Connected, Receiving, Done};

TEST_F(DownloaderTest, BodyWithLengthAnnouncesEveryStepInChunks) {
    const std::string url = server.Url("/page");
    const std::string expected = test::TestServer::PageBody();
    for (int round = 0; round < 2; ++round) {  // each download starts afresh
        recorder.Clear();
        ASSERT_TRUE(downloader.Download(url, &sink, &bytes)) << downloader.GetError();
        EXPECT_EQ(sink.Data(), expected);
        EXPECT_EQ(bytes, expected.size());
        EXPECT_EQ(downloader.GetError(), 0u);
        EXPECT_EQ(recorder.States(), kFullSequence);
    }
    const auto events = recorder.Events();
    EXPECT_EQ(events.front().statusText, "127.0.0.1");
    for (const auto& event : events) EXPECT_EQ(event.url, url);
    EXPECT_EQ(recorder.InState(Connected).front().statusText, "127.0.0.1");

    const auto receiving = recorder.InState(Receiving);
    std::uint64_t previous = 0;
    for (const auto& event : receiving) {
        EXPECT_LE(event.bytesReceived - previous, CDownloader::kChunkSize);
        EXPECT_EQ(event.contentLength, expected.size());
        previous = event.bytesReceived;
    }
    // The last read is the empty one that ends the body.
    ASSERT_GE(receiving.size(), 4u);
    EXPECT_EQ(receiving[receiving.size() - 1].bytesReceived, expected.size());
    EXPECT_EQ(receiving[receiving.size() - 2].bytesReceived, expected.size());
    EXPECT_EQ(downloader.lengths.back(), 0u);
    EXPECT_EQ(events.back().bytesReceived, expected.size());
}

TEST_F(DownloaderTest, ChunkedBodyHasNoContentLength) {
    ASSERT_TRUE(downloader.Download(server.Url("/chunked"), &sink, &bytes));
    EXPECT_EQ(sink.Data(), test::TestServer::PageBody());
    for (const auto& event : recorder.InState(Receiving)) EXPECT_EQ(event.contentLength, 0u);
}

TEST_F(DownloaderTest, CompressedBodiesAreDecodedOnlyWhereAsked) {
    const std::string body = test::TestServer::PageBody(), packed = testing::Gzip(body);
    test::RawServer raw("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
                        std::to_string(packed.size()) + "\r\nETag: \"p\"\r\n\r\n" + packed);
    ASSERT_TRUE(downloader.Download(raw.Url(), &sink, &bytes));
    EXPECT_EQ(sink.Data(), packed) << "a file to save comes as the server has it";
    EXPECT_EQ(downloader.GetETag(), "\"p\"");
    downloader.SetAcceptCompressed(true);
    recorder.Clear();
    ASSERT_TRUE(downloader.Download(raw.Url(), &sink, &bytes));
    EXPECT_EQ(sink.Data(), body);
    EXPECT_EQ(bytes, body.size());
    // The packed length would pass for the page's: it is not announced.
    for (const auto& event : recorder.InState(Receiving)) EXPECT_EQ(event.contentLength, 0u);
}

TEST_F(DownloaderTest, EmptyBodyIsOneEmptyReadThenDone) {
    sink.Write("stale", 5);  // truncated when the download starts
    ASSERT_TRUE(downloader.Download(server.Url("/empty"), &sink, &bytes));
    EXPECT_EQ(sink.Data(), "");
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(downloader.lengths, std::vector<std::size_t>{0});
    const auto receiving = recorder.InState(Receiving);
    ASSERT_EQ(receiving.size(), 1u);
    EXPECT_EQ(receiving[0].bytesReceived, 0u);
    EXPECT_EQ(recorder.Events().back().state, Done);
}

// The message ThrowDownloadError(downloader) throws.
std::string Thrown(const CDownloader& downloader) {
    try {
        ThrowDownloadError(downloader);
    } catch (const CException& e) {
        return e.Message();
    }
    return {};
}

TEST_F(DownloaderTest, ErrorPagesAreHandedOnButFailTheDownload) {
    EXPECT_FALSE(downloader.Download(server.Url("/missing"), &sink, &bytes));
    EXPECT_EQ(sink.Data(), "no such page");  // fetch still prints it
    EXPECT_EQ(bytes, 12u);
    EXPECT_EQ(downloader.GetError(), kErrorHttpStatus);
    EXPECT_FALSE(downloader.IsCanceled());
    EXPECT_EQ(downloader.GetHttpStatus(), 404);
    EXPECT_EQ(downloader.GetHttpReason(), "Not Found");
    EXPECT_EQ(downloader.GetContentType(), "text/plain");
    EXPECT_EQ(downloader.GetErrorMessage(), "The server answered 404 Not Found.");
    EXPECT_EQ(Thrown(downloader), "The server answered 404 Not Found.");
    for (const auto& event : recorder.Events()) EXPECT_NE(event.state, Done);

    EXPECT_FALSE(downloader.Download(server.Url("/secret"), &sink, &bytes));
    EXPECT_EQ(sink.Data(), "denied");
    EXPECT_EQ(downloader.GetErrorMessage(),
              "The server did not accept the user name or password (401 Unauthorized).");

    // The next download starts with nothing of the last one's answer.
    ASSERT_TRUE(downloader.Download(server.Url("/hop/1"), &sink, &bytes));
    EXPECT_EQ(downloader.GetHttpStatus(), 200);
    EXPECT_EQ(downloader.GetHttpReason(), "OK");
    EXPECT_EQ(downloader.GetRetryAfter(), -1);
    EXPECT_FALSE(
        downloader.Download("http://127.0.0.1:" + std::to_string(test::ClosedPort()), &sink));
    EXPECT_EQ(downloader.GetHttpStatus(), 0);
    EXPECT_EQ(downloader.GetHttpReason(), "");
    EXPECT_EQ(downloader.GetContentType(), "");
    EXPECT_EQ(downloader.GetErrorMessage(), "The attempt to connect to the server failed.");
}

TEST_F(DownloaderTest, StatusLineReasonAndRetryAfterAreTakenAsSent) {
    struct Case {
        std::string reply;
        std::int32_t status;
        std::string reason;
        std::int64_t retryAfter;  // -1: none
        std::string contentType;
    };
    const Case cases[] = {
        {"HTTP/1.1 500\r\nContent-Length: 0\r\n\r\n", 500, "Internal Server Error", -1, ""},
        {"HTTP/1.1 404 Gone Fishing\r\ncontent-type:  text/html; charset=utf-8 \r\n"
         "Content-Length: 0\r\n\r\n",
         404, "Gone Fishing", -1, "text/html; charset=utf-8"},
        {"HTTP/1.1 499 \x01Odd\x7f\r\nContent-Length: 0\r\n\r\n", 499, "Odd", -1, ""},
        {"HTTP/1.1 429 Too Many Requests\r\nRetry-After: 120\r\nContent-Length: 0\r\n\r\n", 429,
         "Too Many Requests", 120, ""},
        // The header's forms are HttpResponseTest's: here only where it is read.
        {"HTTP/1.1 503 Busy\r\nRetry-After: 60\r\nContent-Length: 0\r\n\r\n", 503, "Busy", 60, ""},
        // Retry-After counts only where it means "come back later".
        {"HTTP/1.1 500 Oops\r\nRetry-After: 120\r\nContent-Length: 0\r\n\r\n", 500, "Oops", -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        test::RawServer raw(c.reply);
        EXPECT_FALSE(downloader.Download(raw.Url(), &sink));
        EXPECT_EQ(downloader.GetError(), kErrorHttpStatus);
        EXPECT_EQ(downloader.GetHttpStatus(), c.status);
        EXPECT_EQ(downloader.GetHttpReason(), c.reason);
        EXPECT_EQ(downloader.GetRetryAfter(), c.retryAfter);
        EXPECT_EQ(downloader.GetContentType(), c.contentType);
        EXPECT_EQ(downloader.GetErrorMessage(),
                  "The server answered " + std::to_string(c.status) + " " + c.reason + ".");
    }
}

TEST_F(DownloaderTest, RepliesThatAreNoHttpSayWhatTheyAre) {
    std::string manyHeaders = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 5000; ++i) manyHeaders += "X-Header-" + std::to_string(i) + ": v\r\n";
    const std::string parsed = "The server response could not be parsed.";
    struct Case {
        std::string reply;
        std::string message;
    };
    const Case cases[] = {
        {"Content-Type: text/html\r\n\r\n<html>no status line</html>", parsed},
        {"<html>an HTTP/0.9 body</html>", parsed},
        {std::string("\x15\x03\x01\x00\x02\x02\x46", 7),
         "The server answered in TLS, as a secure server does: its address has to begin with "
         "https:// instead of http://."},
        {manyHeaders + "\r\n",
         "The server's response could not be read: its header has more than 1000 lines or 100 KB."},
        {"HTTP/1.1 302 Found\r\nLocation: ftp://127.0.0.1/file\r\nContent-Length: 0\r\n\r\n",
         "A redirect changed the scheme of the URL and could not be followed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply.substr(0, 60));
        test::RawServer raw(c.reply);
        EXPECT_FALSE(downloader.Download(raw.Url(), &sink, &bytes));
        EXPECT_EQ(downloader.GetErrorMessage(), c.message);
        EXPECT_EQ(Thrown(downloader), c.message);
        EXPECT_EQ(sink.Data(), "");  // nothing of it reaches the page
        EXPECT_FALSE(downloader.IsCanceled());
    }
}

TEST_F(DownloaderTest, CredentialsAnswerTheServersChallenge) {
    downloader.SetCredentials("walker", "s3cret");
    ASSERT_TRUE(downloader.Download(server.Url("/secret"), &sink, &bytes));
    EXPECT_EQ(sink.Data(), "welcome");
    EXPECT_EQ(bytes, 7u);  // the body of the challenge is not counted
    EXPECT_EQ(downloader.GetHttpStatus(), 200);
    downloader.ClearCredentials();
    EXPECT_FALSE(downloader.Download(server.Url("/secret"), &sink, &bytes));
    EXPECT_EQ(sink.Data(), "denied");
    EXPECT_EQ(downloader.GetHttpStatus(), 401);
}

TEST_F(DownloaderTest, RedirectsAreFollowedWithinLimits) {
    ASSERT_TRUE(downloader.Download(server.Url("/hop/5"), &sink, &bytes));
    EXPECT_EQ(sink.Data(), test::TestServer::PageBody());
    EXPECT_EQ(bytes, sink.Data().size());

    EXPECT_FALSE(downloader.Download(server.Url("/loop"), &sink, &bytes));
    EXPECT_EQ(downloader.GetError(), kErrorRedirectFailed);
    EXPECT_FALSE(downloader.IsCanceled());
    // A server cannot send the download to a local file.
    EXPECT_FALSE(downloader.Download(server.Url("/to-file"), &sink, &bytes));
    EXPECT_EQ(downloader.GetError(), kErrorRedirectSchemeChange);
    EXPECT_EQ(sink.Data(), "");
}

TEST_F(DownloaderTest, SendsTheProgramsUserAgent) {
    ASSERT_TRUE(downloader.Download(server.Url("/agent"), &sink, &bytes));
    EXPECT_EQ(sink.Data(), "CSession::CSession()");
}

TEST_F(DownloaderTest, UrlWithoutSchemeIsHttpAndReportedAsPassed) {
    const std::string url = "127.0.0.1:" + std::to_string(server.Port()) + "/page";
    ASSERT_TRUE(downloader.Download(url, &sink, &bytes));
    EXPECT_EQ(recorder.Events().back().url, url);

    EXPECT_EQ(CDownloader::NormalizeUrl("server/page.html"), "http://server/page.html");
    EXPECT_EQ(CDownloader::NormalizeUrl("ftp://server/file"), "ftp://server/file");
    EXPECT_EQ(CDownloader::NormalizeUrl("file://c:/page.htm"), "file://c:/page.htm");
    EXPECT_EQ(CDownloader::NormalizeUrl("server/go?to=http://other"), "server/go?to=http://other");
    EXPECT_EQ(CDownloader::NormalizeUrl(" server"), "http:// server");  // nothing trimmed
}

TEST_F(DownloaderTest, LocalFileHasNoConnectionSteps) {
    char path[] = "/tmp/tallyhawk-net-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::ofstream(path) << "local page";
    EXPECT_TRUE(downloader.Download(std::string("file://") + path, &sink, &bytes));
    std::remove(path);
    EXPECT_EQ(sink.Data(), "local page");
    EXPECT_EQ(recorder.States(), (std::vector<std::int32_t>{Receiving, Done}));
}

TEST_F(DownloaderTest, FailuresGiveTheirCodesAndAnnounceNoEnd) {
    struct Case {
        std::string url;
        std::uint32_t code;
    };
    const Case cases[] = {
        {"http://127.0.0.1:" + std::to_string(test::ClosedPort()) + "/", kErrorCannotConnect},
        {"http://nothing-here.invalid/page", kErrorNameNotResolved},
        {"http://", kErrorInvalidUrl},
        {"http://[::1/page", kErrorInvalidUrl},
        {"gopher://127.0.0.1:" + std::to_string(server.Port()) + "/", kErrorUnrecognizedScheme},
        {"ldap://127.0.0.1/", kErrorUnrecognizedScheme},
        {"file:///no/such/tallyhawk/file", kErrorItemNotFound},
    };
    for (const Case& c : cases) {
        recorder.Clear();
        sink.Write("x", 1);
        auto start = Clock::now();
        EXPECT_FALSE(downloader.Download(c.url, &sink, &bytes)) << c.url;
        EXPECT_LT(Clock::now() - start, 5s) << c.url;
        EXPECT_EQ(downloader.GetError(), c.code) << c.url;
        EXPECT_FALSE(downloader.IsCanceled());
        EXPECT_EQ(bytes, 0u);
        EXPECT_EQ(sink.Data(), "");
        for (const auto& event : recorder.Events()) {
            EXPECT_NE(event.state, Done) << c.url;
            EXPECT_NE(event.state, Canceled) << c.url;
        }
    }
}

TEST_F(DownloaderTest, SinkFailureLeavesDownloadAndDownloaderStaysUsable) {
    class FullDisk : public CDownloadSink {
    public:
        void Truncate() override {}
        void Write(const char*, std::size_t length) override {
            if (length) throw COsException(ENOSPC);
        }
    } full;
    try {
        downloader.Download(server.Url("/page"), &full, &bytes);
        FAIL() << "the sink's exception was swallowed";
    } catch (const COsException& e) {
        EXPECT_EQ(e.Code(), static_cast<std::uint32_t>(ENOSPC));
    }
    EXPECT_TRUE(downloader.Download(server.Url("/page"), &sink, &bytes));
    EXPECT_EQ(sink.Data(), test::TestServer::PageBody());
}

TEST_F(DownloaderTest, CancelBeforeDownloadIsForgotten) {
    downloader.Cancel();
    EXPECT_TRUE(downloader.IsCanceled());
    EXPECT_TRUE(downloader.Download(server.Url("/page"), &sink, &bytes));
    EXPECT_FALSE(downloader.IsCanceled());
    downloader.Cancel();
    downloader.Close();
    EXPECT_FALSE(downloader.IsCanceled());
}

// Starts a download on another thread, cancels it once `ready` says so and
// returns how long Download took to return after the cancel.
class CancelTest : public DownloaderTest {
protected:
    Clock::duration CancelWhen(const std::string& url,
                               std::function<bool(const CDownloadProgress&)> ready) {
        std::promise<void> reached;
        std::once_flag once;
        recorder.onProgress = [&](const CDownloadProgress& progress) {
            if (ready(progress)) std::call_once(once, [&] { reached.set_value(); });
        };
        std::promise<Clock::time_point> returned;
        std::thread worker([&] {
            result = downloader.Download(url, &sink, &bytes);
            returned.set_value(Clock::now());
        });
        auto ok = reached.get_future().wait_for(10s);
        auto cancelAt = Clock::now();
        downloader.Cancel();
        auto end = returned.get_future();
        bool ended = end.wait_for(10s) == std::future_status::ready;
        worker.join();
        EXPECT_EQ(ok, std::future_status::ready);
        EXPECT_TRUE(ended);
        return end.get() - cancelAt;
    }
    void ExpectCanceled() {
        EXPECT_FALSE(result);
        EXPECT_TRUE(downloader.IsCanceled());
        EXPECT_EQ(downloader.GetError(), kErrorOperationCanceled);
        ASSERT_FALSE(recorder.Events().empty());
        EXPECT_EQ(recorder.Events().back().state, Canceled);
    }
    bool result = true;
};

TEST_F(CancelTest, WhileReceivingATricklingBody) {
    auto latency = CancelWhen(server.Url("/trickle"), [](const CDownloadProgress& progress) {
        return progress.state == Receiving && progress.bytesReceived >= 2048;
    });
    ExpectCanceled();
    EXPECT_LT(latency, 1s);  // the bound is 100 ms; sanitizer builds need slack
}

TEST_F(CancelTest, WhileWaitingForAnAnswer) {
    test::SilentListener silent;
    auto latency = CancelWhen("http://127.0.0.1:" + std::to_string(silent.Port()) + "/",
                              [](const CDownloadProgress& progress) {
                                  return progress.state == Connected;
                              });
    ExpectCanceled();
    EXPECT_LT(latency, 1s);
}

TEST_F(DownloaderTest, EveryTimeLimitEndsTheDownload) {
    struct Case {
        const char* what;
        test::RawServer::After after;
        CTimeLimits limits;
    };
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nstart";
    const Case cases[] = {
        {"stalls after its headers", test::RawServer::After::Hold, {10s, 200ms, 60s}},
        {"sends a byte now and then", test::RawServer::After::Trickle, {10s, 10s, 400ms}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::RawServer raw(head, c.after);
        downloader.SetTimeLimits(c.limits);
        EXPECT_EQ(downloader.GetTimeLimits(), c.limits);
        auto start = Clock::now();
        EXPECT_FALSE(downloader.Download(raw.Url(), &sink, &bytes));
        auto elapsed = Clock::now() - start;
        EXPECT_EQ(downloader.GetError(), kErrorTimeout);
        EXPECT_FALSE(downloader.IsCanceled());
        EXPECT_GE(elapsed, std::min(c.limits.stall, c.limits.total));
        EXPECT_LT(elapsed, 5s);
        EXPECT_EQ(sink.Data().substr(0, 5), "start");
    }
    // The defaults, and the constructor's time-out as connect and stall limit.
    EXPECT_EQ(CDownloader().GetTimeLimits(), (CTimeLimits{30s, 30s, 120s}));
    EXPECT_EQ(CDownloader(150ms).GetTimeLimits(), (CTimeLimits{150ms, 150ms, 120s}));
}

TEST_F(DownloaderTest, ServerThatNeverAnswersTimesOut) {
    test::SilentListener silent;
    CDownloader impatient(150ms);
    auto start = Clock::now();
    EXPECT_FALSE(impatient.Download("http://127.0.0.1:" + std::to_string(silent.Port()) + "/",
                                    &sink, &bytes));
    auto elapsed = Clock::now() - start;
    EXPECT_EQ(impatient.GetError(), kErrorTimeout);
    EXPECT_FALSE(impatient.IsCanceled());
    EXPECT_GE(elapsed, 150ms);
    EXPECT_LT(elapsed, 5s);
}

}  // namespace
}  // namespace tallyhawk
