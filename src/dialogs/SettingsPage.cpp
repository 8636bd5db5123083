#include "dialogs/SettingsPage.h"

#include <wx/stattext.h>

namespace tallyhawk {

wxDEFINE_EVENT(EVT_PAGE_APPLIED, wxCommandEvent);

CSettingsPage::CSettingsPage(wxWindow* parent, const char* caption, const char* helpPage)
    : wxPanel(parent, wxID_ANY), caption(caption), helpPage(helpPage) {
    column = new wxBoxSizer(wxVERTICAL);
    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(column, wxSizerFlags(1).Expand().Border(wxALL, 2 * Gap()));
    SetSizer(sizer);
}

void CSettingsPage::AddToColumn(wxWindow* item, bool indent, bool expand) {
    AddToColumn(new wxSizerItem(item), indent, expand);
}

void CSettingsPage::AddToColumn(wxSizer* item, bool indent, bool expand) {
    AddToColumn(new wxSizerItem(item), indent, expand);
}

void CSettingsPage::AddToColumn(wxSizerItem* item, bool indent, bool expand) {
    if (!column->IsEmpty()) column->AddSpacer(Gap());
    if (!indent) {
        item->SetProportion(0);
        item->SetFlag(expand ? wxEXPAND : 0);
        column->Add(item);
        return;
    }
    item->SetProportion(expand ? 1 : 0);
    item->SetFlag(0);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->AddSpacer(Indent());
    row->Add(item);
    column->Add(row, wxSizerFlags().Expand());
}

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
