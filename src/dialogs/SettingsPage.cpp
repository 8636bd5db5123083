#include "dialogs/SettingsPage.h"

#include <wx/stattext.h>

namespace tallyhawk {

wxDEFINE_EVENT(EVT_PAGE_APPLIED, wxCommandEvent);

CSettingsPage::CSettingsPage(wxWindow* parent, const char* caption, const char* helpPage)
    : wxPanel(parent, wxID_ANY), caption(caption), helpPage(helpPage) {}

void CSettingsPage::Initialise() {
    if (initialised) return;
    initialised = true;
    OnInitPage();
}

void CSettingsPage::SendApplied() {
    wxCommandEvent applied(EVT_PAGE_APPLIED, GetId());
    applied.SetEventObject(this);
    ProcessWindowEvent(applied);
}

wxStaticText* CSettingsPage::Label(const char* text, wxWindowID id) {
    return new wxStaticText(this, id, wxString::FromUTF8(text));
}

}  // namespace tallyhawk
