// A main window over a document of pages served from 127.0.0.1, with fakes
// for time, programs, sound, message boxes and desktop notifications.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <wx/taskbar.h>
#include <wx/menu.h>
#include <wx/toolbar.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "LocalHttpServer.h"
#include "app/AppSettings.h"
#include "app/SettingsStore.h"
#include "app/TallyhawkDoc.h"
#include "dialogs/Prompter.h"
#include "engine/EngineTestUtil.h"
#include "gui/FakePrompter.h"
#include "gui/GuiTestMain.h"
#include "ui/CommandIds.h"
#include "ui/MainFrame.h"
#include "ui/MessageLogBar.h"
#include "ui/TallyhawkView.h"
#include "ui/TrayIcon.h"

extern char** environ;

namespace tallyhawk::test {

class CFakeNotifier : public IChangeNotifier {
public:
    void Notify(const std::string& text, std::function<void()> activate) override {
        texts.push_back(text);
        activations.push_back(std::move(activate));
    }
    std::vector<std::string> texts;
    std::vector<std::function<void()>> activations;
};

// A tray host on the test display, for the life of the object.
class CTrayHost {
public:
    CTrayHost() {
        const char* argv[] = {"trayer", "--edge", "bottom", "--align", "right", "--widthtype",
                              "pixel", "--width", "240", "--heighttype", "pixel", "--height",
                              "28", "--SetDockType", "true", nullptr};
        if (posix_spawnp(&pid, "trayer", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
            pid = -1;
    }
    ~CTrayHost() {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    bool Started() const { return pid > 0; }

private:
    pid_t pid = -1;
};

class FrameFixture : public ::testing::Test {
protected:
    FrameFixture()
        : store(scratch / "settings"),
          front{store, defaultPage, appSettings},
          doc(&appSettings, &fakes.services, &fakes.clock, std::chrono::seconds(5)) {
        SetPrompter(&prompter);
        server.Server().Get("/page", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content(pageBody, "text/html");
        });
        server.Server().Get("/missing", [](const httplib::Request&, httplib::Response& response) {
            response.status = 404;
        });
        server.Start();
        appSettings.SetLogFile(scratch / "log.txt");
        doc.OnNewDocument();
        frame = new CMainFrame(doc, front);
        frame->SetNotifier(&notifier);
        frame->Show();
        PumpUntil([this] { return frame->IsShownOnScreen(); });
        // The window's map event may come late and would show it again
        // after a test hid it.
        PumpEvents(std::chrono::milliseconds(300));
    }

    ~FrameFixture() override {
        server.Stop();
        doc.GetPageList().StopWatching(true);
        if (frame) frame->Destroy();
        PumpEvents();
        SetPrompter(nullptr);
    }

    // Appends a page named `name` at `path` of the test server.
    std::int32_t AddPage(const std::string& name, const std::string& path = "/page",
                         std::int32_t status = New) {
        CWatchSite page(&fakes.services);
        page.SetName(name);
        page.SetUrl(server.Url(path));
        page.SetStatus(status);
        const std::int32_t index = doc.GetPageList().Add(page);
        View().Fill();
        return index;
    }

    // Replaces the window with a new one over the same document, not yet
    // shown, as the program makes it at start-up.
    void MakeFrameAgain() {
        frame->Destroy();
        PumpEvents();
        frame = new CMainFrame(doc, front);
        frame->SetNotifier(&notifier);
    }

    CTallyhawkView& View() { return frame->GetView(); }
    CMessageLogBar& Bar() { return frame->GetBar(); }
    CWatchSiteList& Pages() { return doc.GetPageList(); }

    // Whether the command's menu item is enabled after an update-UI round.
    bool MenuEnabled(int id) {
        frame->UpdateWindowUI(wxUPDATE_UI_RECURSE);
        return frame->GetMenuBar()->IsEnabled(ToolkitId(id));
    }
    bool ToolEnabled(int id) {
        frame->UpdateWindowUI(wxUPDATE_UI_RECURSE);
        return frame->GetToolBar()->GetToolEnabled(ToolkitId(id));
    }

    void StartWatching() {
        frame->RunCommand(ID_WATCH_START);
        ASSERT_TRUE(Pages().IsWatching());
        ASSERT_TRUE(frame->IsWatching());
    }
    // Waits until every enabled page has been downloaded and its check has
    // ended. A page's status alone cannot tell: one that did not start as
    // New reads the same before its check as after it.
    bool WaitForChecks() {
        return PumpUntil([this] {
            for (std::int32_t i = 0; i < Pages().GetCount(); ++i) {
                const CWatchSite* page = Pages().GetAt(i);
                if (!page->IsEnabled()) continue;
                const std::int32_t status = page->GetStatus();
                if (page->GetLastUpdated() == 0 || status == New || status == Updating)
                    return false;
            }
            return true;
        });
    }

    testing::CFakeServices fakes;
    testing::CScratchFolder scratch;
    testing::CLocalHttpServer server;
    std::string pageBody = "<html><body>first</body></html>";
    CFakePrompter prompter;
    CFakeNotifier notifier;
    CFileSettingsStore store;
    CWatchSite defaultPage{&fakes.services};
    CAppSettings appSettings;
    CFrontEnd front;
    CTallyhawkDoc doc;
    CMainFrame* frame = nullptr;
};

}  // namespace tallyhawk::test
