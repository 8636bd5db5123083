// CClockCtrl: the clock face of the Time dialog. It shows an hour and a
// minute with two hands that the mouse can drag: pressing on a hand (or
// within a pixel of it) picks it up, and moving the mouse turns it; the
// minute hand carries the hour along when it passes 12 o'clock. Over a hand
// the mouse pointer becomes the program's drag cursor.
//
// Drawn in one piece through an off-screen bitmap (no flicker): the
// numbers 1-12, dots for the other minutes, a raised outer and a sunken
// inner ring, then the hour hand and the minute hand above it. The
// geometry, hit test and drag rules are TimeRules.h's.
//
// After every drag step it sends EVT_CLOCK_CHANGED (a command event that
// rises to the dialog) with the hour in GetInt() and the minute in
// GetExtraLong(). User-interface thread only.
#pragma once

#include <wx/cursor.h>
#include <wx/event.h>
#include <wx/window.h>

#include <cstdint>

#include "dialogs/TimeRules.h"

class wxDC;

namespace tallyhawk {

wxDECLARE_EVENT(EVT_CLOCK_CHANGED, wxCommandEvent);

class CClockCtrl : public wxWindow {
public:
    // Both hands: red 0, green 128, blue 128 (red in the low byte).
    static constexpr std::uint32_t kHandColor = 0x808000;

    CClockCtrl(wxWindow* parent, wxWindowID id);

    // |hour| mod 12, |minute| mod 60, |second| mod 60, redrawn at once; the
    // very values held already change nothing.
    void SetTime(int hour, int minute, int second);
    void GetTime(int& hour, int& minute, int& second) const;
    const CClockTime& GetClockTime() const { return time; }

    void SetDragCursor(const wxCursor& cursor) { dragCursor = cursor; }
    // The cursor shown at `point` (client coordinates): the drag cursor over
    // a hand or while dragging, the window's usual one elsewhere.
    wxCursor CursorAt(wxPoint point) const;

    // The face's centre and radius for the current size.
    CClockGeometry Geometry() const;
    // 2 over the minute hand, 1 over the hour hand, 0 elsewhere.
    int HandAt(wxPoint point) const;
    // 0 none, 1 the hour hand, 2 the minute hand.
    int GetDragMode() const { return dragMode; }

    // Paints the face into `dc` over a client area of `size`.
    void Draw(wxDC& dc, const wxSize& size) const;

protected:
    wxSize DoGetBestClientSize() const override;

private:
    void OnPaint(wxPaintEvent& event);
    void OnLeftDown(wxMouseEvent& event);
    void OnMotion(wxMouseEvent& event);
    void EndDrag();
    void DrawHand(wxDC& dc, const CHandPolygon& hand, double baseDegrees) const;
    void DrawRing(wxDC& dc, CPoint centre, int radius, bool raised) const;

    CClockTime time;
    int dragMode = 0;
    wxCursor dragCursor;
};

}  // namespace tallyhawk
