// CTrayIcon: the notification-area icon with its tooltip and popup menu.
// The menu is built afresh each time it opens (TrayMenuItems), its page
// items mapped back to their pages, and every choice goes to the main window.
// A click opens the menu once the desktop's double-click time has passed
// without a second click, so that a double click shows or hides the window
// instead; a right click opens the menu at once. The tooltip is taken away
// while the menu is open, so that it never covers it.
// User-interface thread only.
#pragma once

#include <wx/taskbar.h>
#include <wx/timer.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

class wxMenu;

namespace tallyhawk {

class CMainFrame;

class CTrayIcon : public wxTaskBarIcon {
public:
    explicit CTrayIcon(CMainFrame& frame);
    ~CTrayIcon() override;

    // Shows the normal or the alert icon, with the tooltip "Tallyhawk", or
    // with the number of `changed` pages (TrayTooltip).
    void ShowIcon(bool alert, std::size_t changed = 0);
    bool IsAlertShown() const { return alertShown; }
    std::string GetTooltip() const { return tooltip; }
    // Whether a click's menu is waiting out the double-click time, or open.
    bool IsMenuPending() const { return clickTimer.IsRunning(); }
    bool IsMenuOpen() const { return menuOpen; }

    // The menu as it would open now, with its items' states set.
    std::unique_ptr<wxMenu> BuildMenu();
    // The page a menu item's toolkit id stands for in the menu built last, or -1.
    std::int32_t PageForId(int id) const;

protected:
    wxMenu* CreatePopupMenu() override;

private:
    void OnLeftDown(wxTaskBarIconEvent& event);
    void OnLeftDoubleClick(wxTaskBarIconEvent& event);
    void OpenMenu();
    // The menu item's text for the page at `index` named `name`.
    wxString PageLabel(wxString name, std::int32_t index) const;
    void ToggleWindow();
    // Sets the icon and the tooltip as they are meant to be now.
    void Apply();
    void OnMenu(wxCommandEvent& event);
    // Gives the toolkit back the ids it lent the last menu's page items.
    void ReleaseIds();

    CMainFrame& frame;
    bool alertShown = false;
    bool iconSet = false;
    bool menuOpen = false;
    std::string tooltip;
    wxTimer clickTimer;
    std::map<int, std::int32_t> pageIds;  // toolkit id -> page, of the menu built last
};

}  // namespace tallyhawk
