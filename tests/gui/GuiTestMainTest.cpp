// The harness's own check that a window opens under the test display and a
// screenshot of it is written.
#include <gtest/gtest.h>
#include <wx/frame.h>

#include <wx/image.h>

#include "gui/GuiTestMain.h"

namespace tallyhawk::test {

TEST(GuiTestMainTest, ScreenshotOfAShownWindowIsWritten) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "Screenshot");
    frame->SetSize(320, 200);
    frame->SetBackgroundColour(*wxWHITE);
    frame->Show();
    ASSERT_TRUE(PumpUntil([&] { return frame->IsShownOnScreen(); }));
    const std::string path = Screenshot(frame, "skeleton");
    wxImage image;
    ASSERT_TRUE(image.LoadFile(wxString::FromUTF8(path), wxBITMAP_TYPE_PNG));
    EXPECT_EQ(image.GetWidth(), frame->GetScreenRect().width);
    // What the window drew, not an empty screen.
    EXPECT_EQ(image.GetRed(image.GetWidth() / 2, image.GetHeight() / 2), 255);
    frame->Destroy();
    PumpEvents();
}

}  // namespace tallyhawk::test
