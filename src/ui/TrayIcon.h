// CTrayIcon: the notification-area icon with its tooltip and popup menu.
// The menu is built afresh each time it opens (TrayMenuItems), its page
// items mapped back to their pages, and every choice goes to the main window.
// User-interface thread only.
#pragma once

#include <wx/taskbar.h>

#include <cstdint>
#include <map>
#include <memory>

class wxMenu;

namespace tallyhawk {

class CMainFrame;

class CTrayIcon : public wxTaskBarIcon {
public:
    explicit CTrayIcon(CMainFrame& frame);
    ~CTrayIcon() override;

    // Shows the normal or the alert icon, with the tooltip "Tallyhawk".
    void ShowIcon(bool alert);
    bool IsAlertShown() const { return alertShown; }

    // The menu as it would open now, with its items' states set.
    std::unique_ptr<wxMenu> BuildMenu();
    // The page a menu item's toolkit id stands for in the menu built last, or -1.
    std::int32_t PageForId(int id) const;

protected:
    wxMenu* CreatePopupMenu() override;

private:
    void OnLeftDown(wxTaskBarIconEvent& event);
    void OnLeftDoubleClick(wxTaskBarIconEvent& event);
    void OnMenu(wxCommandEvent& event);
    // Gives the toolkit back the ids it lent the last menu's page items.
    void ReleaseIds();

    CMainFrame& frame;
    bool alertShown = false;
    bool iconSet = false;
    std::map<int, std::int32_t> pageIds;  // toolkit id -> page, of the menu built last
};

}  // namespace tallyhawk
