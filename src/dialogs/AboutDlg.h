// CAboutDlg: the About box: the program's icon, its name and version, the
// maker's notice and a link to the maker's home page (string 145).
//
// CLinkStatic: a static text that looks and acts like a link: underlined,
// blue, cut with "..." at the end when it does not fit, a hand cursor over
// it; a click sends a button event with the control's id to its parent.
//
// User-interface thread only.
#pragma once

#include <wx/dialog.h>
#include <wx/window.h>

#include <string>

class wxDC;

namespace tallyhawk {

class CLinkStatic : public wxWindow {
public:
    static constexpr unsigned char kRed = 0, kGreen = 0, kBlue = 255;

    // `maxWidth` (pixels) bounds the control's best width; a longer text is
    // cut when drawn.
    CLinkStatic(wxWindow* parent, wxWindowID id, const std::string& text, int maxWidth);

    // The text as drawn in `width` pixels with `dc`'s font set to the link's.
    wxString ShownText(wxDC& dc, int width) const;
    // Paints the link into `dc` over a client area of `size`.
    void Draw(wxDC& dc, const wxSize& size) const;

protected:
    wxSize DoGetBestClientSize() const override;

private:
    wxFont LinkFont() const;
    void OnPaint(wxPaintEvent& event);
    void OnLeftUp(wxMouseEvent& event);

    int maxWidth;
};

class CAboutDlg : public wxDialog {
public:
    static constexpr int ID_LINK = 1068;
    static constexpr int ID_VERSION = 1071;
    static constexpr const char* kTitle = "About Tallyhawk";
    static constexpr const char* kNotice =
        "Copyright \xc2\xa9 2026 Brindlecote. All rights reserved.";

    explicit CAboutDlg(wxWindow* parent);

    // "Tallyhawk" and the version the program was built as.
    static std::string VersionLine();

private:
    void OnLink(wxCommandEvent& event);

    std::string homePage;
};

}  // namespace tallyhawk
