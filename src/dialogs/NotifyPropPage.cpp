#include <wx/button.h>
#include <wx/checkbox.h>
#include <wx/textctrl.h>
#include <wx/utils.h>

#include "base/StringTable.h"
#include "dialogs/Prompter.h"
#include "dialogs/SettingsPages.h"
#include "dialogs/SheetRules.h"
#include "engine/WatchSite.h"

namespace tallyhawk {

namespace {

// The title of the desktop's Open chooser.
constexpr const char* kOpenTitle = "Open";

}  // namespace

CNotifyPropPage::CNotifyPropPage(wxWindow* parent, CWatchSite& site)
    : CSettingsPage(parent, "Notifications Properties", "tab-notifications.html"), site(site) {
    const CWatcherSettings settings = site.GetSettings();
    flags = settings.GetNotifyFlags();
    soundFile = CStoredText(settings.GetSoundFile());
    viewer = CStoredText(settings.GetViewer());

    playSound = new wxCheckBox(this, ID_PLAY_SOUND, "&Play Sound");
    soundEdit = new wxTextCtrl(this, ID_SOUND_FILE, wxEmptyString, wxDefaultPosition,
                               wxSize(FromDIP(300), -1));
    auto* soundButton = new wxButton(this, ID_SOUND_CHOOSE, "...", wxDefaultPosition,
                                     wxSize(GetTextExtent("...").x + FromDIP(24), -1));
    launchApplication = new wxCheckBox(this, ID_LAUNCH_APPLICATION, "Launch &Application");
    programEdit = new wxTextCtrl(this, ID_PROGRAM);
    auto* programButton =
        new wxButton(this, ID_PROGRAM_CHOOSE, "...", wxDefaultPosition, soundButton->GetSize());
    launchBrowser = new wxCheckBox(this, ID_LAUNCH_BROWSER, "&Launch Browser");
    flashTray = new wxCheckBox(this, ID_FLASH_TRAY, "&Flash Tray Icon");

    auto addPath = [&](wxCheckBox* check, wxTextCtrl* edit, wxButton* button) {
        AddToColumn(check);
        auto* row = new wxBoxSizer(wxHORIZONTAL);
        row->Add(edit, wxSizerFlags(1).CenterVertical());
        row->Add(button, wxSizerFlags().CenterVertical().Border(wxLEFT, Gap() / 2));
        AddToColumn(row, true, true);
        AddColumnSpace();
    };
    addPath(playSound, soundEdit, soundButton);
    addPath(launchApplication, programEdit, programButton);
    AddToColumn(launchBrowser);
    AddToColumn(flashTray);

    for (wxCheckBox* check : {playSound, launchApplication})
        check->Bind(wxEVT_CHECKBOX, [this](wxCommandEvent&) { ApplyEnableRule(); });
    for (wxCheckBox* check : {launchBrowser, flashTray})
        check->Bind(wxEVT_CHECKBOX, &CNotifyPropPage::MarkModified, this);
    for (wxTextCtrl* edit : {soundEdit, programEdit})
        edit->Bind(wxEVT_TEXT, &CNotifyPropPage::MarkModified, this);
    soundButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ChooseSound(); });
    programButton->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { ChooseProgram(); });
}

void CNotifyPropPage::OnInitPage() {
    playSound->SetValue((flags & NotifyPlaySound) != 0);
    launchApplication->SetValue((flags & NotifyLaunchApplication) != 0);
    flashTray->SetValue((flags & NotifyFlashTrayIcon) != 0);
    launchBrowser->SetValue((flags & NotifyLaunchBrowser) != 0);
    soundFile.Show(*soundEdit);
    viewer.Show(*programEdit);
    ApplyEnableRule();
}

void CNotifyPropPage::ApplyEnableRule() {
    // Only the fields: their "..." buttons stay, and fill them all the same.
    soundEdit->Enable(playSound->GetValue());
    programEdit->Enable(launchApplication->GetValue());
    SetModified();
}

void CNotifyPropPage::ChooseSound() {
    const std::string folder = ChooserFolder(kSoundFolder, wxGetHomeDir().utf8_string());
    const CChooserStart start = ChooserStartFor(soundEdit->GetValue().utf8_string(), folder);
    const std::string path = GetPrompter().ChooseFileToOpenIn(wxGetTopLevelParent(this), kOpenTitle,
                                                              LoadString(IDS_SOUND_FILTER),
                                                              start.folder, start.fileName);
    if (!path.empty()) soundEdit->SetValue(wxString::FromUTF8(path));
}

void CNotifyPropPage::ChooseProgram() {
    const CChooserStart start =
        ChooserStartFor(programEdit->GetValue().utf8_string(), kProgramFolder);
    const std::string path = GetPrompter().ChooseFileToOpenIn(wxGetTopLevelParent(this), kOpenTitle,
                                                              LoadString(IDS_PROGRAM_FILTER),
                                                              start.folder, start.fileName);
    if (!path.empty()) programEdit->SetValue(wxString::FromUTF8(path));
}

bool CNotifyPropPage::Apply() {
    flags = NotifyFlagsFromChecks(playSound->GetValue(), launchApplication->GetValue(),
                                  flashTray->GetValue(), launchBrowser->GetValue());
    CWatcherSettings settings = site.GetSettings();
    settings.SetSoundFile(soundFile.Read());
    settings.SetNotifyFlags(flags);
    settings.SetViewer(viewer.Read());
    site.SetSettings(settings);
    SendApplied();
    return true;
}

}  // namespace tallyhawk
