// The main window's way into the program's dialogs and art.
#pragma once

#include <wx/bmpbndl.h>

#include <cstdint>
#include <vector>

#include "import/BookmarkItem.h"

#include "ui/CommandTable.h"

class wxWindow;

namespace tallyhawk {

class CTallyhawkDoc;

// Checks the page at `index` in the Update Page dialog; true when it was
// checked and not canceled (the document is then modified).
bool RunUpdatePage(wxWindow* parent, CTallyhawkDoc& doc, std::int32_t index);
void ShowAbout(wxWindow* parent);
// The Bookmarks & Favorites dialog: the links the user chose, in list
// order; none when the dialog was canceled.
std::vector<CBookmarkItem> ChooseLinks(wxWindow* parent);

// Runs the Upgrade Wizard; true when it handed a setup program to the
// desktop (the program then ends).
bool RunUpgradeWizard(wxWindow* parent);

// A toolbar button's image: the desktop theme's where one fits, else the
// program's own.
wxBitmapBundle ToolbarArt(ToolbarImage image);
// The tray icon: the normal one, or the alert one while flashing.
wxBitmapBundle TrayArt(bool alert);

}  // namespace tallyhawk
