#include "dialogs/ActivityIndicator.h"

#include <wx/dcbuffer.h>
#include <wx/settings.h>
#include <wx/toplevel.h>

#include <algorithm>

#include "dialogs/StatusText.h"

namespace tallyhawk {

void CActivitySteps::SetActive(bool value) {
    active = value;
    position = 0.0;
    direction = Direction::Forward;
}

void CActivitySteps::Step() {
    if (!active) return;
    if (direction == Direction::Forward) {
        position += kStep;
        if (position > 1.0) {
            position = 1.0;
            direction = Direction::Backward;
        }
    } else {
        position -= kStep;
        if (position < 0.0) {
            position = 0.0;
            direction = Direction::Forward;
        }
    }
}

CActivitySteps::Band CActivitySteps::GetBand(int width) const {
    if (!active || position == 0.0 || width <= 0) return {0, 0, 0};
    const int at = static_cast<int>(position * width);
    const int half = width / 2;
    if (direction == Direction::Forward) {
        const int begin = std::max(at - half, 0);
        return {begin, at, at - 1};
    }
    return {at, std::min(at + half, width), at};
}

double CActivitySteps::Shade(const Band& band, int width, int x) const {
    const int half = width / 2;
    if (half <= 0) return 1.0;
    const int distance = x > band.leading ? x - band.leading : band.leading - x;
    return std::clamp(1.0 - static_cast<double>(distance) / half, 0.0, 1.0);
}

CActivityIndicator::CActivityIndicator(wxWindow* parent, wxWindowID id)
    : timer(this), topLevel(wxGetTopLevelParent(parent)) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Create(parent, id, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE);
    Bind(wxEVT_PAINT, &CActivityIndicator::OnPaint, this);
    Bind(wxEVT_TIMER, &CActivityIndicator::OnTimer, this, timer.GetId());
    if (topLevel) {
        topLevel->Bind(wxEVT_SHOW, &CActivityIndicator::OnTopLevelShow, this);
        topLevel->Bind(wxEVT_ICONIZE, &CActivityIndicator::OnTopLevelIconize, this);
        if (auto* frame = dynamic_cast<wxTopLevelWindow*>(topLevel)) iconized = frame->IsIconized();
    }
}

CActivityIndicator::~CActivityIndicator() {
    timer.Stop();
    if (topLevel) {
        topLevel->Unbind(wxEVT_SHOW, &CActivityIndicator::OnTopLevelShow, this);
        topLevel->Unbind(wxEVT_ICONIZE, &CActivityIndicator::OnTopLevelIconize, this);
    }
}

void CActivityIndicator::SetActive(bool value) {
    steps.SetActive(value);
    UpdateTimer();
    Refresh(false);
}

void CActivityIndicator::UpdateTimer() {
    const bool shown = topLevel ? topLevel->IsShown() && !iconized : IsShown();
    const bool animate = steps.IsActive() && shown;
    if (animate && !timer.IsRunning()) {
        timer.Start(kFrameMilliseconds);
    } else if (!animate && timer.IsRunning()) {
        timer.Stop();
    }
}

void CActivityIndicator::OnTopLevelShow(wxShowEvent& event) {
    event.Skip();
    UpdateTimer();
}

void CActivityIndicator::OnTopLevelIconize(wxIconizeEvent& event) {
    event.Skip();
    iconized = event.IsIconized();
    UpdateTimer();
}

void CActivityIndicator::OnTimer(wxTimerEvent&) {
    // The display may report a window shown again for a moment while it is
    // being hidden; a tick that finds it hidden stops the timer for good.
    UpdateTimer();
    if (!timer.IsRunning()) return;
    for (int i = 0; i < kStepsPerFrame; ++i) steps.Step();
    Refresh(false);
}

void DrawActivityIndicator(wxDC& dc, const wxSize& size, const CActivitySteps& steps) {
    const wxColour face = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE);
    const wxColour shadow = wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW);
    const wxRect area(wxPoint(0, 0), size);
    dc.SetBrush(wxBrush(face));
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.DrawRectangle(area);
    DrawSunkenFrame(dc, area);
    const int width = size.x - 2;
    const CActivitySteps::Band band = steps.GetBand(width);
    auto mix = [](unsigned char from, unsigned char to, double shade) {
        return static_cast<unsigned char>(from + (to - from) * shade + 0.5);
    };
    for (int x = band.begin; x < band.end; ++x) {
        const double shade = steps.Shade(band, width, x);
        dc.SetBrush(wxBrush(wxColour(mix(face.Red(), shadow.Red(), shade),
                                     mix(face.Green(), shadow.Green(), shade),
                                     mix(face.Blue(), shadow.Blue(), shade))));
        dc.DrawRectangle(x + 1, 1, 1, size.y - 2);
    }
}

wxSize CActivityIndicator::DoGetBestClientSize() const {
    return wxSize(FromDIP(100), GetCharHeight() + 4);
}

void CActivityIndicator::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    DrawActivityIndicator(dc, GetClientSize(), steps);
}

}  // namespace tallyhawk
