#include "ui/TallyhawkApp.h"

#include <wx/image.h>

#include <csignal>
#include <cstdio>

#include "app/TallyhawkDoc.h"
#include "base/Exception.h"
#include "dialogs/DialogStrings.h"
#include "ui/CommandIds.h"
#include "ui/MainFrame.h"
#include "ui/SingleInstance.h"
#include "base/StringTable.h"

namespace tallyhawk {

CTallyhawkApp::CTallyhawkApp() : handOverRetry(this) {
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { OpenWaiting(); }, handOverRetry.GetId());
}

CTallyhawkApp::~CTallyhawkApp() = default;

bool CTallyhawkApp::OnInit() {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(argv[i].utf8_string());
    const CCommandLine line = ParseCommandLine(arguments);

    try {
        instance = std::make_unique<CSingleInstance>();
    } catch (const CException& error) {
        std::fprintf(stderr, "tallyhawk: %s\n", error.Message().c_str());
        return false;  // exitStatus stays 1
    }
    if (instance->AnotherIsRunning()) {
        if (instance->SendToRunning(line)) {
            exitStatus = 0;
        } else {
            std::fputs(LoadString(IDS_INSTANCE_SILENT).c_str(), stderr);
            exitStatus = 1;
        }
        return false;
    }
    if (!instance->Listen([this](const CCommandLine& later) {
            CallAfter([this, later] { HandOver(later); });
        }))
        std::fputs(FormatString(IDS_INSTANCE_NOT_LISTENING, {instance->SocketPath()}).c_str(),
                   stderr);

    wxInitAllImageHandlers();
    RegisterDialogStrings();
    appSettings.SetKeyPath(CAppSettings::kDefaultKeyPath);
    appSettings.SetValueName(CAppSettings::kDefaultValueName);
    LoadDefaultPage(store, defaultPage);
    LoadAppSettings(store, appSettings);

    front = std::make_unique<CFrontEnd>(CFrontEnd{store, defaultPage, appSettings});
    doc = std::make_unique<CTallyhawkDoc>(&appSettings);
    doc->OnNewDocument();
    // tallyhawk-cli's list and show say that what they print may be older
    // than this window.
    doc->MarkShownInWindow();
    frame = new CMainFrame(*doc, *front);
    if (line.file && !frame->OpenDocument(*line.file)) {
        // The reason was shown; a start that cannot open its document ends.
        frame->Destroy();
        frame = nullptr;
        exitStatus = 1;
        return false;
    }
    frame->ShowAtStart(line.minimized);
    SetTopWindow(frame);
#ifndef _WIN32
    // The toolkit runs these handlers from its event loop, not inside the
    // signal: saving there is safe.
    for (int stop : {SIGTERM, SIGINT, SIGHUP}) SetSignalHandler(stop, &CTallyhawkApp::OnStopSignal);
#endif
    Bind(wxEVT_END_SESSION, &CTallyhawkApp::OnEndSession, this);
    if (line.run) frame->CallAfter([this] {
            if (frame) frame->RunCommand(ID_WATCH_START);
        });
    return true;
}

void CTallyhawkApp::HandOver(const CCommandLine& line) {
    waiting.push_back(line);
    OpenWaiting();
}

void CTallyhawkApp::OpenWaiting() {
    // A modal dialog (the Update Page dialog checking a page, a message box)
    // works on the document: it stays until the dialog closes.
    while (frame && !waiting.empty() && !frame->IsUnderModalDialog()) {
        const CCommandLine line = waiting.front();
        waiting.pop_front();
        if (line.file) frame->OpenDocument(*line.file);
        frame->ShowWindow(true);
        if (line.run) frame->RunCommand(ID_WATCH_START);
    }
    if (!frame) waiting.clear();
    if (waiting.empty()) {
        handOverRetry.Stop();
    } else if (!handOverRetry.IsRunning()) {
        handOverRetry.Start(kHandOverRetryMilliseconds);
    }
}

void CTallyhawkApp::OnStopSignal(int) {
    auto* app = static_cast<CTallyhawkApp*>(wxTheApp);
    if (app && app->frame) app->frame->EndSession();
}

void CTallyhawkApp::OnEndSession(wxCloseEvent& event) {
    event.Skip();
    if (frame) frame->EndSession();
}

int CTallyhawkApp::OnExit() {
    handOverRetry.Stop();
    instance.reset();
    // A window destroyed without an event loop after it (a start whose
    // document could not be opened) is still waiting to be deleted, and it
    // uses the document's message log: it goes first.
    DeletePendingObjects();
    doc.reset();
    return wxApp::OnExit();
}

}  // namespace tallyhawk
