// The Update Page dialog against a real HTTP server on 127.0.0.1: it closes
// by itself with the check's result, Cancel stops a stalled check, failures
// are shown and logged with the page's address, and the progress bar shows
// only for a known content length.
#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/timer.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "LocalHttpServer.h"
#include "app/MessageLog.h"
#include "app/PageCheck.h"
#include "dialogs/StatusText.h"
#include "dialogs/UpdatePageDlg.h"
#include "engine/EngineTestUtil.h"
#include "engine/WatchSite.h"
#include "gui/GuiTestMain.h"
#include "net/Downloader.h"
#include "net/InternetError.h"

namespace tallyhawk::test {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kSlowLength = 20000;
constexpr std::size_t kFirstPart = 8000;

// Serves "/page" at once, and pages that stop until the test releases them:
// "/stall" before any response, "/slow" and "/slow-chunked" after their first
// 8000 bytes (with and without a Content-Length); "/broken" promises more
// bytes than it sends.
class CDialogServer {
public:
    CDialogServer() {
        auto& server = http.Server();
        server.Get("/page", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<p>hello</p>\n", "text/html");
        });
        server.Get("/stall", [this](const httplib::Request&, httplib::Response& response) {
            WaitForRelease();
            response.set_content("late", "text/html");
        });
        server.Get("/slow", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content_provider(
                kSlowLength, "text/html",
                [this](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    return Provide(offset, kSlowLength, sink);
                });
        });
        server.Get("/slow-chunked", [this](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider(
                "text/html", [this](std::size_t offset, httplib::DataSink& sink) {
                    if (offset >= kSlowLength) {
                        sink.done();
                        return true;
                    }
                    return Provide(offset, kSlowLength, sink);
                });
        });
        server.Get("/broken", [](const httplib::Request&, httplib::Response& response) {
            response.set_content_provider(
                5000, "text/html", [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    if (offset > 0) return false;  // drops the connection
                    return sink.write("<html>", 6);
                });
        });
        http.Start();
    }
    ~CDialogServer() {
        Release();
        http.Stop();
    }
    std::string Url(const std::string& path) const { return http.Url(path); }
    void Release() { released = true; }

private:
    void WaitForRelease() {
        for (int i = 0; i < 2000 && !released.load(); ++i) std::this_thread::sleep_for(5ms);
    }
    bool Provide(std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        if (offset >= kFirstPart) WaitForRelease();
        const std::size_t end = offset < kFirstPart ? kFirstPart : length;
        const std::string bytes(end - offset, 'x');
        return sink.write(bytes.data(), bytes.size());
    }

    testing::CLocalHttpServer http;
    std::atomic<bool> released{false};
};

class UpdatePageDlgTest : public ::testing::Test {
protected:
    UpdatePageDlgTest() : log(&fake.clock), downloader(10s), page(&fake.services) {
        RegisterInternetStrings();
        log.SetLogToFile(false);
    }

    // Shows the dialog for `url` modally; `probe` runs every 10 ms inside the
    // dialog's loop until it returns true. A dialog still open after 20 s is
    // ended with -1, so a fault cannot hang the run.
    int Run(const std::string& url, const std::function<bool(CUpdatePageDlg&)>& probe = {}) {
        page.SetUrl(url);
        check = std::make_unique<CPageCheck>(downloader, page, log);
        dialog = std::make_unique<CUpdatePageDlg>(nullptr, *check);
        wxTimer timer;
        bool done = !probe;
        bool busy = false;
        const auto limit = std::chrono::steady_clock::now() + 20s;
        timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
            if (busy || !dialog->IsModal()) return;
            busy = true;
            if (!done) done = probe(*dialog);
            if (std::chrono::steady_clock::now() > limit) dialog->EndModal(-1);
            busy = false;
        });
        timer.Start(10);
        const int result = dialog->ShowModal();
        timer.Stop();
        EXPECT_TRUE(done) << "the probe never saw what it waited for";
        return result;
    }

    std::string StatusShown() const {
        return static_cast<CStatusText*>(dialog->FindWindow(CUpdatePageDlg::ID_STATUS))->GetText();
    }
    wxGauge* Progress() const {
        return static_cast<wxGauge*>(dialog->FindWindow(CUpdatePageDlg::ID_PROGRESS));
    }
    wxButton* Button() const { return static_cast<wxButton*>(dialog->FindWindow(wxID_CANCEL)); }
    void Press() const {
        wxCommandEvent press(wxEVT_BUTTON, wxID_CANCEL);
        press.SetEventObject(Button());
        Button()->GetEventHandler()->ProcessEvent(press);
    }

    tallyhawk::testing::CFakeServices fake;
    CMessageLog log;
    CDownloader downloader;
    CWatchSite page;
    CDialogServer server;
    std::unique_ptr<CPageCheck> check;
    std::unique_ptr<CUpdatePageDlg> dialog;
};

TEST_F(UpdatePageDlgTest, SuccessfulCheckClosesByItselfWithOk) {
    EXPECT_EQ(Run(server.Url("/page")), wxID_OK);
    EXPECT_EQ(dialog->GetTitle(), "Update Page");
    EXPECT_EQ(StatusShown(), "Done");
    EXPECT_EQ(Button()->GetLabel(), "OK");
    EXPECT_EQ(Progress()->GetValue(), 0);
    EXPECT_EQ(page.GetStatus(), Current);
    EXPECT_EQ(log.GetCount(), 0);
}

TEST_F(UpdatePageDlgTest, CancelWhileConnectingClosesWithCancel) {
    bool pressed = false;
    const auto start = std::chrono::steady_clock::now();
    const int result = Run(server.Url("/stall"), [&](CUpdatePageDlg&) {
        if (StatusShown().rfind("Connect", 0) != 0) return false;
        EXPECT_EQ(Button()->GetLabel(), "Cancel");
        Press();
        pressed = true;
        EXPECT_EQ(StatusShown(), "Canceling...");
        EXPECT_FALSE(Button()->IsEnabled());
        return true;
    });
    EXPECT_TRUE(pressed);
    EXPECT_EQ(result, wxID_CANCEL);
    // The stalled server never answered: the cancel ended the download.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(check->Canceled());
    EXPECT_EQ(page.GetStatus(), Outdated);
}

TEST_F(UpdatePageDlgTest, FailedCheckShowsTheErrorAndLogsItWithTheAddress) {
    const std::string broken = server.Url("/broken");
    EXPECT_EQ(Run(broken), wxID_CANCEL);
    ASSERT_EQ(log.GetCount(), 1);
    EXPECT_EQ(log.GetAt(0)->GetSource(), broken);
    EXPECT_FALSE(log.GetAt(0)->GetMessage().empty());
    EXPECT_EQ(StatusShown(), log.GetAt(0)->GetMessage());
    EXPECT_EQ(Progress()->GetValue(), 100);

    // Nothing listens on a port just freed.
    std::string refused;
    {
        testing::CLocalHttpServer gone;
        gone.Start();
        refused = gone.Url("/page");
    }
    EXPECT_EQ(Run(refused), wxID_CANCEL);
    ASSERT_EQ(log.GetCount(), 2);
    EXPECT_EQ(log.GetAt(1)->GetSource(), refused);
    EXPECT_EQ(StatusShown(), log.GetAt(1)->GetMessage());
    EXPECT_NE(StatusShown(), CPageCheck::kPleaseWait);
}

TEST_F(UpdatePageDlgTest, ProgressBarShowsOnlyForAKnownLength) {
    std::string shot;
    EXPECT_EQ(Run(server.Url("/slow"),
                  [&](CUpdatePageDlg& shown) {
                      if (!Progress()->IsShown() || Progress()->GetValue() < 40) return false;
                      EXPECT_EQ(StatusShown(), "Downloaded 8000 bytes...");
                      EXPECT_EQ(Progress()->GetValue(), 40);
                      shot = Screenshot(&shown, "update-page");
                      server.Release();
                      return true;
                  }),
              wxID_OK);
    EXPECT_FALSE(shot.empty());
}

TEST_F(UpdatePageDlgTest, ProgressBarStaysHiddenWithoutContentLength) {
    bool everShown = false;
    EXPECT_EQ(Run(server.Url("/slow-chunked"),
                  [&](CUpdatePageDlg&) {
                      everShown |= Progress()->IsShown();
                      if (StatusShown() != "Downloaded 8000 bytes...") return false;
                      server.Release();
                      return true;
                  }),
              wxID_OK);
    EXPECT_FALSE(everShown);
    EXPECT_FALSE(Progress()->IsShown());
}

}  // namespace
}  // namespace tallyhawk::test
