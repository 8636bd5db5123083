#include "gui/GuiTestMain.h"

#include <gtest/gtest.h>
#include <wx/app.h>
#include <wx/apptrait.h>
#include <wx/evtloop.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/window.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

namespace tallyhawk::test {

namespace {

class CTestApp : public wxApp {
public:
    bool OnInit() override {
        wxInitAllImageHandlers();
        return true;
    }
};

}  // namespace

void PumpEvents(std::chrono::milliseconds duration) {
    const auto end = std::chrono::steady_clock::now() + duration;
    do {
        wxEventLoopBase* loop = wxEventLoopBase::GetActive();
        while (loop->Pending()) loop->Dispatch();
        wxTheApp->ProcessPendingEvents();
        loop->ProcessIdle();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (std::chrono::steady_clock::now() < end);
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return done();
        PumpEvents(std::chrono::milliseconds(5));
    }
    return true;
}

std::string Screenshot(wxWindow* window, const std::string& name) {
    PumpEvents(std::chrono::milliseconds(300));
    window->Update();
    PumpEvents(std::chrono::milliseconds(100));
    // The toolkit cannot read back what GTK drew; ImageMagick's import reads
    // the X server's screen, as a person would see it.
    const wxRect rect = window->GetScreenRect();
    const std::string path = std::string(TALLYHAWK_SCREENSHOTS) + "/" + name + ".png";
    const std::string command = "import -window root -crop " + std::to_string(rect.width) + "x" +
                                std::to_string(rect.height) + "+" + std::to_string(rect.x) + "+" +
                                std::to_string(rect.y) + " +repage '" + path + "'";
    if (std::system(command.c_str()) != 0) ADD_FAILURE() << "screenshot failed: " << command;
    return path;
}

}  // namespace tallyhawk::test

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    wxApp::SetInstance(new tallyhawk::test::CTestApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "These tests need an X display (run them through xvfb-run).\n");
        return 1;
    }
    // Tests pump events themselves; the loop must be active for that.
    wxEventLoopBase* loop = wxTheApp->GetTraits()->CreateEventLoop();
    wxEventLoopBase::SetActive(loop);
    const int result = RUN_ALL_TESTS();
    wxEventLoopBase::SetActive(nullptr);
    delete loop;
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
