// CTallyhawkApp: the desktop program's application object. It reads the
// default page and the application settings from the settings store, makes
// the document and the main window, opens the document named on the command
// line (or a new one), starts watching when told to, and keeps one program
// per user and display: a later start hands its command line over.
//
// `tallyhawk [FILE] [run] [--minimized]`.
#pragma once

#include <wx/app.h>

#include <wx/timer.h>
#include <wx/weakref.h>

#include <deque>
#include <memory>

#include "app/AppSettings.h"
#include "app/SettingsStore.h"
#include "engine/WatchSite.h"
#include "ui/CommandLine.h"
#include "ui/MainFrame.h"

namespace tallyhawk {

class CSingleInstance;
class CTallyhawkDoc;
struct CFrontEnd;

class CTallyhawkApp : public wxApp {
public:
    CTallyhawkApp();
    ~CTallyhawkApp() override;

    bool OnInit() override;
    int OnExit() override;
    // The command line is read by the program itself.
    void OnInitCmdLine(wxCmdLineParser&) override {}
    bool OnCmdLineParsed(wxCmdLineParser&) override { return true; }

    // Opens the document as Open does, raises the window, starts watching
    // when asked: a later start's command line, or this one's.
    void HandOver(const CCommandLine& line);

    // The exit status of a start that ended in OnInit (a hand-over: 0).
    int GetStartStatus() const { return exitStatus; }

    CWatchSite& GetDefaultPage() { return defaultPage; }
    const CAppSettings& GetAppSettings() const { return appSettings; }

private:
    CFileSettingsStore store;
    CWatchSite defaultPage;
    CAppSettings appSettings;
    std::unique_ptr<CFrontEnd> front;
    std::unique_ptr<CTallyhawkDoc> doc;
    std::unique_ptr<CSingleInstance> instance;
    // Hand-overs that came while a dialog was open: the document under it
    // must not change. Tried again every kHandOverRetryMilliseconds.
    static constexpr int kHandOverRetryMilliseconds = 250;
    void OpenWaiting();
    // SIGTERM, SIGINT, SIGHUP and the end of the desktop session: the
    // window saves a named document and the program ends with status 0.
    static void OnStopSignal(int signal);
    void OnEndSession(wxCloseEvent& event);

    wxWeakRef<CMainFrame> frame;  // gone once the window is destroyed
    std::deque<CCommandLine> waiting;
    wxTimer handOverRetry;
    int exitStatus = 1;
};

}  // namespace tallyhawk
