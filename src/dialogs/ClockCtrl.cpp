#include "dialogs/ClockCtrl.h"

#include <wx/dcbuffer.h>
#include <wx/settings.h>

#include <algorithm>
#include <vector>

#include "dialogs/SheetRules.h"

namespace tallyhawk {

wxDEFINE_EVENT(EVT_CLOCK_CHANGED, wxCommandEvent);

namespace {

wxColour System(wxSystemColour index) {
    return wxSystemSettings::GetColour(index);
}

// The relief colours. Flat desktop themes give a highlight and a shadow only
// a shade or two off the face, which would leave the rings and minute dots
// unseen; there the face's own colour, lightened or darkened, is used.
wxColour Highlight() {
    const wxColour face = System(wxSYS_COLOUR_BTNFACE);
    const wxColour light = System(wxSYS_COLOUR_BTNHIGHLIGHT);
    return light.GetLuminance() - face.GetLuminance() < 0.1 ? *wxWHITE : light;
}
wxColour Shadow() {
    const wxColour face = System(wxSYS_COLOUR_BTNFACE);
    const wxColour dark = System(wxSYS_COLOUR_BTNSHADOW);
    return face.GetLuminance() - dark.GetLuminance() < 0.2 ? face.ChangeLightness(55) : dark;
}

wxColour FromColorRef(std::uint32_t color) {
    const auto rgb = ColorToRgb(color);
    return wxColour(rgb[0], rgb[1], rgb[2]);
}

wxPoint ToWx(CPoint p) {
    return wxPoint(p.x, p.y);
}

}  // namespace

CClockCtrl::CClockCtrl(wxWindow* parent, wxWindowID id)
    : wxWindow(parent, id, wxDefaultPosition, wxDefaultSize,
               wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE | wxWANTS_CHARS) {
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Bind(wxEVT_PAINT, &CClockCtrl::OnPaint, this);
    Bind(wxEVT_LEFT_DOWN, &CClockCtrl::OnLeftDown, this);
    Bind(wxEVT_MOTION, &CClockCtrl::OnMotion, this);
    Bind(wxEVT_LEFT_UP, [this](wxMouseEvent& event) {
        event.Skip();
        EndDrag();
    });
    Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
        event.Skip();
        EndDrag();
    });
    Bind(wxEVT_MOUSE_CAPTURE_LOST, [this](wxMouseCaptureLostEvent&) { dragMode = 0; });
}

void CClockCtrl::SetTime(int hour, int minute, int second) {
    if (!SetClockTime(time, hour, minute, second)) return;
    Refresh();
}

void CClockCtrl::GetTime(int& hour, int& minute, int& second) const {
    hour = time.hour;
    minute = time.minute;
    second = time.second;
}

CClockGeometry CClockCtrl::Geometry() const {
    const wxSize size = GetClientSize();
    return ClockGeometryFor(0, 0, size.x, size.y);
}

int CClockCtrl::HandAt(wxPoint point) const {
    return ClockHitTest(Geometry(), time, {point.x, point.y});
}

wxCursor CClockCtrl::CursorAt(wxPoint point) const {
    if (dragCursor.IsOk() && (dragMode != 0 || HandAt(point) != 0)) return dragCursor;
    return wxNullCursor;
}

wxSize CClockCtrl::DoGetBestClientSize() const {
    return FromDIP(wxSize(200, 200));
}

void CClockCtrl::OnLeftDown(wxMouseEvent& event) {
    event.Skip();  // the focus comes with it
    SetFocus();
    dragMode = HandAt(event.GetPosition());
    if (dragMode != 0 && !HasCapture()) CaptureMouse();
}

void CClockCtrl::OnMotion(wxMouseEvent& event) {
    SetCursor(CursorAt(event.GetPosition()));
    if (dragMode == 0) {
        event.Skip();
        return;
    }
    const wxPoint p = event.GetPosition();
    const double degrees = DragAngle(Geometry().centre, {p.x, p.y});
    CClockTime moved = time;
    if (dragMode == 2) {
        DragMinuteHand(moved, degrees);
    } else {
        DragHourHand(moved, degrees);
    }
    SetTime(moved.hour, moved.minute, moved.second);
    wxCommandEvent changed(EVT_CLOCK_CHANGED, GetId());
    changed.SetEventObject(this);
    changed.SetInt(time.hour);
    changed.SetExtraLong(time.minute);
    ProcessWindowEvent(changed);
}

void CClockCtrl::EndDrag() {
    dragMode = 0;
    if (HasCapture()) ReleaseMouse();
}

void CClockCtrl::OnPaint(wxPaintEvent&) {
    wxBufferedPaintDC dc(this);
    Draw(dc, GetClientSize());
}

void CClockCtrl::Draw(wxDC& dc, const wxSize& size) const {
    dc.SetBackground(wxBrush(System(wxSYS_COLOUR_BTNFACE)));
    dc.Clear();
    const CClockGeometry g = ClockGeometryFor(0, 0, size.x, size.y);
    const int radius = g.radius;

    // The numbers, each with a white copy a pixel lower right as its relief.
    dc.SetFont(GetParent() ? GetParent()->GetFont() : GetFont());
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    for (int n = 1; n <= 12; ++n) {
        const CPoint at = PointAt(g.centre, (n - 3) * 30.0, static_cast<int>(0.95 * radius));
        const wxString text = wxString::Format("%d", n);
        const wxSize extent = dc.GetTextExtent(text);
        const wxPoint corner(at.x - extent.x / 2, at.y - extent.y / 2);
        dc.SetTextForeground(*wxWHITE);
        dc.DrawText(text, corner + wxPoint(1, 1));
        dc.SetTextForeground(System(wxSYS_COLOUR_BTNTEXT));
        dc.DrawText(text, corner);
    }

    // A raised dot for every minute between the numbers.
    const wxPen highlight(Highlight());
    const wxPen shadow(Shadow());
    for (int i = 0; i < 60; ++i) {
        if (i % 5 == 0) continue;
        const CPoint at = PointAt(g.centre, i * 6.0, radius);
        dc.SetPen(highlight);
        dc.DrawPoint(at.x, at.y - 1);
        dc.DrawPoint(at.x - 1, at.y);
        dc.SetPen(shadow);
        dc.DrawPoint(at.x, at.y + 1);
        dc.DrawPoint(at.x + 1, at.y);
    }

    DrawRing(dc, g.centre, g.size / 2, true);
    DrawRing(dc, g.centre, g.size / 2 - 3, false);

    DrawHand(dc, HourHand(g, time), time.hour * 30.0 - 90);
    DrawHand(dc, MinuteHand(g, time), time.minute * 6.0 - 90);
}

void CClockCtrl::DrawRing(wxDC& dc, CPoint centre, int radius, bool raised) const {
    // Two halves split at 45 degrees up-right and down-left; the light falls
    // from the upper left.
    const wxColour light = Highlight();
    const wxColour dark = Shadow();
    dc.SetBrush(*wxTRANSPARENT_BRUSH);
    const int x = centre.x - radius;
    const int y = centre.y - radius;
    dc.SetPen(wxPen(raised ? light : dark));
    dc.DrawEllipticArc(x, y, 2 * radius, 2 * radius, 45, 225);  // upper-left half
    dc.SetPen(wxPen(raised ? dark : light));
    dc.DrawEllipticArc(x, y, 2 * radius, 2 * radius, 225, 405);  // lower-right half
}

void CClockCtrl::DrawHand(wxDC& dc, const CHandPolygon& hand, double baseDegrees) const {
    std::vector<wxPoint> points;
    for (const CPoint& p : hand) points.push_back(ToWx(p));
    dc.SetBrush(wxBrush(FromColorRef(kHandColor)));
    dc.SetPen(wxPen(Shadow()));
    dc.DrawPolygon(static_cast<int>(points.size()), points.data());
    // The lit edge: from the tail through one side to the tip.
    const wxPoint side = HighlightThroughSideA(baseDegrees) ? points[1] : points[3];
    dc.SetPen(wxPen(Highlight()));
    dc.DrawLine(points[2], side);
    dc.DrawLine(side, points[0]);
}

}  // namespace tallyhawk
