#include "ui/TrayIcon.h"

#include <wx/menu.h>
#include <wx/windowid.h>

#include "base/StringTable.h"
#include "dialogs/DialogStrings.h"
#include "ui/CommandIds.h"
#include "ui/DialogCommands.h"
#include "ui/MainFrame.h"
#include "ui/TrayMenu.h"

namespace tallyhawk {

CTrayIcon::CTrayIcon(CMainFrame& frame) : frame(frame) {
    Bind(wxEVT_TASKBAR_LEFT_DOWN, &CTrayIcon::OnLeftDown, this);
    Bind(wxEVT_TASKBAR_LEFT_DCLICK, &CTrayIcon::OnLeftDoubleClick, this);
    Bind(wxEVT_MENU, &CTrayIcon::OnMenu, this);
}

CTrayIcon::~CTrayIcon() {
    ReleaseIds();
    if (iconSet) RemoveIcon();
}

void CTrayIcon::ReleaseIds() {
    for (const auto& [id, page] : pageIds) {
        if (id < 0) wxWindow::UnreserveControlId(id);
    }
    pageIds.clear();
}

void CTrayIcon::ShowIcon(bool alert) {
    if (iconSet && alert == alertShown) return;
    alertShown = alert;
    iconSet = SetIcon(TrayArt(alert), wxString::FromUTF8(LoadString(IDS_APP_TITLE)));
}

std::unique_ptr<wxMenu> CTrayIcon::BuildMenu() {
    auto menu = std::make_unique<wxMenu>();
    ReleaseIds();
    for (const CTrayMenuItem& item : TrayMenuItems(frame.ModifiedPages(), frame.HasErrors())) {
        if (item.id == 0) {
            menu->AppendSeparator();
            continue;
        }
        int id = item.id < 0 ? wxWindow::NewControlId() : ToolkitId(item.id);
        if (item.page >= 0) pageIds[id] = item.page;
        menu->Append(id, TextFromBytes(item.text));
    }
    menu->Enable(ToolkitId(ID_TRAY_MINIMIZE), frame.IsShown());
    menu->Enable(ToolkitId(ID_WATCH_STOP), frame.IsWatching());
    menu->Enable(ToolkitId(ID_WATCH_START), !frame.IsWatching());
    return menu;
}

std::int32_t CTrayIcon::PageForId(int id) const {
    auto it = pageIds.find(id);
    return it == pageIds.end() ? -1 : it->second;
}

wxMenu* CTrayIcon::CreatePopupMenu() { return BuildMenu().release(); }

void CTrayIcon::OnLeftDown(wxTaskBarIconEvent&) {
    std::unique_ptr<wxMenu> menu = BuildMenu();
    PopupMenu(menu.get());
}

void CTrayIcon::OnLeftDoubleClick(wxTaskBarIconEvent&) { frame.ShowWindow(!frame.IsShown()); }

void CTrayIcon::OnMenu(wxCommandEvent& event) {
    const int id = event.GetId();
    frame.OnTrayCommand(id < 0 ? 0 : CommandId(id), PageForId(id));
}

}  // namespace tallyhawk
