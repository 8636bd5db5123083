#include "dialogs/StatusText.h"

#include <wx/dcbuffer.h>
#include <wx/settings.h>

#include "dialogs/DialogStrings.h"

namespace tallyhawk {

void DrawSunkenFrame(wxDC& dc, const wxRect& rect) {
    // Filled one-pixel rectangles, not lines: a line's ends cover half
    // pixels on an anti-aliasing surface, which would blur the corners.
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW)));
    dc.DrawRectangle(rect.x, rect.y, rect.width - 1, 1);
    dc.DrawRectangle(rect.x, rect.y, 1, rect.height - 1);
    dc.SetBrush(wxBrush(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNHIGHLIGHT)));
    dc.DrawRectangle(rect.x, rect.GetBottom(), rect.width, 1);
    dc.DrawRectangle(rect.GetRight(), rect.y, 1, rect.height);
}

CStatusText::CStatusText(wxWindow* parent, wxWindowID id) {
    // Every pixel is painted here, through an off-screen bitmap.
    SetBackgroundStyle(wxBG_STYLE_PAINT);
    Create(parent, id, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE);
    Bind(wxEVT_PAINT, &CStatusText::OnPaint, this);
}

void CStatusText::SetText(const std::string& value) {
    if (value == text) return;
    text = value;
    Refresh(false);
    Update();
}

void CStatusText::Draw(wxDC& dc, const wxSize& size) const {
    const wxRect area(wxPoint(0, 0), size);
    dc.SetBrush(wxBrush(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE)));
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.DrawRectangle(area);
    DrawSunkenFrame(dc, area);
    if (text.empty()) return;
    const wxRect inside = wxRect(area).Deflate(2);
    dc.SetFont(GetFont());
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc.SetTextForeground(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNTEXT));
    wxDCClipper clip(dc, inside);
    dc.DrawText(TextFromBytes(text), inside.GetTopLeft());
}

wxSize CStatusText::DoGetBestClientSize() const {
    // One line of text, its inset and the frame.
    const int height = GetCharHeight() + 4;
    return wxSize(FromDIP(160), height);
}

void CStatusText::OnPaint(wxPaintEvent&) {
    wxAutoBufferedPaintDC dc(this);
    Draw(dc, GetClientSize());
}

}  // namespace tallyhawk
