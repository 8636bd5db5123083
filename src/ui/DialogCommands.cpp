#include "ui/DialogCommands.h"

#include <wx/artprov.h>

#include "app/TallyhawkDoc.h"

#if __has_include("dialogs/UpdatePageDlg.h")
#define TALLYHAWK_HAVE_DIALOGS 1
#include "dialogs/AboutDlg.h"
#include "dialogs/Art.h"
#include "dialogs/Help.h"
#include "dialogs/UpdatePageDlg.h"
#else
#define TALLYHAWK_HAVE_DIALOGS 0
#endif

namespace tallyhawk {

bool RunUpdatePage(wxWindow* parent, CTallyhawkDoc& doc, std::int32_t index) {
    std::unique_ptr<CPageCheck> check = doc.MakePageCheck(index);
    if (!check) return false;
#if TALLYHAWK_HAVE_DIALOGS
    CUpdatePageDlg dialog(parent, *check);
    const bool ok = dialog.ShowModal() == wxID_OK;
    if (ok) doc.SetModifiedFlag(true);
    return ok;
#else
    (void)parent;
    return doc.UpdatePage(*check) == IDOK;
#endif
}

void ShowAbout(wxWindow* parent) {
#if TALLYHAWK_HAVE_DIALOGS
    CAboutDlg dialog(parent);
    dialog.ShowModal();
#else
    (void)parent;
#endif
}

void ShowManual(wxWindow* parent) {
#if TALLYHAWK_HAVE_DIALOGS
    ShowHelp(parent);
#else
    (void)parent;
#endif
}

bool HasAbout() { return TALLYHAWK_HAVE_DIALOGS; }
bool HasManual() { return TALLYHAWK_HAVE_DIALOGS; }

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
#if TALLYHAWK_HAVE_DIALOGS
    case I::Add: return GetArt(ArtId::Add, wxSize(16, 16));
    case I::Remove: return GetArt(ArtId::Remove, wxSize(16, 16));
    case I::Properties: return GetArt(ArtId::Properties, wxSize(16, 16));
    case I::Update: return GetArt(ArtId::Update, wxSize(16, 16));
    case I::StartWatching: return GetArt(ArtId::StartWatching, wxSize(16, 16));
    case I::StopWatching: return GetArt(ArtId::StopWatching, wxSize(16, 16));
    case I::TrayMinimize: return GetArt(ArtId::TrayMinimize, wxSize(16, 16));
#else
    case I::Add: return Theme(wxART_PLUS);
    case I::Remove: return Theme(wxART_MINUS);
    case I::Properties: return Theme(wxART_REPORT_VIEW);
    case I::Update: return Theme(wxART_REDO);
    case I::StartWatching: return Theme(wxART_GO_FORWARD);
    case I::StopWatching: return Theme(wxART_CROSS_MARK);
    case I::TrayMinimize: return Theme(wxART_GO_DOWN);
#endif
    case I::None: break;
    }
    return {};
}

wxBitmapBundle TrayArt(bool alert) {
#if TALLYHAWK_HAVE_DIALOGS
    return GetArt(alert ? ArtId::AlertIcon : ArtId::ProgramIcon, wxSize(22, 22));
#else
    return wxArtProvider::GetBitmapBundle(alert ? wxART_WARNING : wxART_INFORMATION,
                                          wxART_OTHER, wxSize(22, 22));
#endif
}

wxBitmapBundle ProgramArt() { return TrayArt(false); }

}  // namespace tallyhawk
