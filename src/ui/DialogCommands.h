// The main window's way into the program's dialogs and art.
#pragma once

#include <wx/bmpbndl.h>

#include <cstdint>
#include <vector>

#include "import/BookmarkItem.h"

#include "ui/CommandTable.h"

class wxWindow;

namespace tallyhawk {

class CAppSettings;
class CMessageLog;
class CTallyhawkDoc;
class CWatchSite;
struct CTimeLimits;

// How a property sheet on a page ended.
struct CSheetOutcome {
    bool accepted = false;     // OK, or a page applied before Cancel
    bool pageChanged = false;  // accepted, or the closing viewer question changed the page
};

// Checks the page at `index` in the Update Page dialog; true when it was
// checked and not canceled (the document is then modified).
bool RunUpdatePage(wxWindow* parent, CTallyhawkDoc& doc, std::int32_t index);
void ShowAbout(wxWindow* parent);
// The History window of the page at `index`, on the document's history:
// viewing a version opens it in the browser, comparing two writes the
// chosen output to a temporary file opened in the browser, and making one
// the accepted version goes through the document (which is then modified).
// A document without a history is told so.
void ShowPageHistory(wxWindow* parent, CTallyhawkDoc& doc, std::int32_t index);
// The Bookmarks & Favorites dialog: the links the user chose, in list
// order; none when the dialog was canceled.
std::vector<CBookmarkItem> ChooseLinks(wxWindow* parent);

// Runs the Upgrade Wizard; true when it handed a setup program to the
// desktop (the program then ends).
bool RunUpgradeWizard(wxWindow* parent);

// The property sheet on `site` (a page of the list, or a new one) with the
// title string `titleId`; its Preview downloads within `previewLimits`.
// Failures are reported and count as not accepted.
CSheetOutcome EditPageSettings(wxWindow* parent, unsigned titleId, CWatchSite& site,
                               const CTimeLimits& previewLimits);
// The defaults sheet on the default page, the program's log settings and
// the open document's log (may be null); true when accepted.
bool EditDefaultSettings(wxWindow* parent, CWatchSite& defaultPage, CAppSettings& settings,
                         CMessageLog* log);

// A toolbar button's image: the desktop theme's where one fits, else the
// program's own.
wxBitmapBundle ToolbarArt(ToolbarImage image);
// The tray icon: the normal one, or the alert one while flashing.
wxBitmapBundle TrayArt(bool alert);

}  // namespace tallyhawk
