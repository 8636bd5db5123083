#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/radiobut.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "dialogs/IntervalCtrl.h"
#include "dialogs/SettingsPages.h"
#include "dialogs/SheetRules.h"
#include "dialogs/SpinEdit.h"
#include "dialogs/TimeDlg.h"
#include "dialogs/TimeRules.h"
#include "engine/LocalTime.h"
#include "engine/WatchSite.h"

namespace tallyhawk {

namespace {

constexpr CIntRange kRetryRange{0, 9};
constexpr const char* kDayNames[] = {"&Monday", "&Tuesday",  "&Wednesday", "&Thursday",
                                     "&Friday", "&Saturday", "S&unday"};

std::string ShownTime(std::int64_t seconds) {
    const std::tm local = ToLocal(seconds);
    return FormatClockTime(local.tm_hour, local.tm_min);
}

}  // namespace

CUpdatePropPage::CUpdatePropPage(wxWindow* parent, CWatchSite& site)
    : CSettingsPage(parent, "Update Properties", "tab-update.html"), site(site) {
    alwaysRadio = new wxRadioButton(this, ID_ALWAYS, "&Always Update", wxDefaultPosition,
                                    wxDefaultSize, wxRB_GROUP);
    periodicRadio = new wxRadioButton(this, ID_PERIODIC, "&Periodic Update");
    beginLabel = Label("Begin", ID_BEGIN_LABEL);
    endLabel = Label("End", ID_END_LABEL);
    const wxSize timeSize(GetTextExtent("00:00AM").x + FromDIP(24), -1);
    beginEdit = new wxTextCtrl(this, ID_BEGIN, wxEmptyString, wxDefaultPosition, timeSize,
                               wxTE_READONLY | wxTE_CENTRE);
    endEdit = new wxTextCtrl(this, ID_END, wxEmptyString, wxDefaultPosition, timeSize,
                             wxTE_READONLY | wxTE_CENTRE);
    const wxSize chooserSize(GetTextExtent("...").x + FromDIP(24), -1);
    beginButton = new wxButton(this, ID_BEGIN_CHOOSE, "...", wxDefaultPosition, chooserSize);
    endButton = new wxButton(this, ID_END_CHOOSE, "...", wxDefaultPosition, chooserSize);
    interval = new CIntervalCtrl(this, ID_INTERVAL);
    retryEdit = new CSpinEdit(this, ID_RETRY, 2);

    auto* window = new wxBoxSizer(wxHORIZONTAL);
    window->Add(beginLabel, wxSizerFlags().CenterVertical().Border(wxRIGHT, Gap()));
    window->Add(beginEdit, wxSizerFlags().CenterVertical());
    window->Add(beginButton, wxSizerFlags().CenterVertical().Border(wxLEFT, Gap() / 2));
    window->AddSpacer(2 * Indent());
    window->Add(endLabel, wxSizerFlags().CenterVertical().Border(wxRIGHT, Gap()));
    window->Add(endEdit, wxSizerFlags().CenterVertical());
    window->Add(endButton, wxSizerFlags().CenterVertical().Border(wxLEFT, Gap() / 2));

    auto* numbers = new wxFlexGridSizer(2, Gap(), 2 * Gap());
    numbers->Add(Label("Update Interval (HH:MM:SS)"), wxSizerFlags().CenterVertical());
    numbers->Add(interval, wxSizerFlags().CenterVertical());
    numbers->Add(Label("Times to Retry"), wxSizerFlags().CenterVertical());
    numbers->Add(retryEdit->MakeSizer(), wxSizerFlags().CenterVertical());

    auto* days = new wxStaticBoxSizer(wxVERTICAL, this, "Days to do Updates");
    auto* dayGrid = new wxGridSizer(4, Gap(), 2 * Gap());
    for (std::size_t i = 0; i < dayChecks.size(); ++i) {
        dayChecks[i] = new wxCheckBox(days->GetStaticBox(), kDayIds[i], kDayNames[i]);
        dayGrid->Add(dayChecks[i]);
        dayChecks[i]->Bind(wxEVT_CHECKBOX, &CUpdatePropPage::MarkModified, this);
    }
    days->Add(dayGrid, wxSizerFlags().Expand().Border(wxALL, Gap()));

    AddToColumn(alwaysRadio);
    AddToColumn(periodicRadio);
    AddToColumn(window, true);
    AddColumnSpace();
    AddToColumn(numbers);
    AddColumnSpace();
    AddToColumn(days, false, true);

    for (wxRadioButton* radio : {alwaysRadio, periodicRadio}) {
        radio->Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) {
            ApplyEnableRule();
            SetModified();
        });
    }
    beginButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ChooseTime(true); });
    endButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ChooseTime(false); });
    retryEdit->Bind(wxEVT_TEXT, &CUpdatePropPage::MarkModified, this);
    interval->Bind(EVT_INTERVAL_CHANGED, &CUpdatePropPage::MarkModified, this);
}

void CUpdatePropPage::OnInitPage() {
    retryEdit->SetRange(kRetryRange.lower, kRetryRange.upper);
    retryEdit->SetMaxLength(1);
    const CWatcherSettings settings = site.GetSettings();
    retryCount = settings.GetRetryCount();
    beginTime = settings.GetBeginTime();
    endTime = settings.GetEndTime();
    (settings.GetAlwaysUpdate() ? alwaysRadio : periodicRadio)->SetValue(true);
    ApplyEnableRule();
    // Apply is there as soon as this page has been seen.
    SetModified();
    beginEdit->ChangeValue(wxString::FromUTF8(ShownTime(beginTime)));
    endEdit->ChangeValue(wxString::FromUTF8(ShownTime(endTime)));
    interval->SetTime(SplitInterval(settings.GetInterval()));
    const auto checks = DayChecks(settings.GetDays());
    for (std::size_t i = 0; i < dayChecks.size(); ++i) dayChecks[i]->SetValue(checks[i]);
    retryEdit->ChangeValue(wxString::Format("%d", retryCount));
}

void CUpdatePropPage::ApplyEnableRule() {
    const bool periodic = !alwaysRadio->GetValue();
    for (wxWindow* control :
         std::initializer_list<wxWindow*>{beginLabel, endLabel, beginButton, endButton})
        control->Enable(periodic);
}

void CUpdatePropPage::ChooseTime(bool begin) {
    std::int64_t& time = begin ? beginTime : endTime;
    const std::tm local = ToLocal(time);
    CTimeDlg dialog(wxGetTopLevelParent(this));
    dialog.Set(local.tm_hour, local.tm_min, 0);
    if (dialog.ShowModal() != wxID_OK) return;
    int hour = 0, minute = 0, second = 0;
    dialog.Get(hour, minute, second);
    time = TimeOnFirstOfJanuary1970(hour, minute, second);
    (begin ? beginEdit : endEdit)->ChangeValue(wxString::FromUTF8(ShownTime(time)));
    SetModified();
}

bool CUpdatePropPage::ReadControls() {
    // A bad interval is reported by the control; it fails the page too, so
    // that what the user sees is never silently replaced by the old value.
    CHms checked;
    if (!interval->ReadTime(checked)) return false;
    return retryEdit->ReadInteger(retryCount, kRetryRange);
}

bool CUpdatePropPage::Apply() {
    if (!ReadControls()) return false;
    CWatcherSettings settings = site.GetSettings();
    settings.SetInterval(JoinInterval(interval->GetTime()));
    settings.SetAlwaysUpdate(alwaysRadio->GetValue());
    settings.SetRetryCount(retryCount);
    settings.SetBeginTime(beginTime);
    settings.SetEndTime(endTime);
    std::array<bool, 7> checks{};
    for (std::size_t i = 0; i < dayChecks.size(); ++i) checks[i] = dayChecks[i]->GetValue();
    settings.SetDays(DaysFromChecks(checks));
    site.SetSettings(settings);
    SetModified(false);
    SendApplied();
    return true;
}

}  // namespace tallyhawk
