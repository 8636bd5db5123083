#include <wx/button.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>

#include "dialogs/Prompter.h"
#include "dialogs/SettingsPages.h"
#include "dialogs/SheetRules.h"
#include "engine/WatchSite.h"

namespace tallyhawk {

namespace {

wxColour ToColour(std::uint32_t color) {
    const auto rgb = ColorToRgb(color);
    return wxColour(rgb[0], rgb[1], rgb[2]);
}

}  // namespace

COutputPropPage::COutputPropPage(wxWindow* parent, CWatchSite& site)
    : CSettingsPage(parent, "Output Properties", "tab-output.html"), site(site) {
    for (std::size_t i = 0; i < modeRadios.size(); ++i) {
        modeRadios[i] = new wxRadioButton(this, kModeIds[i], kOutputModeNames[i], wxDefaultPosition,
                                          wxDefaultSize, i == 0 ? wxRB_GROUP : 0);
        AddToColumn(modeRadios[i]);
        modeRadios[i]->Bind(wxEVT_RADIOBUTTON, [this](wxCommandEvent&) { ApplyEnableRule(); });
    }
    noModeRadio = new wxRadioButton(this, wxID_ANY, wxEmptyString);
    noModeRadio->Hide();

    colorLabel = Label("Highlight Color", ID_COLOR_LABEL);
    swatch = new wxWindow(this, ID_SWATCH, wxDefaultPosition,
                          wxSize(FromDIP(48), colorLabel->GetBestSize().y + FromDIP(8)),
                          wxBORDER_SUNKEN);
    colorButton = new wxButton(this, ID_COLOR_CHOOSE, "...", wxDefaultPosition,
                               wxSize(GetTextExtent("...").x + FromDIP(24), -1));
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(colorLabel, wxSizerFlags().CenterVertical().Border(wxRIGHT, Gap()));
    row->Add(swatch, wxSizerFlags().CenterVertical());
    row->Add(colorButton, wxSizerFlags().CenterVertical().Border(wxLEFT, Gap()));
    AddToColumn(row, true);

    colorButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ChooseColor(); });
}

void COutputPropPage::OnInitPage() {
    const CWatcherSettings settings = site.GetSettings();
    color = settings.GetHighlightColor();
    swatch->SetBackgroundColour(ToColour(color));
    if (const auto button = OutputButtonFor(settings.GetOutputMode())) {
        modeRadios[static_cast<std::size_t>(*button)]->SetValue(true);
    } else {
        noModeRadio->SetValue(true);
    }
    ApplyEnableRule();
    SetModified(false);
}

void COutputPropPage::ApplyEnableRule() {
    const bool highlighted = modeRadios[HighlightedHtml]->GetValue();
    for (wxWindow* control : std::initializer_list<wxWindow*>{colorLabel, swatch, colorButton})
        control->Enable(highlighted);
    SetModified();
}

void COutputPropPage::ChooseColor() {
    const auto chosen = GetPrompter().ChooseColor(wxGetTopLevelParent(this), color);
    if (!chosen) return;
    color = *chosen;
    swatch->SetBackgroundColour(ToColour(color));
    swatch->Refresh();
    SetModified();
}

bool COutputPropPage::Apply() {
    std::array<bool, 5> checked{};
    for (std::size_t i = 0; i < modeRadios.size(); ++i) checked[i] = modeRadios[i]->GetValue();
    CWatcherSettings settings = site.GetSettings();
    settings.SetOutputMode(OutputModeFromButtons(checked));
    settings.SetHighlightColor(color);
    site.SetSettings(settings);
    SendApplied();
    return true;
}

}  // namespace tallyhawk
