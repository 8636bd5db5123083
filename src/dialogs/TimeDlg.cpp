#include "dialogs/TimeDlg.h"

#include <wx/button.h>
#include <wx/image.h>
#include <wx/radiobut.h>

#include <algorithm>

#include "dialogs/Art.h"
#include "dialogs/ClockCtrl.h"
#include "dialogs/TimeRules.h"

namespace tallyhawk {

namespace {

CRect ToRect(const wxRect& r) {
    return {r.x, r.y, r.width, r.height};
}
wxRect FromRect(const CRect& r) {
    return wxRect(r.x, r.y, r.width, r.height);
}

// The program's own pointer for dragging a hand: its drawing, with the
// hot spot in the middle.
wxCursor MakeDragCursor(wxWindow* window) {
    const wxSize size = window->FromDIP(wxSize(32, 32));
    wxImage image = GetArt(ArtId::ClockDrag, wxSize(32, 32)).GetBitmap(size).ConvertToImage();
    if (!image.IsOk()) return wxCursor(wxCURSOR_HAND);
    image.SetOption(wxIMAGE_OPTION_CUR_HOTSPOT_X, size.x / 2);
    image.SetOption(wxIMAGE_OPTION_CUR_HOTSPOT_Y, size.y / 2);
    return wxCursor(image);
}

}  // namespace

CTimeDlg::CTimeDlg(wxWindow* parent)
    : wxDialog(parent, wxID_ANY, kTitle, wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE | wxRESIZE_BORDER) {
    clock = new CClockCtrl(this, ID_CLOCK);
    amRadio = new wxRadioButton(this, ID_AM, "&AM", wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
    pmRadio = new wxRadioButton(this, ID_PM, "&PM");
    okButton = new wxButton(this, wxID_OK, "OK");
    okButton->SetDefault();
    clock->SetDragCursor(MakeDragCursor(this));

    // The first layout; later sizes follow LayOutTimeDialog. The three
    // buttons share one width, so the clock ends left of all of them.
    const int margin = FromDIP(kMargin);
    const wxSize face = clock->GetBestSize();
    const int column =
        std::max({amRadio->GetBestSize().x, pmRadio->GetBestSize().x, okButton->GetBestSize().x});
    const int left = margin + face.x + 3;
    amRadio->SetSize(left, margin, column, amRadio->GetBestSize().y);
    pmRadio->SetSize(left, margin + amRadio->GetSize().y + FromDIP(4), column,
                     pmRadio->GetBestSize().y);
    okButton->SetSize(column, okButton->GetBestSize().y);
    const wxSize client(left + column + margin, face.y + 2 * margin);
    SetClientSize(client);
    SetMinClientSize(client);
    LayOutControls();
    Bind(wxEVT_SIZE, [this](wxSizeEvent& event) {
        event.Skip();
        LayOutControls();
    });
    Bind(wxEVT_BUTTON, &CTimeDlg::OnOk, this, wxID_OK);
    Bind(wxEVT_CHAR_HOOK, [this](wxKeyEvent& event) {
        if (event.GetKeyCode() == WXK_ESCAPE && IsModal()) {
            EndModal(wxID_CANCEL);
            return;
        }
        event.Skip();
    });
    Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& event) {
        if (IsModal()) {
            EndModal(wxID_CANCEL);
        } else {
            event.Skip();
        }
    });
    Bind(wxEVT_INIT_DIALOG, [this](wxInitDialogEvent& event) {
        event.Skip();
        ShowPm();
    });
    ShowPm();
    CentreOnParent();
}

void CTimeDlg::Set(int hour, int minute, int second) {
    clock->SetTime(hour, minute, second);
    pm = ClockHourFor(hour).pm;
    ShowPm();
}

void CTimeDlg::Get(int& hour, int& minute, int& second) const {
    int clockHour = 0;
    clock->GetTime(clockHour, minute, second);
    hour = HourFromClock(clockHour, pm);
}

void CTimeDlg::ShowPm() {
    (pm ? pmRadio : amRadio)->SetValue(true);
}

void CTimeDlg::LayOutControls() {
    const wxSize client = GetClientSize();
    const CTimeDialogLayout layout =
        LayOutTimeDialog(client.x, client.y, ToRect(amRadio->GetRect()), ToRect(pmRadio->GetRect()),
                         ToRect(okButton->GetRect()), FromDIP(kMargin));
    clock->SetSize(FromRect(layout.clock));
    amRadio->SetSize(FromRect(layout.am));
    pmRadio->SetSize(FromRect(layout.pm));
    okButton->SetSize(FromRect(layout.ok));
}

void CTimeDlg::OnOk(wxCommandEvent&) {
    pm = pmRadio->GetValue();
    if (IsModal()) {
        EndModal(wxID_OK);
    } else {
        Hide();
    }
}

}  // namespace tallyhawk
