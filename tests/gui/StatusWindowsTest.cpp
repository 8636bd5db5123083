// The status line and the activity indicator: what they paint, and that the
// indicator's timer runs only while it is active and its window is shown.
#include <gtest/gtest.h>
#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/settings.h>

#include <functional>

#include "dialogs/ActivityIndicator.h"
#include "dialogs/StatusText.h"
#include "gui/GuiTestMain.h"

namespace tallyhawk::test {
namespace {

using namespace std::chrono_literals;

const wxColour& Face() {
    static const wxColour colour = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE);
    return colour;
}
const wxColour& Shadow() {
    static const wxColour colour = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW);
    return colour;
}

bool Same(const wxImage& image, int x, int y, const wxColour& colour) {
    return image.GetRed(x, y) == colour.Red() && image.GetGreen(x, y) == colour.Green() &&
           image.GetBlue(x, y) == colour.Blue();
}

wxImage Paint(wxSize size, const std::function<void(wxDC&)>& draw) {
    wxBitmap bitmap(size);
    {
        wxMemoryDC dc(bitmap);
        draw(dc);
    }
    return bitmap.ConvertToImage();
}

void ExpectSunkenFrame(const wxImage& image) {
    const wxColour highlight = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNHIGHLIGHT);
    const int right = image.GetWidth() - 1;
    const int bottom = image.GetHeight() - 1;
    EXPECT_TRUE(Same(image, 0, 0, Shadow()));
    EXPECT_TRUE(Same(image, right / 2, 0, Shadow()));
    EXPECT_TRUE(Same(image, 0, bottom / 2, Shadow()));
    EXPECT_TRUE(Same(image, right / 2, bottom, highlight));
    EXPECT_TRUE(Same(image, right, bottom / 2, highlight));
    EXPECT_TRUE(Same(image, right, bottom, highlight));
}

TEST(StatusWindowsTest, StatusTextPaintsTheFrameAndTheTextInsetByOnePixel) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "Status");
    auto* status = new CStatusText(frame, 1044);
    const wxSize size(240, status->GetBestSize().y);
    EXPECT_GE(size.y, status->GetCharHeight() + 4);
    auto paint = [&] { return Paint(size, [&](wxDC& dc) { status->Draw(dc, size); }); };

    const wxImage empty = paint();
    ExpectSunkenFrame(empty);
    for (int x = 1; x < size.x - 1; ++x) ASSERT_TRUE(Same(empty, x, size.y / 2, Face())) << x;

    status->SetText("Connecting to 127.0.0.1");
    EXPECT_EQ(status->GetText(), "Connecting to 127.0.0.1");
    const wxImage text = paint();
    ExpectSunkenFrame(text);
    int inked = 0, leftmost = size.x;
    for (int y = 1; y < size.y - 1; ++y) {
        for (int x = 1; x < size.x - 1; ++x) {
            if (Same(text, x, y, Face())) continue;
            ++inked;
            leftmost = std::min(leftmost, x);
        }
    }
    EXPECT_GT(inked, 40);
    EXPECT_GE(leftmost, 2);  // the pixel inside the frame stays clear
    EXPECT_LT(leftmost, 6);  // and the text starts at the left
    frame->Destroy();
    PumpEvents();
}

TEST(StatusWindowsTest, IndicatorBandDarkensTowardsTheLeadingEdge) {
    const wxSize size(102, 14);
    CActivitySteps steps;
    auto paint = [&] {
        return Paint(size, [&](wxDC& dc) { DrawActivityIndicator(dc, size, steps); });
    };
    const wxImage idle = paint();
    ExpectSunkenFrame(idle);
    EXPECT_TRUE(Same(idle, 50, 7, Face()));
    ASSERT_NE(Face(), Shadow());

    steps.SetActive(true);
    for (int i = 0; i < 70; ++i) steps.Step();
    const wxImage forward = paint();
    ExpectSunkenFrame(forward);
    auto band = steps.GetBand(size.x - 2);
    const int leading = band.leading + 1;  // in client pixels, after the frame
    EXPECT_TRUE(Same(forward, leading, 7, Shadow()));
    EXPECT_TRUE(Same(forward, leading, 1, Shadow()));
    EXPECT_TRUE(Same(forward, leading + 1, 7, Face()));
    EXPECT_TRUE(Same(forward, band.begin, 7, Face()));
    auto distance = [&](const wxImage& image, int x) {
        return std::abs(image.GetRed(x, 7) - Shadow().Red());
    };
    EXPECT_LT(distance(forward, leading - 10), distance(forward, leading - 30));
    EXPECT_LT(distance(forward, leading - 30), distance(forward, leading - 48));
}

TEST(StatusWindowsTest, IndicatorTimerRunsOnlyWhileActiveAndShown) {
    auto* frame = new wxFrame(nullptr, wxID_ANY, "Indicator");
    auto* indicator = new CActivityIndicator(frame);
    auto iconize = [&](bool iconized) {
        wxIconizeEvent event(frame->GetId(), iconized);
        event.SetEventObject(frame);
        frame->GetEventHandler()->ProcessEvent(event);
    };
    auto showFrame = [&](bool show) {
        frame->Show(show);
        // Until the display has mapped or unmapped it: a late map of the
        // last show would otherwise count as shown again.
        EXPECT_TRUE(PumpUntil([&] { return frame->IsShownOnScreen() == show; }));
        PumpEvents();
    };
    showFrame(true);
    EXPECT_FALSE(indicator->IsAnimating());
    indicator->SetActive(true);
    EXPECT_TRUE(indicator->IsAnimating());
    ASSERT_TRUE(PumpUntil([&] { return indicator->GetSteps().GetPosition() >= 0.05; }));

    showFrame(false);
    EXPECT_FALSE(indicator->IsAnimating());
    const double still = indicator->GetSteps().GetPosition();
    PumpEvents(100ms);
    EXPECT_EQ(indicator->GetSteps().GetPosition(), still);
    showFrame(true);
    EXPECT_TRUE(indicator->IsAnimating());

    iconize(true);
    EXPECT_FALSE(indicator->IsAnimating());
    iconize(false);
    EXPECT_TRUE(indicator->IsAnimating());

    indicator->SetActive(false);
    EXPECT_FALSE(indicator->IsAnimating());
    showFrame(false);
    indicator->SetActive(true);  // activated while hidden: no timer until shown
    EXPECT_FALSE(indicator->IsAnimating());
    showFrame(true);
    EXPECT_TRUE(indicator->IsAnimating());
    frame->Destroy();
    PumpEvents();
}

}  // namespace
}  // namespace tallyhawk::test
