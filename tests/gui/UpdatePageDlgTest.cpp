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
#include <memory>
#include <thread>

#include "LocalHttpServer.h"
#include "app/MessageLog.h"
#include "app/PageCheck.h"
#include "dialogs/StatusText.h"
#include "dialogs/UpdatePageDlg.h"
#include "engine/EngineTestUtil.h"
#include "engine/SiteServices.h"
#include "engine/WatchSite.h"
#include "gui/GuiTestMain.h"
#include "net/Downloader.h"
#include "net/InternetError.h"

namespace tallyhawk::test {
namespace {

using namespace std::chrono_literals;

// Plays instantly while open; while closed, Play waits (at most 5 s) for it
// to open or for its stop, so a test can hold the check inside its last step.
class CGatedSoundPlayer : public ISoundPlayer {
public:
    void Play(const std::string&, const StopTest& stopped = {}) override {
        for (int i = 0; i < 1000 && !open.load(); ++i) {
            if (stopped && stopped()) {
                cutShort = true;
                break;
            }
            std::this_thread::sleep_for(5ms);
        }
        ++played;
    }
    std::atomic<bool> open{true};
    std::atomic<bool> cutShort{false};
    std::atomic<int> played{0};
};

class UpdatePageDlgTest : public ::testing::Test {
protected:
    // "/page" answers at once; "/stall" only once released; "/slow" (with a
    // length) and "/slow-chunked" (without) send 8000 of 20000 bytes, then
    // wait to be released; "/broken" promises more than it sends.
    UpdatePageDlgTest()
        : services(fake.clock, fake.launcher, sound, fake.temp),
          log(&fake.clock),
          downloader(10s),
          page(std::make_shared<CWatchSite>(&services)) {

        log.SetLogToFile(false);
        auto& server = http.Server();
        server.Get("/page", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("<p>hello</p>\n", "text/html");
        });
        server.Get("/stall", [this](const httplib::Request&, httplib::Response& response) {
            WaitForRelease();
            response.set_content("late", "text/html");
        });
        auto slow = [this](std::size_t offset, httplib::DataSink& sink) {
            if (offset >= 20000) return sink.done(), true;
            if (offset > 0) WaitForRelease();
            const std::string bytes(offset > 0 ? 20000 - offset : 8000, 'x');
            return sink.write(bytes.data(), bytes.size());
        };
        server.Get("/slow", [slow](const httplib::Request&, httplib::Response& response) {
            response.set_content_provider(
                20000, "text/html",
                [slow](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    return slow(offset, sink);
                });
        });
        server.Get("/slow-chunked", [slow](const httplib::Request&, httplib::Response& response) {
            // Not text/...: the server would hold compressed bytes back.
            response.set_chunked_content_provider("application/octet-stream", slow);
        });
        server.Get("/broken", [](const httplib::Request&, httplib::Response& response) {
            response.set_content_provider(
                5000, "text/html", [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    return offset == 0 && sink.write("<html>", 6);  // then drops the line
                });
        });
        http.Start();
    }
    ~UpdatePageDlgTest() override {
        released = true;
        http.Stop();
    }
    void WaitForRelease() {
        for (int i = 0; i < 2000 && !released.load(); ++i) std::this_thread::sleep_for(5ms);
    }

    // Shows the dialog for `url` modally; `probe` runs every 10 ms inside the
    // dialog's loop until it returns true. A dialog still open after 20 s is
    // ended with -1, so a fault cannot hang the run.
    int Run(const std::string& url, const std::function<bool()>& probe = {}) {
        page->SetUrl(url);
        check = std::make_unique<CPageCheck>(downloader, page, log);
        dialog = std::make_unique<CUpdatePageDlg>(nullptr, *check);
        wxTimer timer;
        bool done = !probe, busy = false;
        const auto limit = std::chrono::steady_clock::now() + 20s;
        timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
            if (busy || !dialog->IsModal()) return;
            busy = true;
            done = done || probe();
            if (std::chrono::steady_clock::now() > limit) dialog->EndModal(-1);
            busy = false;
        });
        timer.Start(10);
        const int result = dialog->ShowModal();
        EXPECT_TRUE(done) << "the probe never saw what it waited for";
        return result;
    }
    std::string Status() const {
        return static_cast<CStatusText*>(dialog->FindWindow(CUpdatePageDlg::ID_STATUS))->GetText();
    }
    wxGauge* Bar() const {
        return static_cast<wxGauge*>(dialog->FindWindow(CUpdatePageDlg::ID_PROGRESS));
    }
    wxButton* Button() const { return static_cast<wxButton*>(dialog->FindWindow(wxID_CANCEL)); }
    void Press() const {
        wxCommandEvent press(wxEVT_BUTTON, wxID_CANCEL);
        press.SetEventObject(Button());
        Button()->GetEventHandler()->ProcessEvent(press);
    }

    tallyhawk::testing::CFakeServices fake;
    CGatedSoundPlayer sound;
    CSiteServices services;
    CMessageLog log;
    CDownloader downloader;
    std::shared_ptr<CWatchSite> page;
    testing::CLocalHttpServer http;
    std::atomic<bool> released{false};
    std::unique_ptr<CPageCheck> check;
    std::unique_ptr<CUpdatePageDlg> dialog;
};

TEST_F(UpdatePageDlgTest, SuccessfulCheckClosesByItselfWithOk) {
    EXPECT_EQ(Run(http.Url("/page")), wxID_OK);
    EXPECT_EQ(dialog->GetTitle(), "Update Page");
    EXPECT_EQ(Status(), "Done");
    EXPECT_EQ(Button()->GetLabel(), "OK");
    EXPECT_EQ(Bar()->GetValue(), 0);
    EXPECT_EQ(page->GetStatus(), Current);
    EXPECT_EQ(log.GetCount(), 0);
}

TEST_F(UpdatePageDlgTest, OkPressedWhileTheSoundPlaysEndsItAndReturnsOk) {
    page->SetPreviousContent("<p>old</p>\n");  // a change: the check ends by playing the sound
    sound.open = false;                         // a sound that would play on (for 5 s here)
    EXPECT_EQ(Run(http.Url("/page"),
                  [&] {
                      if (Button()->GetLabel() != "OK") return false;
                      Press();
                      return true;
                  }),
              wxID_OK);
    // The caller may view the changes now: the check is over, not racing it,
    // and OK did not wait for the sound: it ended it.
    EXPECT_EQ(sound.played.load(), 1);
    EXPECT_TRUE(sound.cutShort.load());
    EXPECT_EQ(page->GetStatus(), Modified);
}

TEST_F(UpdatePageDlgTest, CancelWhileConnectingClosesWithCancel) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(http.Url("/stall"),
                  [&] {
                      if (Status().rfind("Connect", 0) != 0) return false;
                      EXPECT_EQ(Button()->GetLabel(), "Cancel");
                      Press();
                      EXPECT_EQ(Status(), "Canceling...");
                      EXPECT_FALSE(Button()->IsEnabled());
                      return true;
                  }),
              wxID_CANCEL);
    // The stalled server never answered: the cancel ended the download.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(check->Canceled());
    EXPECT_EQ(Button()->GetLabel(), "Cancel");
    EXPECT_EQ(page->GetStatus(), Outdated);
}

TEST_F(UpdatePageDlgTest, FailedCheckShowsTheErrorAndLogsItWithTheAddress) {
    std::string refused;  // a port just freed: nothing listens there
    {
        testing::CLocalHttpServer gone;
        gone.Start();
        refused = gone.Url("/page");
    }
    for (const std::string& url : {http.Url("/broken"), refused}) {
        EXPECT_EQ(Run(url), wxID_CANCEL);
        ASSERT_TRUE(log.GetAt(log.GetCount() - 1)) << url;
        const CLogEntry entry = *log.GetAt(log.GetCount() - 1);
        EXPECT_EQ(entry.GetSource(), url);
        EXPECT_FALSE(entry.GetMessage().empty());
        EXPECT_EQ(Status(), entry.GetMessage());
        EXPECT_EQ(Bar()->GetValue(), 100);
        EXPECT_EQ(Button()->GetLabel(), "OK");
    }
    EXPECT_EQ(log.GetCount(), 2);
}

TEST_F(UpdatePageDlgTest, ProgressBarShowsOnlyForAKnownLength) {
    EXPECT_EQ(Run(http.Url("/slow"),
                  [&] {
                      if (Status() != "Downloaded 8000 bytes...") return false;
                      EXPECT_TRUE(Bar()->IsShown());
                      EXPECT_EQ(Bar()->GetValue(), 40);
                      Screenshot(dialog.get(), "update-page");
                      released = true;
                      return true;
                  }),
              wxID_OK);

    released = false;
    bool everShown = false;
    EXPECT_EQ(Run(http.Url("/slow-chunked"),
                  [&] {
                      everShown |= Bar()->IsShown();
                      if (Status() != "Downloaded 8000 bytes...") return false;
                      released = true;
                      return true;
                  }),
              wxID_OK);
    EXPECT_FALSE(everShown);
}

}  // namespace
}  // namespace tallyhawk::test
