#include <wx/button.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "dialogs/SettingsPages.h"
#include "engine/WatchSite.h"

namespace tallyhawk {

CSecurePropPage::CSecurePropPage(wxWindow* parent, CWatchSite& site)
    : CSettingsPage(parent, "Secure Connection Properties", "tab-secure.html"), site(site) {
    const CWatcherSettings settings = site.GetSettings();
    userName = CStoredText(settings.GetUserName());
    password = CStoredText(settings.GetPassword());

    userEdit =
        new wxTextCtrl(this, ID_USER, wxEmptyString, wxDefaultPosition, wxSize(FromDIP(260), -1));
    passwordEdit = new wxTextCtrl(this, ID_PASSWORD, wxEmptyString, wxDefaultPosition,
                                  userEdit->GetSize(), wxTE_PASSWORD);
    auto* clear = new wxButton(this, ID_CLEAR, "&Clear");

    auto* fields = new wxFlexGridSizer(2, Gap(), 2 * Gap());
    fields->Add(Label("&User Name"), wxSizerFlags().CenterVertical());
    fields->Add(userEdit, wxSizerFlags().Expand());
    fields->Add(Label("&Password"), wxSizerFlags().CenterVertical());
    fields->Add(passwordEdit, wxSizerFlags().Expand());
    fields->AddSpacer(0);
    fields->Add(clear, wxSizerFlags().Left());

    AddToColumn(fields);

    for (wxTextCtrl* edit : {userEdit, passwordEdit})
        edit->Bind(wxEVT_TEXT, &CSecurePropPage::MarkModified, this);
    clear->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) {
        userEdit->SetValue(wxEmptyString);
        passwordEdit->SetValue(wxEmptyString);
        SetModified();
    });
}

void CSecurePropPage::OnInitPage() {
    userName.Show(*userEdit);
    password.Show(*passwordEdit);
}

void CSecurePropPage::WriteCredentials(CWatcherSettings& settings) const {
    settings.SetUserName(userName.Read());
    settings.SetPassword(password.Read());
}

bool CSecurePropPage::Apply() {
    CWatcherSettings settings = site.GetSettings();
    WriteCredentials(settings);
    site.SetSettings(settings);
    SetModified(false);
    SendApplied();
    return true;
}

}  // namespace tallyhawk
