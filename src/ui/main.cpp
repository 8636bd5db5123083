// tallyhawk: the desktop program. Without a desktop session it says so and
// points to the headless front end.
#include <wx/app.h>
#include <wx/init.h>

#include <cstdio>
#include <cstdlib>

#include "ui/TallyhawkApp.h"

namespace {

bool HasDisplay() {
    const char* x = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x && *x) || (wayland && *wayland);
}

constexpr const char* kNoDesktop =
    "tallyhawk needs a desktop session; to watch pages without one, use tallyhawk-cli watch FILE.\n";

}  // namespace

int main(int argc, char** argv) {
    if (!HasDisplay()) {
        std::fputs(kNoDesktop, stderr);
        return 1;
    }
    auto* app = new tallyhawk::CTallyhawkApp;
    wxApp::SetInstance(app);
    if (!wxEntryStart(argc, argv)) {
        std::fputs(kNoDesktop, stderr);
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
