#include "ui/UiStrings.h"

#include <mutex>
#include <utility>

#include "base/StringTable.h"

namespace tallyhawk {

namespace {

// Id and text; the prompts are "status line\ntooltip".
const std::pair<unsigned, const char*> kTexts[] = {
    {IDS_COLUMN_NAME, "Page Name"},
    {IDS_COLUMN_URL, "Web Page"},
    {IDS_COLUMN_STATUS, "Status"},
    {IDS_COLUMN_UPDATED, "Last Updated"},
    {IDS_STATUS_NEW, "New"},
    {IDS_STATUS_OUTDATED, "Outdated"},
    {IDS_STATUS_CURRENT, "Current"},
    {IDS_STATUS_UPDATING, "Updating"},
    {IDS_STATUS_MODIFIED, "Modified"},
    {IDS_CLIPBOARD_FORMAT, "Tallyhawk"},
    {IDS_CONFIRM_EXIT,
     "Are you sure that you want to exit?  If you exit, web watching will be unavailable."},
    {IDS_CONFIRM_REMOVE, "Are you sure  that you want to remove this page?"},
    {IDS_APP_TITLE, "Tallyhawk"},
    {IDS_READY, "Ready"},
    {IDS_MONITORING, "Monitoring"},
    {IDS_STATUS_DISABLED, "Disabled"},
    {IDS_NEVER, "Never"},
    {IDS_TRAY_EXIT, "&Exit"},
    {IDS_TRAY_RESTORE, "&Restore"},
    {IDS_TRAY_MINIMIZE, "&Minimize"},
    {IDS_TRAY_VIEW_ERRORS, "&View Errors"},
    {IDS_ERRORS_TEXT,
     "The folloing page(s) have exceeded their predetermined retry count and have been "
     "disabled.\n"},
    {IDS_TRAY_START, "&Start Monitoring"},
    {IDS_TRAY_STOP, "Stop &Monitoring"},
    {IDS_UNTITLED, "Untitled"},
    {IDS_ASK_TO_SAVE, "Save changes to %s?"},
    {IDS_OPEN_FAILED, "Cannot open %s: %s"},
    {IDS_PAGE_HAS_CHANGED, "%s has changed"},
    {IDS_FILE_FILTER, "Tallyhawk Files (*.wat)|*.wat|All Files (*)|*"},
    {IDS_LOG_FILTER, "Text Files (*.txt)|*.txt|All Files (*.*)|*.*"},
    {IDS_SAVE_FAILED, "Cannot save %s: %s"},
    {IDS_NOT_A_DOCUMENT, "%s is not a Tallyhawk document (*.wat)."},
    // Prompts of the program's own commands.
    {32771, "Adds a page to the list\nAdd Page"},
    {32773, "Removes a page from the list\nRemove Page"},
    {32774, "View a web page's properties\nPage Properties"},
    {32776, "Changes options\nOptions"},
    {32777, "Check the selected page for changes\nUpdate"},
    {32778, "Stop web watching\nStop watching"},
    {32780, "Start web watching\nStart watching"},
    {32781, "Saves the message log\nSave Messages"},
    {32782, "Clear the message log\nClear Log"},
    {32784, "Minimizes the window to the tray\nTray Minimize"},
    {32785, "Import a Bookmark or a Favorite from your browser\nImport Link"},
    {32786, "Browse the web page in the default browser\nBrowse Page"},
    {32788, "View changes to the selected page.\nView Changes"},
    {32789, "Dispalys online documentation\nHelp"},
    {32790, "Check the Internet for new versions of this product\nUpgrade Wizard"},
    // The standard commands' prompts.
    {57600, "Create a new document\nNew"},
    {57601, "Open an existing document\nOpen"},
    {57603, "Save the active document\nSave"},
    {57604, "Save the active document with a new name\nSave As"},
    {57616, "Open this document"},
    {57617, "Open this document"},
    {57618, "Open this document"},
    {57619, "Open this document"},
    {57634, "Copy the selection and put it on the Clipboard\nCopy"},
    {57635, "Cut the selection and put it on the Clipboard\nCut"},
    {57637, "Insert Clipboard contents\nPaste"},
    {57664, "Display program information, version number and copyright\nAbout"},
    {57665, "Quit the application; prompts to save documents\nExit"},
    {59392, "Show or hide the toolbar\nToggle ToolBar"},
    {59393, "Show or hide the status bar\nToggle StatusBar"},
};

}  // namespace

void RegisterUiStrings() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const auto& [id, text] : kTexts) {
            if (LoadString(id).empty()) RegisterStrings({{id, text}});
        }
    });
}

}  // namespace tallyhawk
