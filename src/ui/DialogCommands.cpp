#include "ui/DialogCommands.h"

#include <wx/artprov.h>

#include "app/TallyhawkDoc.h"

#include "dialogs/AboutDlg.h"
#include "dialogs/Art.h"
#include "dialogs/Help.h"
#include "dialogs/UpdatePageDlg.h"

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

void ShowManual(wxWindow* parent) { ShowHelp(parent); }

namespace {

wxBitmapBundle Theme(const wxArtID& id) {
    return wxArtProvider::GetBitmapBundle(id, wxART_TOOLBAR, wxSize(16, 16));
}

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
    case I::Add: return GetArt(ArtId::Add, wxSize(16, 16));
    case I::Remove: return GetArt(ArtId::Remove, wxSize(16, 16));
    case I::Properties: return GetArt(ArtId::Properties, wxSize(16, 16));
    case I::Update: return GetArt(ArtId::Update, wxSize(16, 16));
    case I::StartWatching: return GetArt(ArtId::StartWatching, wxSize(16, 16));
    case I::StopWatching: return GetArt(ArtId::StopWatching, wxSize(16, 16));
    case I::TrayMinimize: return GetArt(ArtId::TrayMinimize, wxSize(16, 16));
    case I::None: break;
    }
    return {};
}

wxBitmapBundle TrayArt(bool alert) {
    return GetArt(alert ? ArtId::AlertIcon : ArtId::ProgramIcon, wxSize(22, 22));
}

wxIconBundle ProgramIcons() { return GetProgramIcons(); }

}  // namespace tallyhawk
