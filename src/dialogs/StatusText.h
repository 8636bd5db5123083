// CStatusText: a one-line status display that does not flicker however often
// its text changes (the Update Page dialog's status line and the message-log
// bar's). It paints a button-face field in a sunken 3-D frame (shadow top and
// left, highlight bottom and right) and the text inside the frame, inset by
// one pixel, top-left aligned, in the window's font.
//
// User-interface thread only.
#pragma once

#include <wx/window.h>

#include <string>

class wxDC;

namespace tallyhawk {

class CStatusText : public wxWindow {
public:
    explicit CStatusText(wxWindow* parent, wxWindowID id = wxID_ANY);

    // Stores `text` and repaints at once; the same text again changes
    // nothing. The text is shown as TextFromBytes shows bytes: it may carry
    // a page's address, which need not be UTF-8.
    void SetText(const std::string& text);
    std::string GetText() const { return text; }

    // Paints the control into `dc` over a client area of `size`.
    void Draw(wxDC& dc, const wxSize& size) const;

protected:
    wxSize DoGetBestClientSize() const override;

private:
    void OnPaint(wxPaintEvent& event);

    std::string text;
};

// The sunken 3-D frame around `rect`: shadow on the top and left edges,
// highlight on the bottom and right ones, one pixel wide.
void DrawSunkenFrame(wxDC& dc, const wxRect& rect);

}  // namespace tallyhawk
