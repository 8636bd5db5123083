#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "dialogs/DialogStrings.h"
#include "dialogs/Prompter.h"
#include "dialogs/SettingsPages.h"
#include "dialogs/WatchRules.h"
#include "engine/WatchSite.h"

namespace tallyhawk {

namespace {

constexpr const char* kIntro =
    "Choose what a check compares on this page, and what it leaves out as noise.";
constexpr const char* kRegionHint = "CSS selector, e.g. main article, or XPath starting with /";
// Rows a list field shows without scrolling.
constexpr int kListRows = 4;

}  // namespace

CWatchPropPage::CWatchPropPage(wxWindow* parent, CWatchSite& site, bool withPreview)
    : CSettingsPage(parent, "What to Watch", "tab-what-to-watch.html"), site(site) {
    const CWatcherSettings settings = site.GetSettings();
    compare = settings.GetCompareWhat();
    learnNoise = settings.GetLearnNoise();
    ignoreRegions = settings.GetIgnoreRegions();
    ignoreText = settings.GetIgnoreText();
    regionText = CStoredText(settings.GetRegion());
    ignoreRegionsText = CStoredText(CWatcherSettings::JoinLines(ignoreRegions));
    ignoreTextText = CStoredText(CWatcherSettings::JoinLines(ignoreText));

    AddToColumn(Label(kIntro));
    AddColumnSpace();

    auto* compareRow = new wxBoxSizer(wxHORIZONTAL);
    compareRow->Add(Label("Compare:"), wxSizerFlags().CenterVertical().Border(wxRIGHT, 2 * Gap()));
    textRadio = new wxRadioButton(this, ID_COMPARE_TEXT, "The page's visible &text",
                                  wxDefaultPosition, wxDefaultSize, wxRB_GROUP);
    sourceRadio = new wxRadioButton(this, ID_COMPARE_SOURCE, "The page's &source (HTML)");
    compareRow->Add(textRadio, wxSizerFlags().CenterVertical().Border(wxRIGHT, 2 * Gap()));
    compareRow->Add(sourceRadio, wxSizerFlags().CenterVertical());
    AddToColumn(compareRow);
    AddColumnSpace();

    const wxSize listSize(FromDIP(440), GetCharHeight() * kListRows + FromDIP(12));
    AddToColumn(Label("&Region to watch:"));
    regionEdit = new wxTextCtrl(this, ID_REGION);
    regionEdit->SetHint(kRegionHint);
    AddToColumn(regionEdit, false, true);
    AddToColumn(Label("&Ignore regions (one selector a line):"));
    ignoreRegionsEdit = new wxTextCtrl(this, ID_IGNORE_REGIONS, wxEmptyString, wxDefaultPosition,
                                       listSize, wxTE_MULTILINE | wxHSCROLL);
    AddToColumn(ignoreRegionsEdit, false, true);
    AddToColumn(Label("Ignore te&xt (one regular expression a line):"));
    ignoreTextEdit = new wxTextCtrl(this, ID_IGNORE_TEXT, wxEmptyString, wxDefaultPosition,
                                    listSize, wxTE_MULTILINE | wxHSCROLL);
    AddToColumn(ignoreTextEdit, false, true);

    learnCheck = new wxCheckBox(this, ID_LEARN_NOISE, "&Learn what changes on its own");
    auto* lastRow = new wxBoxSizer(wxHORIZONTAL);
    lastRow->Add(learnCheck, wxSizerFlags(1).CenterVertical());
    if (withPreview) {
        // The click rises to the sheet, which knows the address as typed.
        lastRow->Add(new wxButton(this, ID_PREVIEW, "&Preview..."),
                     wxSizerFlags().CenterVertical());
    }
    AddColumnSpace();
    AddToColumn(lastRow, false, true);
    if (withPreview) {
        AddToColumn(Label("Learned so far (what the checks leave out):"));
        const wxSize learnedSize(FromDIP(440), GetCharHeight() * 3 + FromDIP(12));
        learnedList = new wxTextCtrl(this, ID_LEARNED, wxEmptyString, wxDefaultPosition, learnedSize,
                                     wxTE_MULTILINE | wxTE_READONLY | wxHSCROLL);
        AddToColumn(learnedList, false, true);
        forgetButton = new wxButton(this, ID_FORGET, "&Forget What Was Learned");
        AddToColumn(forgetButton);
        forgetButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent& event) {
            forget = true;
            ShowLearned();
            MarkModified(event);
        });
    }

    for (wxTextCtrl* edit : {regionEdit, ignoreRegionsEdit, ignoreTextEdit})
        edit->Bind(wxEVT_TEXT, &CWatchPropPage::MarkModified, this);
    for (wxRadioButton* radio : {textRadio, sourceRadio})
        radio->Bind(wxEVT_RADIOBUTTON, &CWatchPropPage::MarkModified, this);
    learnCheck->Bind(wxEVT_CHECKBOX, &CWatchPropPage::MarkModified, this);
}

void CWatchPropPage::OnInitPage() {
    (compare == CWatcherSettings::CompareText ? textRadio : sourceRadio)->SetValue(true);
    learnCheck->SetValue(learnNoise);
    regionText.Show(*regionEdit);
    ignoreRegionsText.Show(*ignoreRegionsEdit);
    ignoreTextText.Show(*ignoreTextEdit);
    forget = false;
    ShowLearned();
    SetModified(false);
}

void CWatchPropPage::ShowLearned() {
    if (!learnedList) return;
    std::string text;
    if (!forget) {
        for (const std::string& rule : site.GetLearnedNoise().Describe()) text += rule + "\n";
    }
    if (!text.empty()) text.pop_back();
    learnedList->ChangeValue(text.empty() ? wxString("Nothing yet.") : TextFromBytes(text));
    forgetButton->Enable(!text.empty());
}

std::vector<std::string> CWatchPropPage::Entries(const CStoredText& field,
                                                 const std::vector<std::string>& stored) {
    const std::string text = field.Read();
    if (text == CWatcherSettings::JoinLines(stored)) return stored;
    return EntriesFromField(text);
}

void CWatchPropPage::WriteTo(CWatcherSettings& settings) const {
    if (IsInitialised()) {
        settings.SetCompareWhat(textRadio->GetValue() ? CWatcherSettings::CompareText
                                                      : CWatcherSettings::CompareSource);
        settings.SetLearnNoise(learnCheck->GetValue());
    } else {
        settings.SetCompareWhat(compare);
        settings.SetLearnNoise(learnNoise);
    }
    settings.SetRegion(regionText.Read());
    settings.SetIgnoreRegions(Entries(ignoreRegionsText, ignoreRegions));
    settings.SetIgnoreText(Entries(ignoreTextText, ignoreText));
}

bool CWatchPropPage::ReadControls() {
    CWatcherSettings settings = site.GetSettings();
    WriteTo(settings);
    const auto problem = FindWatchProblem(settings);
    if (!problem) return true;
    wxTextCtrl* field = problem->field == WatchField::Region          ? regionEdit
                        : problem->field == WatchField::IgnoreRegions ? ignoreRegionsEdit
                                                                      : ignoreTextEdit;
    ReportFieldProblem(field, problem->message);
    if (field != regionEdit) {
        // The entry's own line, rather than the whole list.
        const long line = static_cast<long>(problem->line);
        const long start = field->XYToPosition(0, line);
        if (start >= 0) field->SetSelection(start, start + field->GetLineLength(line));
    }
    return false;
}

bool CWatchPropPage::Apply() {
    if (!ReadControls()) return false;
    CWatcherSettings settings = site.GetSettings();
    WriteTo(settings);
    site.SetSettings(settings);
    if (forget) site.SetLearnedNoise(CLearnedNoise());
    forget = false;
    ShowLearned();
    SetModified(false);
    SendApplied();
    return true;
}

}  // namespace tallyhawk
