#include "ui/DialogCommands.h"

#include <wx/artprov.h>

#include "app/TallyhawkDoc.h"
#include "base/Exception.h"
#include "base/StringTable.h"

#include "dialogs/AboutDlg.h"
#include "dialogs/Art.h"
#include "dialogs/BookmarksDlg.h"
#include "dialogs/Prompter.h"
#include "dialogs/UpdatePageDlg.h"
#include "dialogs/UpgradeWizardDlg.h"
#include "dialogs/WatcherSettingsDlg.h"

namespace tallyhawk {

bool RunUpdatePage(wxWindow* parent, CTallyhawkDoc& doc, std::int32_t index) {
    std::unique_ptr<CPageCheck> check = doc.MakePageCheck(index);
    if (!check) return false;
    CUpdatePageDlg dialog(parent, *check);
    const bool ok = dialog.ShowModal() == wxID_OK;
    if (ok) doc.SetModifiedFlag(true);
    return ok;
}

void ShowAbout(wxWindow* parent) {
    CAboutDlg dialog(parent);
    dialog.ShowModal();
}

std::vector<CBookmarkItem> ChooseLinks(wxWindow* parent) {
    CBookmarksDlg dialog(parent);
    if (dialog.ShowModal() != wxID_OK) return {};
    return dialog.GetSelection();
}

bool RunUpgradeWizard(wxWindow* parent) {
    CUpgradeWizardDlg wizard(parent);
    return wizard.ShowModal() == wxID_OK;
}

CSheetOutcome EditPageSettings(wxWindow* parent, unsigned titleId, CWatchSite& site,
                               const CTimeLimits& previewLimits) {
    try {
        CWatcherSettingsDlg sheet(parent, LoadString(titleId), site, false);
        sheet.SetPreviewTimeLimits(previewLimits);
        const bool accepted = sheet.ShowModal() == wxID_OK;
        return {accepted, accepted || sheet.IsChangedOnClose()};
    } catch (const CException& error) {
        GetPrompter().Tell(parent, error.Message(), true);
        return {};
    }
}

bool EditDefaultSettings(wxWindow* parent, CWatchSite& defaultPage, CAppSettings& settings,
                         CMessageLog* log) {
    try {
        const CLogSettingsTarget logging{settings, log};
        CWatcherSettingsDlg sheet(parent, LoadString(IDS_SHEET_DEFAULTS), defaultPage, true,
                                  &logging);
        return sheet.ShowModal() == wxID_OK;
    } catch (const CException& error) {
        GetPrompter().Tell(parent, error.Message(), true);
        return false;
    }
}

namespace {

const wxSize kToolbarSize(16, 16);

wxBitmapBundle Theme(const wxArtID& id) {
    return wxArtProvider::GetBitmapBundle(id, wxART_TOOLBAR, kToolbarSize);
}
wxBitmapBundle Own(ArtId id) { return GetArt(id, kToolbarSize); }

}  // namespace

wxBitmapBundle ToolbarArt(ToolbarImage image) {
    using I = ToolbarImage;
    switch (image) {
    case I::New: return Theme(wxART_NEW);
    case I::Open: return Theme(wxART_FILE_OPEN);
    case I::Save: return Theme(wxART_FILE_SAVE);
    case I::Cut: return Theme(wxART_CUT);
    case I::Copy: return Theme(wxART_COPY);
    case I::Paste: return Theme(wxART_PASTE);
    case I::Help: return Theme(wxART_HELP);
    case I::Add: return Own(ArtId::Add);
    case I::Remove: return Own(ArtId::Remove);
    case I::Properties: return Own(ArtId::Properties);
    case I::Update: return Own(ArtId::Update);
    case I::StartWatching: return Own(ArtId::StartWatching);
    case I::StopWatching: return Own(ArtId::StopWatching);
    case I::TrayMinimize: return Own(ArtId::TrayMinimize);
    case I::None: break;
    }
    return {};
}

wxBitmapBundle TrayArt(bool alert) {
    return GetArt(alert ? ArtId::AlertIcon : ArtId::ProgramIcon, wxSize(22, 22));
}

}  // namespace tallyhawk
