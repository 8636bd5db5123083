// The File Download dialog against a real HTTP server on 127.0.0.1: what it
// shows while bytes arrive (with and without a length), the rate's first
// second, a URL without a scheme, Cancel, failures, and the keys.
#include <gtest/gtest.h>
#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/stattext.h>
#include <wx/uiaction.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "LocalHttpServer.h"
#include "dialogs/FileDownloadDlg.h"
#include "engine/EngineTestUtil.h"
#include "gui/FakePrompter.h"
#include "gui/GuiTestMain.h"
#include "gui/ModalProbe.h"
#include "net/Downloader.h"

namespace tallyhawk::test {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kBodySize = 30000;
constexpr std::size_t kFirstPart = 8000;

class FileDownloadDlgTest : public ::testing::Test {
protected:
    // "/file" answers at once with a length; "/slow" (with a length) and
    // "/chunked" (without) send 8000 of 20000 bytes, then wait to be
    // released; "/stall" answers only once released.
    FileDownloadDlgTest() {
        SetPrompter(&prompter);
        auto& server = http.Server();
        server.Get("/dir/file name.bin", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(std::string(kBodySize, 'f'), "application/octet-stream");
        });
        server.Get("/stall", [this](const httplib::Request&, httplib::Response& response) {
            WaitForRelease();
            response.set_content("late", "text/plain");
        });
        auto slow = [this](std::size_t offset, httplib::DataSink& sink) {
            if (offset >= 20000) return sink.done(), true;
            if (offset > 0) WaitForRelease();
            const std::string bytes(offset > 0 ? 20000 - offset : kFirstPart, 's');
            return sink.write(bytes.data(), bytes.size());
        };
        server.Get("/slow", [slow](const httplib::Request&, httplib::Response& response) {
            response.set_content_provider(
                20000, "application/octet-stream",
                [slow](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                    return slow(offset, sink);
                });
        });
        server.Get("/chunked", [slow](const httplib::Request&, httplib::Response& response) {
            response.set_chunked_content_provider("application/octet-stream", slow);
        });
        http.Start();
    }
    ~FileDownloadDlgTest() override {
        released = true;
        http.Stop();
        SetPrompter(nullptr);
    }
    void WaitForRelease() {
        for (int i = 0; i < 2000 && !released.load(); ++i) std::this_thread::sleep_for(5ms);
    }

    int Run(const std::string& url, const std::function<bool()>& probe = {},
            bool closeWhenDone = true, const std::string& caption = "") {
        dialog = std::make_unique<CFileDownloadDlg>(nullptr, url, &sink, caption, closeWhenDone,
                                                    clock);
        bool done = false;
        const int result = RunModal(*dialog, probe, done);
        EXPECT_TRUE(done) << "the probe never saw what it waited for";
        return result;
    }
    std::string Text(int id) const {
        return static_cast<wxStaticText*>(dialog->FindWindow(id))->GetLabel().utf8_string();
    }
    wxGauge* Bar() const {
        return static_cast<wxGauge*>(dialog->FindWindow(CFileDownloadDlg::ID_PROGRESS));
    }
    wxButton* Button() const { return static_cast<wxButton*>(dialog->FindWindow(wxID_CANCEL)); }
    void Press() const {
        wxCommandEvent press(wxEVT_BUTTON, wxID_CANCEL);
        press.SetEventObject(Button());
        Button()->GetEventHandler()->ProcessEvent(press);
    }
    // A real key press, through the X server, to the dialog's focused button.
    void Key(int key) const {
        dialog->Raise();
        Button()->SetFocus();
        PumpEvents(100ms);
        wxUIActionSimulator().Char(key);
    }

    CFakePrompter prompter;
    tallyhawk::testing::CFakeClock clock;
    tallyhawk::testing::CLocalHttpServer http;
    std::atomic<bool> released{false};
    CMemorySink sink;
    std::unique_ptr<CFileDownloadDlg> dialog;
};

TEST_F(FileDownloadDlgTest, UrlWithoutSchemeIsHttpAndTheDialogClosesByItselfWhenDone) {
    const std::string url = http.Authority() + "/dir/file%20name.bin";
    EXPECT_EQ(Run(url, {}, true, "Downloading Product Information"), wxID_OK);
    EXPECT_EQ(dialog->GetUrl(), "http://" + url);
    EXPECT_EQ(dialog->GetTitle(), "Downloading Product Information");
    EXPECT_EQ(sink.Data(), std::string(kBodySize, 'f'));
    EXPECT_EQ(Text(CFileDownloadDlg::ID_SITE), "127.0.0.1");
    EXPECT_EQ(Text(CFileDownloadDlg::ID_FILE), "/dir/file name.bin");
    EXPECT_EQ(Text(CFileDownloadDlg::ID_SIZE), "29 KB");
    EXPECT_EQ(Text(CFileDownloadDlg::ID_STATUS), "Done");
    EXPECT_EQ(Bar()->GetValue(), 100);
    EXPECT_TRUE(prompter.errors.empty());

    EXPECT_EQ(Run(http.Url("/dir/file%20name.bin")), wxID_OK);
    EXPECT_EQ(dialog->GetTitle(), "File Download");
}

TEST_F(FileDownloadDlgTest, MidTransferShowsSizeBarAndARateOfZeroInTheFirstSecond) {
    EXPECT_EQ(Run(http.Url("/slow"),
                  [&] {
                      if (Text(CFileDownloadDlg::ID_STATUS) != "Downloaded 7 KB") return false;
                      EXPECT_EQ(Text(CFileDownloadDlg::ID_RATE), "0 KB/Second");
                      EXPECT_EQ(Text(CFileDownloadDlg::ID_SIZE), "19 KB");
                      EXPECT_TRUE(Bar()->IsShown());
                      EXPECT_EQ(Bar()->GetValue(), 40);
                      EXPECT_EQ(Button()->GetLabel(), "Cancel");
                      Screenshot(dialog.get(), "download-dialog");
                      clock.Advance(2);
                      released = true;
                      return true;
                  }),
              wxID_OK);
    // 20000 bytes in the two seconds since "Connected to host.".
    EXPECT_EQ(Text(CFileDownloadDlg::ID_RATE), "9 KB/Second");
    EXPECT_EQ(sink.Data().size(), 20000u);
}

TEST_F(FileDownloadDlgTest, WithoutContentLengthTheSizeStaysUnknownAndTheBarHidden) {
    bool everShown = false;
    EXPECT_EQ(Run(http.Url("/chunked"),
                  [&] {
                      everShown |= Bar()->IsShown();
                      if (Text(CFileDownloadDlg::ID_STATUS) != "Downloaded 7 KB") return false;
                      EXPECT_EQ(Text(CFileDownloadDlg::ID_SIZE), "Unknown");
                      released = true;
                      return true;
                  }),
              wxID_OK);
    EXPECT_FALSE(everShown);
    EXPECT_FALSE(Bar()->IsShown());
    EXPECT_EQ(Bar()->GetValue(), 100);  // set at the end, while hidden
    EXPECT_EQ(Text(CFileDownloadDlg::ID_SIZE), "Unknown");
}

TEST_F(FileDownloadDlgTest, CancelWhileWaitingForTheServerEndsWithoutAMessage) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(http.Url("/stall"),
                  [&] {
                      const std::string status = Text(CFileDownloadDlg::ID_STATUS);
                      if (status != "Connecting to host..." && status != "Connected to host.")
                          return false;
                      Press();
                      return true;
                  }),
              wxID_CANCEL);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);  // the stalled server never answered
    EXPECT_EQ(Text(CFileDownloadDlg::ID_STATUS), "Canceled");
    EXPECT_TRUE(dialog->WasCanceled());
    EXPECT_TRUE(prompter.errors.empty());
    EXPECT_EQ(Bar()->GetValue(), 0);
}

TEST_F(FileDownloadDlgTest, FailureShowsOneMessageAndThenClosesOrWaitsForFinished) {
    std::string refused;  // a port just freed: nothing listens there
    {
        tallyhawk::testing::CLocalHttpServer gone;
        gone.Start();
        refused = gone.Url("/file");
    }
    EXPECT_EQ(Run(refused), wxID_CANCEL);
    ASSERT_EQ(prompter.errors.size(), 1u);
    EXPECT_EQ(prompter.errors[0], "The attempt to connect to the server failed.");
    EXPECT_FALSE(dialog->WasCanceled());

    // Without closeWhenDone the button turns to "Finished" after the message.
    EXPECT_EQ(Run(refused,
                  [&] {
                      if (Button()->GetLabel() != "Finished") return false;
                      EXPECT_EQ(prompter.errors.size(), 2u);
                      Press();
                      return true;
                  },
                  false),
              wxID_CANCEL);
    EXPECT_EQ(prompter.errors.size(), 2u);
}

TEST_F(FileDownloadDlgTest, EnterNeverClosesEscapeClosesWithTheResultOnceFinished) {
    int enters = 0;
    EXPECT_EQ(Run(http.Url("/dir/file%20name.bin"),
                  [&] {
                      if (Button()->GetLabel() != "Finished") return false;
                      if (enters++ == 0) {
                          Key(WXK_RETURN);
                          return false;  // look again once the key has been handled
                      }
                      EXPECT_TRUE(dialog->IsModal());
                      Key(WXK_ESCAPE);
                      return true;
                  },
                  false),
              wxID_OK);
    EXPECT_EQ(enters, 2);

    // Enter while downloading does not cancel either.
    EXPECT_EQ(Run(http.Url("/slow"),
                  [&] {
                      if (Text(CFileDownloadDlg::ID_STATUS) != "Downloaded 7 KB") return false;
                      Key(WXK_RETURN);
                      PumpEvents(50ms);
                      released = true;
                      return true;
                  }),
              wxID_OK);
    EXPECT_FALSE(dialog->WasCanceled());
}

}  // namespace
}  // namespace tallyhawk::test
