#include "dialogs/WatcherSettingsDlg.h"

#include <wx/button.h>
#include <wx/notebook.h>
#include <wx/sizer.h>

#include "base/StringTable.h"
#include "dialogs/DialogStrings.h"
#include "dialogs/Help.h"
#include "dialogs/Prompter.h"
#include "dialogs/SettingsPages.h"
#include "dialogs/SheetRules.h"
#include "dialogs/WatchPreviewDlg.h"
#include "engine/SiteServices.h"
#include "engine/WatchSite.h"

namespace tallyhawk {

CWatcherSettingsDlg::CWatcherSettingsDlg(wxWindow* parent, const std::string& title,
                                         CWatchSite& site, bool defaultsMode,
                                         const CLogSettingsTarget* logging)
    : wxDialog(parent, wxID_ANY, wxString::FromUTF8(title)),
      title(title),
      site(site),
      defaultsMode(defaultsMode) {
    notebook = new wxNotebook(this, wxID_ANY);
    if (!defaultsMode) AddPage(new CPagePropPage(notebook, site));
    AddPage(new CNotifyPropPage(notebook, site));
    AddPage(new CUpdatePropPage(notebook, site));
    AddPage(new COutputPropPage(notebook, site));
    AddPage(new CWatchPropPage(notebook, site, !defaultsMode));
    AddPage(new CSecurePropPage(notebook, site));
    if (defaultsMode && logging)
        AddPage(new CLoggingPropPage(notebook, logging->settings, logging->log));

    // Every tab in view: the toolkit would rather hide some behind arrows.
    int tabs = 0;
    for (CSettingsPage* page : pages)
        tabs += notebook->GetTextExtent(wxString::FromUTF8(page->GetCaption())).x +
                FromDIP(kTabPadding);
    notebook->SetMinSize(wxSize(tabs + FromDIP(kTabPadding), -1));

    auto* buttons = new wxStdDialogButtonSizer;
    auto* ok = new wxButton(this, wxID_OK, "OK");
    ok->SetDefault();
    buttons->AddButton(ok);
    buttons->AddButton(new wxButton(this, wxID_CANCEL, "Cancel"));
    buttons->AddButton(new wxButton(this, wxID_APPLY, "&Apply"));
    buttons->AddButton(new wxButton(this, wxID_HELP, "Help"));
    buttons->Realize();

    auto* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(notebook, wxSizerFlags(1).Expand().Border(wxALL, FromDIP(8)));
    sizer->Add(buttons, wxSizerFlags().Expand().Border(wxLEFT | wxRIGHT | wxBOTTOM, FromDIP(8)));
    SetSizerAndFit(sizer);
    CentreOnParent();

    notebook->Bind(wxEVT_NOTEBOOK_PAGE_CHANGING, &CWatcherSettingsDlg::OnPageChanging, this);
    notebook->Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, &CWatcherSettingsDlg::OnPageChanged, this);
    Bind(wxEVT_BUTTON, &CWatcherSettingsDlg::OnOk, this, wxID_OK);
    Bind(wxEVT_BUTTON, &CWatcherSettingsDlg::OnApply, this, wxID_APPLY);
    Bind(wxEVT_BUTTON, &CWatcherSettingsDlg::OnHelp, this, wxID_HELP);
    Bind(wxEVT_BUTTON, &CWatcherSettingsDlg::OnPreview, this, CWatchPropPage::ID_PREVIEW);
    Bind(wxEVT_UPDATE_UI, &CWatcherSettingsDlg::OnUpdateApply, this, wxID_APPLY);
    Bind(EVT_PAGE_APPLIED, &CWatcherSettingsDlg::OnPageApplied, this);

    notebook->ChangeSelection(0);
    pages.front()->Initialise();
    UpdateCaption();
}

void CWatcherSettingsDlg::AddPage(CSettingsPage* page) {
    notebook->AddPage(page, wxString::FromUTF8(page->GetCaption()));
    pages.push_back(page);
}

int CWatcherSettingsDlg::ShowModal() {
    const int result = wxDialog::ShowModal();
    CheckViewer();
    return result == wxID_OK || applied ? wxID_OK : wxID_CANCEL;
}

void CWatcherSettingsDlg::UpdateCaption() {
    // The name as the Page page shows it: stored names need not be UTF-8.
    const std::string name = TextFromBytes(site.GetName()).utf8_string();
    SetTitle(wxString::FromUTF8(SheetCaption(title, name, defaultsMode)));
}

void CWatcherSettingsDlg::CheckViewer() {
    CWatcherSettings settings = site.GetSettings();
    CSiteServices& services = site.GetServices();
    services.LookUpDefaultBrowser();
    const unsigned question = ViewerQuestion(settings, services.GetDefaultBrowser());
    if (question == 0) return;
    // The sheet is closing: the question belongs to the window below it.
    if (GetPrompter().Ask(GetParent(), LoadString(question), PromptButtons::OkCancel) !=
        PromptAnswer::Ok)
        return;
    ApplyViewerAnswer(question, settings);
    site.SetSettings(settings);
    changedOnClose = true;
}

bool CWatcherSettingsDlg::SelectPage(std::size_t index) {
    if (index >= pages.size()) return false;
    // The toolkit turns back a refused change only after a click, not after
    // a change made here: the page being left is asked first.
    const int shown = notebook->GetSelection();
    if (shown >= 0 && static_cast<std::size_t>(shown) != index &&
        !pages[static_cast<std::size_t>(shown)]->ReadControls())
        return false;
    notebook->ChangeSelection(index);
    pages[index]->Initialise();
    return true;
}

bool CWatcherSettingsDlg::ApplyPages() {
    const int shown = notebook->GetSelection();
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (!pages[i]->IsInitialised()) continue;
        // A page that refuses says why with its own tab in view.
        notebook->ChangeSelection(i);
        if (!pages[i]->Apply()) return false;
    }
    notebook->ChangeSelection(static_cast<std::size_t>(shown));
    for (CSettingsPage* page : pages) page->SetModified(false);
    return true;
}

void CWatcherSettingsDlg::OnPageChanging(wxBookCtrlEvent& event) {
    const int leaving = event.GetOldSelection();
    if (leaving >= 0 && static_cast<std::size_t>(leaving) < pages.size() &&
        !pages[static_cast<std::size_t>(leaving)]->ReadControls())
        event.Veto();
}

void CWatcherSettingsDlg::OnPageChanged(wxBookCtrlEvent& event) {
    event.Skip();
    const int shown = event.GetSelection();
    if (shown >= 0 && static_cast<std::size_t>(shown) < pages.size())
        pages[static_cast<std::size_t>(shown)]->Initialise();
}

void CWatcherSettingsDlg::OnOk(wxCommandEvent&) {
    if (!ApplyPages()) return;
    if (IsModal()) {
        EndModal(wxID_OK);
    } else {
        Hide();
    }
}

void CWatcherSettingsDlg::OnApply(wxCommandEvent&) {
    ApplyPages();
}

void CWatcherSettingsDlg::OnHelp(wxCommandEvent&) {
    const int shown = notebook->GetSelection();
    ShowHelp(this, shown >= 0 ? pages[static_cast<std::size_t>(shown)]->GetHelpPage()
                              : "property-sheet.html");
}

void CWatcherSettingsDlg::OnPreview(wxCommandEvent&) {
    auto* watch = FindPage<CWatchPropPage>();
    auto* page = FindPage<CPagePropPage>();
    if (!watch || !page || !watch->ReadControls()) return;
    const std::string url = page->GetTypedUrl();
    if (url.empty()) {
        GetPrompter().Tell(this, LoadString(IDS_URL_EMPTY), true);
        return;
    }
    CWatcherSettings settings = site.GetSettings();
    if (auto* secure = FindPage<CSecurePropPage>()) secure->WriteCredentials(settings);
    watch->WriteTo(settings);
    CWatchPreviewDlg preview(this, url, settings, previewLimits, site.GetLearnedNoise());
    preview.ShowModal();
}

void CWatcherSettingsDlg::OnPageApplied(wxCommandEvent&) {
    applied = true;
    UpdateCaption();
}

void CWatcherSettingsDlg::OnUpdateApply(wxUpdateUIEvent& event) {
    bool modified = false;
    for (CSettingsPage* page : pages)
        modified = modified || (page->IsInitialised() && page->IsModified());
    event.Enable(modified);
}

}  // namespace tallyhawk
