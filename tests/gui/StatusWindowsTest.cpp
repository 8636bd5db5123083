// The status line and the activity indicator: what they paint, and that the
// indicator's timer runs only while it is active and its window is shown.
#include <gtest/gtest.h>
#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/settings.h>

#include "dialogs/ActivityIndicator.h"
#include "dialogs/StatusText.h"
#include "gui/GuiTestMain.h"

namespace tallyhawk::test {
namespace {

using namespace std::chrono_literals;

wxColour Colour(wxSystemColour which) { return wxSystemSettings::GetColour(which); }

bool Same(const wxImage& image, int x, int y, const wxColour& colour) {
    return image.GetRed(x, y) == colour.Red() && image.GetGreen(x, y) == colour.Green() &&
           image.GetBlue(x, y) == colour.Blue();
}

wxImage Paint(const CStatusText& status, wxSize size) {
    wxBitmap bitmap(size);
    {
        wxMemoryDC dc(bitmap);
        status.Draw(dc, size);
    }
    return bitmap.ConvertToImage();
}

wxImage Paint(const CActivitySteps& steps, wxSize size) {
    wxBitmap bitmap(size);
    {
        wxMemoryDC dc(bitmap);
        DrawActivityIndicator(dc, size, steps);
    }
    return bitmap.ConvertToImage();
}

class StatusWindowsTest : public ::testing::Test {
protected:
    StatusWindowsTest() : frame(new wxFrame(nullptr, wxID_ANY, "Status")) {}
    ~StatusWindowsTest() override {
        frame->Destroy();
        PumpEvents();
    }
    wxFrame* frame;
};

void ExpectSunkenFrame(const wxImage& image) {
    const int right = image.GetWidth() - 1;
    const int bottom = image.GetHeight() - 1;
    EXPECT_TRUE(Same(image, 0, 0, Colour(wxSYS_COLOUR_BTNSHADOW)));
    EXPECT_TRUE(Same(image, right / 2, 0, Colour(wxSYS_COLOUR_BTNSHADOW)));
    EXPECT_TRUE(Same(image, 0, bottom / 2, Colour(wxSYS_COLOUR_BTNSHADOW)));
    EXPECT_TRUE(Same(image, right / 2, bottom, Colour(wxSYS_COLOUR_BTNHIGHLIGHT)));
    EXPECT_TRUE(Same(image, right, bottom / 2, Colour(wxSYS_COLOUR_BTNHIGHLIGHT)));
    EXPECT_TRUE(Same(image, right, bottom, Colour(wxSYS_COLOUR_BTNHIGHLIGHT)));
}

TEST_F(StatusWindowsTest, StatusTextPaintsTheFrameAndTheTextInsetByOnePixel) {
    auto* status = new CStatusText(frame, 1044);
    const wxSize size(240, status->GetBestSize().y);
    EXPECT_GE(size.y, status->GetCharHeight() + 4);

    wxImage empty = Paint(*status, size);
    ExpectSunkenFrame(empty);
    for (int x = 1; x < size.x - 1; ++x) {
        ASSERT_TRUE(Same(empty, x, size.y / 2, Colour(wxSYS_COLOUR_BTNFACE))) << x;
    }

    status->SetText("Connecting to 127.0.0.1");
    EXPECT_EQ(status->GetText(), "Connecting to 127.0.0.1");
    const wxImage text = Paint(*status, size);
    ExpectSunkenFrame(text);
    int inked = 0;
    int leftmost = size.x;
    for (int y = 1; y < size.y - 1; ++y) {
        for (int x = 1; x < size.x - 1; ++x) {
            if (!Same(text, x, y, Colour(wxSYS_COLOUR_BTNFACE))) {
                ++inked;
                leftmost = std::min(leftmost, x);
            }
        }
    }
    EXPECT_GT(inked, 40);
    EXPECT_GE(leftmost, 2);  // the pixel inside the frame stays clear
    EXPECT_LT(leftmost, 6);  // and the text starts at the left

    status->SetText("Gr\xc3\xb6\xc3\x9f" "e");
    EXPECT_EQ(status->GetText(), "Gr\xc3\xb6\xc3\x9f" "e");
}

TEST(ActivityIndicatorDrawingTest, BandDarkensTowardsTheLeadingEdge) {
    const wxSize size(102, 14);
    CActivitySteps steps;
    const wxImage idle = Paint(steps, size);
    ExpectSunkenFrame(idle);
    EXPECT_TRUE(Same(idle, 50, 7, Colour(wxSYS_COLOUR_BTNFACE)));

    const wxColour face = Colour(wxSYS_COLOUR_BTNFACE);
    const wxColour shadow = Colour(wxSYS_COLOUR_BTNSHADOW);
    ASSERT_NE(face, shadow);
    steps.SetActive(true);
    for (int i = 0; i < 70; ++i) steps.Step();
    const wxImage moving = Paint(steps, size);
    ExpectSunkenFrame(moving);
    const auto band = steps.GetBand(size.x - 2);
    ASSERT_EQ(band.end - band.begin, 50);
    const int leading = band.leading + 1;  // in client pixels, after the frame
    EXPECT_TRUE(Same(moving, leading, 7, shadow));
    EXPECT_TRUE(Same(moving, leading, 1, shadow));
    EXPECT_TRUE(Same(moving, leading + 1, 7, face));
    EXPECT_TRUE(Same(moving, band.begin, 7, face));
    auto distance = [&](int x) { return std::abs(moving.GetRed(x, 7) - shadow.Red()); };
    EXPECT_LT(distance(leading - 10), distance(leading - 30));
    EXPECT_LT(distance(leading - 30), distance(leading - 48));

    // Turned back at the right end, the band leads on its left.
    while (steps.GetDirection() == CActivitySteps::Direction::Forward) steps.Step();
    for (int i = 0; i < 30; ++i) steps.Step();
    const wxImage back = Paint(steps, size);
    const auto backBand = steps.GetBand(size.x - 2);
    EXPECT_TRUE(Same(back, backBand.leading + 1, 7, shadow));
    EXPECT_TRUE(Same(back, backBand.leading, 7, face));
    EXPECT_LT(std::abs(back.GetRed(backBand.leading + 5, 7) - shadow.Red()),
              std::abs(back.GetRed(backBand.leading + 25, 7) - shadow.Red()));
}

TEST_F(StatusWindowsTest, IndicatorTimerRunsOnlyWhileActiveAndShown) {
    auto* indicator = new CActivityIndicator(frame);
    frame->Show();
    ASSERT_TRUE(PumpUntil([&] { return frame->IsShownOnScreen(); }));
    EXPECT_FALSE(indicator->IsAnimating());

    indicator->SetActive(true);
    EXPECT_TRUE(indicator->IsAnimating());
    ASSERT_TRUE(PumpUntil([&] { return indicator->GetSteps().GetPosition() >= 0.05; }));

    frame->Hide();
    PumpEvents();
    EXPECT_FALSE(indicator->IsAnimating());
    const double still = indicator->GetSteps().GetPosition();
    PumpEvents(100ms);
    EXPECT_EQ(indicator->GetSteps().GetPosition(), still);

    frame->Show();
    PumpEvents();
    EXPECT_TRUE(indicator->IsAnimating());

    wxIconizeEvent minimized(frame->GetId(), true);
    minimized.SetEventObject(frame);
    frame->GetEventHandler()->ProcessEvent(minimized);
    EXPECT_FALSE(indicator->IsAnimating());
    wxIconizeEvent restored(frame->GetId(), false);
    restored.SetEventObject(frame);
    frame->GetEventHandler()->ProcessEvent(restored);
    EXPECT_TRUE(indicator->IsAnimating());

    indicator->SetActive(false);
    EXPECT_FALSE(indicator->IsAnimating());
    EXPECT_EQ(indicator->GetSteps().GetPosition(), 0.0);

    // Hidden while inactive, then activated: still no timer until shown.
    frame->Hide();
    PumpEvents();
    indicator->SetActive(true);
    EXPECT_FALSE(indicator->IsAnimating());
    frame->Show();
    PumpEvents();
    EXPECT_TRUE(indicator->IsAnimating());
}

}  // namespace
}  // namespace tallyhawk::test
