#include "ui/TrayIcon.h"

#include <wx/menu.h>
#include <wx/settings.h>
#include <wx/windowid.h>


#include "app/TallyhawkDoc.h"
#include "base/StringTable.h"
#include "dialogs/DialogStrings.h"
#include "ui/CommandIds.h"
#include "ui/DialogCommands.h"
#include "ui/MainFrame.h"
#include "ui/TrayMenu.h"
#include "ui/X11Errors.h"

namespace tallyhawk {

namespace {

// Where the desktop does not say how long a double click may take.
constexpr int kDoubleClickFallback = 400;


}  // namespace

CTrayIcon::CTrayIcon(CMainFrame& frame) : frame(frame), clickTimer(this) {
    TolerateVanishedTrayWindows();
    Bind(wxEVT_TASKBAR_LEFT_DOWN, &CTrayIcon::OnLeftDown, this);
    Bind(wxEVT_TIMER, [this](wxTimerEvent&) { OpenMenu(); }, clickTimer.GetId());
    Bind(wxEVT_TASKBAR_LEFT_DCLICK, &CTrayIcon::OnLeftDoubleClick, this);
    Bind(wxEVT_MENU, &CTrayIcon::OnMenu, this);
}

CTrayIcon::~CTrayIcon() {
    clickTimer.Stop();
    ReleaseIds();
    if (iconSet) RemoveIcon();
}

void CTrayIcon::ReleaseIds() {
    for (const auto& [id, page] : pageIds) {
        if (id < 0) wxWindow::UnreserveControlId(id);
    }
    pageIds.clear();
}

void CTrayIcon::ShowIcon(bool alert, std::size_t changed) {
    std::string text = TrayTooltip(changed);
    if (iconSet && alert == alertShown && text == tooltip) return;
    alertShown = alert;
    tooltip = std::move(text);
    Apply();
}

void CTrayIcon::Apply() {
    iconSet = SetIcon(TrayArt(alertShown), menuOpen ? wxString() : wxString::FromUTF8(tooltip));
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
        wxString label = TextFromBytes(item.text);
        if (item.page >= 0) {
            pageIds[id] = item.page;
            label = PageLabel(label, item.page);
        }
        menu->Append(id, label);
    }
    menu->Enable(ToolkitId(ID_TRAY_MINIMIZE), frame.IsShown());
    menu->Enable(ToolkitId(ID_WATCH_STOP), frame.IsWatching());
    menu->Enable(ToolkitId(ID_WATCH_START), !frame.IsWatching());
    return menu;
}

wxString CTrayIcon::PageLabel(wxString name, std::int32_t index) const {
    // A document may hold a page without a name (the toolkit refuses an
    // empty item): its address stands in.
    if (name.Strip(wxString::both).empty()) {
        if (CWatchSite* page = frame.GetDocument().GetPageList().GetAt(index))
            name = TextFromBytes(page->GetUrl());
        if (name.Strip(wxString::both).empty()) name = "?";
    }
    // A name's "&" is its own, not the mark of a menu key.
    name.Replace("&", "&&");
    return name;
}

std::int32_t CTrayIcon::PageForId(int id) const {
    auto it = pageIds.find(id);
    return it == pageIds.end() ? -1 : it->second;
}

wxMenu* CTrayIcon::CreatePopupMenu() {
    // The right button's menu: the toolkit shows it at once.
    clickTimer.Stop();
    return BuildMenu().release();
}

void CTrayIcon::OnLeftDown(wxTaskBarIconEvent&) {
    // The desktop's tray reports each click of a double click as a click of
    // its own: a second one within the double-click time makes it one.
    if (clickTimer.IsRunning()) {
        ToggleWindow();
        return;
    }
    // A menu opened at the first click would take the second one.
    const int pause = wxSystemSettings::GetMetric(wxSYS_DCLICK_MSEC);
    clickTimer.StartOnce(pause > 0 ? pause : kDoubleClickFallback);
}

void CTrayIcon::OnLeftDoubleClick(wxTaskBarIconEvent&) {
    // Where the tray reports double clicks itself, its first click came too.
    if (clickTimer.IsRunning()) ToggleWindow();
}

void CTrayIcon::ToggleWindow() {
    clickTimer.Stop();
    frame.ShowWindow(!frame.IsShown());
}

void CTrayIcon::OpenMenu() {
    if (menuOpen) return;
    std::unique_ptr<wxMenu> menu = BuildMenu();
    menuOpen = true;
    Apply();
    PopupMenu(menu.get());
    menuOpen = false;
    Apply();
}

void CTrayIcon::OnMenu(wxCommandEvent& event) {
    const int id = event.GetId();
    frame.OnTrayCommand(id < 0 ? 0 : CommandId(id), PageForId(id));
}

}  // namespace tallyhawk
