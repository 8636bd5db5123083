#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "base/Exception.h"
#include "base/StringTable.h"
#include "dialogs/DialogStrings.h"
#include "dialogs/Prompter.h"
#include "dialogs/SettingsPages.h"
#include "dialogs/SheetRules.h"
#include "dialogs/SpinEdit.h"
#include "engine/PageName.h"
#include "engine/WatchSite.h"

namespace tallyhawk {

namespace {

constexpr CIntRange kIgnoreRange{0, 100};

}  // namespace

CPagePropPage::CPagePropPage(wxWindow* parent, CWatchSite& site)
    : CSettingsPage(parent, "Page Properties", "tab-page.html"),
      site(site),
      storedUrl(site.GetUrl()),
      storedName(site.GetName()),
      url(storedUrl.Read()),
      name(storedName.Read()),
      enabled(site.IsEnabled()) {
    const CWatcherSettings settings = site.GetSettings();
    ignoreBeginning = settings.GetIgnoreBeginning();
    ignoreEnding = settings.GetIgnoreEnding();

    urlEdit =
        new wxTextCtrl(this, ID_URL, wxEmptyString, wxDefaultPosition, wxSize(FromDIP(300), -1));
    auto* verify = new wxButton(this, ID_VERIFY, "&Verify...");
    nameEdit = new wxTextCtrl(this, ID_NAME);
    enableCheck = new wxCheckBox(this, ID_ENABLE, "Enable &Page");

    auto* fields = new wxFlexGridSizer(3, Gap(), Gap());
    fields->AddGrowableCol(1);
    fields->Add(Label("Web Page &URL"), wxSizerFlags().CenterVertical());
    fields->Add(urlEdit, wxSizerFlags().Expand().CenterVertical());
    fields->Add(verify, wxSizerFlags().CenterVertical());
    fields->Add(Label("Web Page Name"), wxSizerFlags().CenterVertical());
    fields->Add(nameEdit, wxSizerFlags().Expand().CenterVertical());
    fields->AddSpacer(0);

    auto* ignore = new wxStaticBoxSizer(wxHORIZONTAL, this, "Changes to Ignore");
    wxStaticBox* box = ignore->GetStaticBox();
    beginningEdit = new CSpinEdit(box, ID_BEGINNING, 3);
    endingEdit = new CSpinEdit(box, ID_ENDING, 3);
    // What counts as one change is not what a reader expects (the manual's
    // Page tab explains it at length); the fields say it in short.
    const wxString beginningHelp = wxString::FromUTF8(LoadString(IDS_IGNORE_BEGINNING_HELP));
    const wxString endingHelp = wxString::FromUTF8(LoadString(IDS_IGNORE_ENDING_HELP));
    auto* beginningLabel = new wxStaticText(box, wxID_ANY, "&Begining");
    auto* endingLabel = new wxStaticText(box, wxID_ANY, "&Ending");
    beginningLabel->SetToolTip(beginningHelp);
    beginningEdit->SetToolTip(beginningHelp);
    endingLabel->SetToolTip(endingHelp);
    endingEdit->SetToolTip(endingHelp);
    ignore->Add(beginningLabel, wxSizerFlags().CenterVertical().Border(wxALL, Gap()));
    ignore->Add(beginningEdit->MakeSizer(), wxSizerFlags().CenterVertical().Border(wxALL, Gap()));
    ignore->AddSpacer(2 * Indent());
    ignore->Add(endingLabel, wxSizerFlags().CenterVertical().Border(wxALL, Gap()));
    ignore->Add(endingEdit->MakeSizer(), wxSizerFlags().CenterVertical().Border(wxALL, Gap()));

    AddToColumn(fields, false, true);
    AddToColumn(enableCheck);
    AddColumnSpace();
    AddToColumn(ignore, false, true);

    verify->Bind(wxEVT_BUTTON, &CPagePropPage::OnVerify, this);
    urlEdit->Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& event) {
        event.Skip();
        FillNameFromUrl();
    });
    for (wxTextCtrl* edit : {urlEdit, nameEdit, static_cast<wxTextCtrl*>(beginningEdit),
                             static_cast<wxTextCtrl*>(endingEdit)})
        edit->Bind(wxEVT_TEXT, &CPagePropPage::MarkModified, this);
    enableCheck->Bind(wxEVT_CHECKBOX, &CPagePropPage::MarkModified, this);
}

void CPagePropPage::OnInitPage() {
    enableCheck->SetValue(enabled);
    storedUrl.Show(*urlEdit);
    storedName.Show(*nameEdit);
    beginningEdit->ChangeValue(wxString::Format("%d", ignoreBeginning));
    endingEdit->ChangeValue(wxString::Format("%d", ignoreEnding));
    for (CSpinEdit* edit : {beginningEdit, endingEdit}) {
        edit->SetRange(kIgnoreRange.lower, kIgnoreRange.upper);
        edit->SetDigitsOnly(true);
    }
    SetModified(false);
}

void CPagePropPage::FillNameFromUrl() {
    const std::string typed = storedUrl.Read();
    if (typed.empty() || !nameEdit->GetValue().empty()) return;
    const std::string word = PageNameFromUrl(typed);
    if (!word.empty()) nameEdit->SetValue(TextFromBytes(word));
}

bool CPagePropPage::ReadControls() {
    enabled = enableCheck->GetValue();
    if (!endingEdit->ReadInteger(ignoreEnding, kIgnoreRange)) return false;
    if (!beginningEdit->ReadInteger(ignoreBeginning, kIgnoreRange)) return false;
    url = storedUrl.Read();
    name = storedName.Read();
    return true;
}

void CPagePropPage::OnVerify(wxCommandEvent&) {
    // The address as it stands, whatever the other fields hold.
    const std::string target = storedUrl.Read();
    try {
        if (target.empty()) throw CGenericException(LoadString(IDS_BROWSER_LAUNCH_FAILED));
        site.OpenInBrowser(target);
    } catch (const CException&) {
        GetPrompter().Tell(wxGetTopLevelParent(this), LoadString(IDS_BROWSER_LAUNCH_FAILED), true);
    }
}

bool CPagePropPage::Apply() {
    FillNameFromUrl();
    if (!ReadControls()) return false;
    if (const unsigned problem = PageFieldsProblem(url, name)) {
        ReportFieldProblem(problem == IDS_URL_EMPTY ? urlEdit : nameEdit, LoadString(problem));
        return false;
    }
    CWatcherSettings settings = site.GetSettings();
    site.Enable(enabled);
    settings.SetIgnoreBeginning(ignoreBeginning);
    settings.SetIgnoreEnding(ignoreEnding);
    site.SetUrl(url);
    site.SetName(name);
    site.SetSettings(settings);
    SetModified(false);
    SendApplied();
    return true;
}

}  // namespace tallyhawk
