#include "ui/DialogCommands.h"

#include <wx/artprov.h>

#include "app/TallyhawkDoc.h"
#include "base/Exception.h"
#include "base/StringTable.h"
#include "diff/ChangeDetector.h"
#include "engine/WatchSite.h"
#include "history/HistoryStore.h"

#include "dialogs/AboutDlg.h"
#include "dialogs/Art.h"
#include "dialogs/BookmarksDlg.h"
#include "dialogs/HistoryDlg.h"
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

namespace {

// The page's actions on its kept versions. The page is held, not its
// index: the list may change under a long look at the history.
CHistoryActions HistoryActionsFor(CTallyhawkDoc& doc, std::shared_ptr<CWatchSite> page) {
    CHistoryActions actions;
    actions.view = [page](const std::string& version) { page->ShowVersion(version); };
    actions.compare = [page](const std::string& older, const std::string& newer,
                             std::int32_t mode) {
        const std::optional<std::string> output = page->OutputBetween(older, newer, mode);
        if (!output) return false;
        // The browser gets an ".html" file, the text modes included, as
        // for the page's own changes.
        const std::string path = page->MakeTempFileName("html");
        CChangeDetector::SaveOutput(*output, path);
        page->OpenInBrowser("file://" + path);
        return true;
    };
    actions.makeAccepted = [&doc, page](std::int64_t versionId) {
        const std::int32_t index = doc.GetPageList().IndexOf(page.get());
        if (index < 0) throw CGenericException(LoadString(IDS_NO_SUCH_PAGE));
        doc.AcceptHistoryVersion(index, versionId);
        doc.SetModifiedFlag(true);
    };
    return actions;
}

}  // namespace

void ShowPageHistory(wxWindow* parent, CTallyhawkDoc& doc, std::int32_t index) {
    const std::shared_ptr<CWatchSite> page = doc.GetPageList().GetShared(index);
    if (!page) return;
    try {
        CHistoryStore* store = doc.GetHistory();
        if (!store) {
            const bool saved = !doc.GetPathName().empty();
            GetPrompter().Tell(parent, LoadString(saved ? IDS_HISTORY_UNAVAILABLE : IDS_HISTORY_NONE),
                               saved);
            return;
        }
        const CHistoryPage shown{doc.HistoryKey(index), page->GetName(),
                                 page->GetSettings().GetOutputMode(), page->GetLastUpdated()};
        CHistoryDlg dialog(parent, *store, shown, HistoryActionsFor(doc, page));
        dialog.ShowModal();
    } catch (const CException& error) {
        GetPrompter().Tell(parent, error.Message(), true);
    }
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
