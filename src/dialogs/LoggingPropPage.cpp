#include <wx/button.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "app/AppSettings.h"
#include "app/MessageLog.h"
#include "base/StringTable.h"
#include "dialogs/Prompter.h"
#include "dialogs/SettingsPages.h"
#include "dialogs/SheetRules.h"
#include "dialogs/SpinEdit.h"

namespace tallyhawk {

CLoggingPropPage::CLoggingPropPage(wxWindow* parent, CAppSettings& settings, CMessageLog* log)
    : CSettingsPage(parent, "Logging Properties", "tab-logging.html"),
      settings(settings),
      log(log) {
    disableRadio = new wxRadioButton(this, ID_DISABLE, "&Disable Logging", wxDefaultPosition,
                                     wxDefaultSize, wxRB_GROUP);
    enableRadio = new wxRadioButton(this, ID_ENABLE, "&Enable Logging");
    fileEdit = new wxTextCtrl(this, ID_LOG_FILE, wxEmptyString, wxDefaultPosition,
                              wxSize(FromDIP(300), -1));
    fileButton = new wxButton(this, ID_LOG_FILE_CHOOSE, "...", wxDefaultPosition,
                              wxSize(GetTextExtent("...").x + FromDIP(24), -1));
    linesEdit = new CSpinEdit(this, ID_MAXIMUM_LINES, 5);
    timeLimitEdit = new CSpinEdit(this, ID_TIME_LIMIT, 4);
    transfersEdit = new CSpinEdit(this, ID_TRANSFERS, 2);
    perServerEdit = new CSpinEdit(this, ID_TRANSFERS_PER_SERVER, 2);
    historyVersionsEdit = new CSpinEdit(this, ID_HISTORY_VERSIONS, 7);
    historyDaysEdit = new CSpinEdit(this, ID_HISTORY_DAYS, 5);

    auto* fields = new wxFlexGridSizer(2, Gap(), 2 * Gap());
    fields->AddGrowableCol(1);
    fields->Add(Label("Log &File"), wxSizerFlags().CenterVertical());
    auto* fileRow = new wxBoxSizer(wxHORIZONTAL);
    fileRow->Add(fileEdit, wxSizerFlags(1).CenterVertical());
    fileRow->Add(fileButton, wxSizerFlags().CenterVertical().Border(wxLEFT, Gap() / 2));
    fields->Add(fileRow, wxSizerFlags().Expand());
    fields->Add(Label("Maximum Lines in Log"), wxSizerFlags().CenterVertical());
    fields->Add(linesEdit->MakeSizer(), wxSizerFlags().CenterVertical());
    fields->Add(Label("Download &Time Limit (seconds)"), wxSizerFlags().CenterVertical());
    fields->Add(timeLimitEdit->MakeSizer(), wxSizerFlags().CenterVertical());
    fields->Add(Label("Pages Downloaded &at Once"), wxSizerFlags().CenterVertical());
    fields->Add(transfersEdit->MakeSizer(), wxSizerFlags().CenterVertical());
    fields->Add(Label("At Once from One &Server"), wxSizerFlags().CenterVertical());
    fields->Add(perServerEdit->MakeSizer(), wxSizerFlags().CenterVertical());
    fields->Add(Label("History: &Versions Kept per Page (0: all)"), wxSizerFlags().CenterVertical());
    fields->Add(historyVersionsEdit->MakeSizer(), wxSizerFlags().CenterVertical());
    fields->Add(Label("History: Days &Kept (0: no limit)"), wxSizerFlags().CenterVertical());
    fields->Add(historyDaysEdit->MakeSizer(), wxSizerFlags().CenterVertical());

    AddToColumn(disableRadio);
    AddToColumn(enableRadio);
    AddToColumn(fields, true, true);

    for (wxRadioButton* radio : {disableRadio, enableRadio})
        radio->Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) { ApplyEnableRule(); });
    for (wxTextCtrl* edit : {fileEdit, static_cast<wxTextCtrl*>(linesEdit)})
        edit->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { ApplyEnableRule(); });
    for (CSpinEdit* edit :
         {timeLimitEdit, transfersEdit, perServerEdit, historyVersionsEdit, historyDaysEdit})
        edit->Bind(wxEVT_TEXT, [this](wxCommandEvent&) { SetModified(); });
    fileButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ChooseLogFile(); });
}

void CLoggingPropPage::OnInitPage() {
    (settings.GetLoggingEnabled() ? enableRadio : disableRadio)->SetValue(true);
    ApplyEnableRule();
    linesEdit->SetRange(1, 1000);
    logFile = CStoredText(settings.GetLogFile());
    logFile.Show(*fileEdit);
    linesEdit->ChangeValue(wxString::Format("%d", settings.GetMaximumLines()));
    timeLimitEdit->SetRange(CAppSettings::kMinimumTimeLimit, CAppSettings::kMaximumTimeLimit);
    timeLimitEdit->ChangeValue(wxString::Format("%d", settings.GetTimeLimit()));
    for (CSpinEdit* edit : {transfersEdit, perServerEdit}) edit->SetRange(1, CAppSettings::kMaximumTransfers);
    transfersEdit->ChangeValue(wxString::Format("%d", settings.GetTransfers()));
    perServerEdit->ChangeValue(wxString::Format("%d", settings.GetTransfersPerServer()));
    historyVersionsEdit->SetRange(0, CAppSettings::kMaximumHistoryVersions);
    historyVersionsEdit->ChangeValue(wxString::Format("%d", settings.GetHistoryVersions()));
    historyDaysEdit->SetRange(0, CAppSettings::kMaximumHistoryDays);
    historyDaysEdit->ChangeValue(wxString::Format("%d", settings.GetHistoryDays()));
}

void CLoggingPropPage::ApplyEnableRule() {
    const bool enabled = enableRadio->GetValue();
    for (wxWindow* control : std::initializer_list<wxWindow*>{fileEdit, fileButton, linesEdit})
        control->Enable(enabled);
    SetModified();
}

void CLoggingPropPage::ChooseLogFile() {
    const std::string path = GetPrompter().ChooseFileToSave(wxGetTopLevelParent(this), "Save As",
                                                            {}, LoadString(IDS_LOG_FILE_FILTER));
    if (!path.empty()) fileEdit->SetValue(wxString::FromUTF8(WithDefaultExtension(path, ".txt")));
}

bool CLoggingPropPage::ReadControls() {
    // Any whole number: the arrows offer 1 to 1000, typing may go beyond.
    return linesEdit->ReadInteger(maximumLines) &&
           timeLimitEdit->ReadInteger(timeLimit, CIntRange{CAppSettings::kMinimumTimeLimit,
                                                           CAppSettings::kMaximumTimeLimit}) &&
           transfersEdit->ReadInteger(transfers, CIntRange{1, CAppSettings::kMaximumTransfers}) &&
           perServerEdit->ReadInteger(transfersPerServer,
                                      CIntRange{1, CAppSettings::kMaximumTransfers}) &&
           historyVersionsEdit->ReadInteger(historyVersions,
                                            CIntRange{0, CAppSettings::kMaximumHistoryVersions}) &&
           historyDaysEdit->ReadInteger(historyDays, CIntRange{0, CAppSettings::kMaximumHistoryDays});
}

bool CLoggingPropPage::Apply() {
    if (!ReadControls()) return false;
    settings.SetLoggingEnabled(enableRadio->GetValue());
    settings.SetLogFile(logFile.Read());
    settings.SetMaximumLines(maximumLines);
    settings.SetTimeLimit(timeLimit);
    settings.SetTransfers(transfers);
    settings.SetTransfersPerServer(transfersPerServer);
    settings.SetHistoryVersions(historyVersions);
    settings.SetHistoryDays(historyDays);
    // The open document's log follows at once.
    if (log) settings.ApplyTo(*log);
    SendApplied();
    return true;
}

}  // namespace tallyhawk
