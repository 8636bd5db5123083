// tallyhawk: the desktop program. --help and --version need no display;
// without a desktop session the program says so and points to the headless
// front end.
#include <wx/app.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/StringTable.h"
#include "ui/CommandLine.h"
#include "ui/TallyhawkApp.h"

namespace {

bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tallyhawk;
    const CCommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (line.help || line.version) {
        std::fputs((line.help ? UsageText() : VersionText()).c_str(), stdout);
        return 0;
    }
    if (!HasDisplay()) {
        std::fputs(LoadString(IDS_NO_DESKTOP).c_str(), stderr);
        return 1;
    }
    auto* app = new CTallyhawkApp;
    wxApp::SetInstance(app);
    if (!wxEntryStart(argc, argv)) {
        std::fputs(LoadString(IDS_NO_DESKTOP).c_str(), stderr);
        return 1;
    }
    int status;
    if (wxTheApp->CallOnInit()) {
        status = wxTheApp->OnRun();
    } else {
        status = app->GetStartStatus();
        wxTheApp->OnExit();
    }
    wxEntryCleanup();
    return status;
}
