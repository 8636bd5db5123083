#include "dialogs/AboutDlg.h"

#include <wx/button.h>
#include <wx/control.h>
#include <wx/dcclient.h>
#include <wx/sizer.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <algorithm>

#include "base/StringTable.h"
#include "dialogs/Art.h"
#include "dialogs/DialogStrings.h"
#include "dialogs/Help.h"

namespace tallyhawk {

CLinkStatic::CLinkStatic(wxWindow* parent, wxWindowID id, const std::string& text, int maxWidth)
    : wxWindow(parent, id, wxDefaultPosition, wxDefaultSize,
               wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE),
      maxWidth(maxWidth) {
    SetLabel(wxString::FromUTF8(text));
    SetCursor(wxCursor(wxCURSOR_HAND));
    Bind(wxEVT_PAINT, &CLinkStatic::OnPaint, this);
    Bind(wxEVT_LEFT_UP, &CLinkStatic::OnLeftUp, this);
}

wxFont CLinkStatic::LinkFont() const {
    return GetFont().Underlined();
}

wxString CLinkStatic::ShownText(wxDC& dc, int width) const {
    return wxControl::Ellipsize(GetLabel(), dc, wxELLIPSIZE_END, width);
}

void CLinkStatic::Draw(wxDC& dc, const wxSize& size) const {
    dc.SetFont(LinkFont());
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    dc.SetTextForeground(wxColour(kRed, kGreen, kBlue));
    dc.DrawText(ShownText(dc, size.x), 0, 0);
}

wxSize CLinkStatic::DoGetBestClientSize() const {
    wxClientDC dc(const_cast<CLinkStatic*>(this));
    dc.SetFont(LinkFont());
    wxSize size = dc.GetTextExtent(GetLabel());
    if (size.y == 0) size.y = GetCharHeight();
    size.x = std::min(size.x, maxWidth);
    return size;
}

void CLinkStatic::OnPaint(wxPaintEvent&) {
    wxPaintDC dc(this);
    Draw(dc, GetClientSize());
}

void CLinkStatic::OnLeftUp(wxMouseEvent& event) {
    event.Skip();
    if (!GetClientRect().Contains(event.GetPosition())) return;
    wxCommandEvent click(wxEVT_BUTTON, GetId());
    click.SetEventObject(this);
    ProcessWindowEvent(click);
}

std::string CAboutDlg::VersionLine() {
    return std::string("Tallyhawk ") + TALLYHAWK_VERSION;
}

CAboutDlg::CAboutDlg(wxWindow* parent) : wxDialog(parent, wxID_ANY, kTitle) {
    homePage = LoadString(IDS_HOME_PAGE);
    if (homePage.empty()) homePage = BuiltInHomePage();

    const int border = FromDIP(10);
    auto* icon =
        new wxStaticBitmap(this, wxID_ANY, GetArt(ArtId::ProgramIcon, FromDIP(wxSize(48, 48))));
    auto* version = new wxStaticText(this, ID_VERSION, wxString::FromUTF8(VersionLine()));
    version->SetFont(version->GetFont().Bold());
    auto* notice = new wxStaticText(this, wxID_ANY, wxString::FromUTF8(kNotice));
    auto* link = new CLinkStatic(this, ID_LINK, homePage, FromDIP(300));

    auto* text = new wxBoxSizer(wxVERTICAL);
    text->Add(version, wxSizerFlags().Border(wxBOTTOM, border / 2));
    text->Add(notice, wxSizerFlags().Border(wxBOTTOM, border / 2));
    text->Add(link, wxSizerFlags().Expand());

    auto* top = new wxBoxSizer(wxHORIZONTAL);
    top->Add(icon, wxSizerFlags().Top().Border(wxRIGHT, border));
    top->Add(text, wxSizerFlags(1).Center());

    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(top, wxSizerFlags(1).Expand().Border(wxALL, border));
    auto* ok = new wxButton(this, wxID_OK, "OK");
    ok->SetDefault();
    sizer->Add(ok, wxSizerFlags().Right().Border(wxLEFT | wxRIGHT | wxBOTTOM, border));
    SetSizerAndFit(sizer);
    CentreOnParent();

    Bind(wxEVT_BUTTON, &CAboutDlg::OnLink, this, ID_LINK);
}

void CAboutDlg::OnLink(wxCommandEvent&) {
    if (homePage.empty()) {
        ShowHelp(this);  // reports the missing manual
        return;
    }
    OpenInBrowser(this, homePage);
}

}  // namespace tallyhawk
