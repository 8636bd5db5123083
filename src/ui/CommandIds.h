// The desktop program's command ids. The numbers are the program's own (the
// Windows build uses the same, as unsigned 16-bit ids). The toolkit takes
// menu and tool ids below 0x7FFF only, so windows carry ToolkitId(id), the
// id less 0x8000, and handlers turn it back with CommandId; no command's
// toolkit id may fall into the toolkit's range of stock ids.
#pragma once

#include <wx/defs.h>

namespace tallyhawk {

// File
inline constexpr int ID_FILE_NEW = 57600;
inline constexpr int ID_FILE_OPEN = 57601;
inline constexpr int ID_FILE_SAVE = 57603;
inline constexpr int ID_FILE_SAVE_AS = 57604;
inline constexpr int ID_FILE_PRINT = 57607;
inline constexpr int ID_FILE_MRU_FILE1 = 57616;  // the recent files take 57616 to 57619
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_APP_ABOUT = 57664;
// Edit
inline constexpr int ID_EDIT_COPY = 57634;
inline constexpr int ID_EDIT_CUT = 57635;
inline constexpr int ID_EDIT_PASTE = 57637;
inline constexpr int ID_EDIT_UNDO = 57643;
inline constexpr int ID_NEXT_PANE = 57680;
inline constexpr int ID_PREV_PANE = 57681;
// Page
inline constexpr int ID_PAGE_ADD = 32771;
inline constexpr int ID_PAGE_REMOVE = 32773;
inline constexpr int ID_PAGE_PROPERTIES = 32774;
inline constexpr int ID_PAGE_UPDATE = 32777;
inline constexpr int ID_PAGE_IMPORT = 32785;
inline constexpr int ID_PAGE_BROWSE = 32786;
inline constexpr int ID_PAGE_VIEW_CHANGES = 32788;
inline constexpr int ID_PAGE_HISTORY = 32791;
inline constexpr int ID_WATCH_STOP = 32778;
inline constexpr int ID_WATCH_START = 32780;
// View
inline constexpr int ID_VIEW_TOOLBAR = 59392;
inline constexpr int ID_VIEW_STATUS_BAR = 59393;
inline constexpr int ID_VIEW_TRAY_MINIMIZE = 32784;
// Tools and Help
inline constexpr int ID_TOOLS_OPTIONS = 32776;
inline constexpr int ID_LOG_SAVE = 32781;
inline constexpr int ID_LOG_CLEAR = 32782;
inline constexpr int ID_TOOLS_UPGRADE = 32790;
inline constexpr int ID_HELP_CONTENTS = 32789;
// Tray menu only
inline constexpr int ID_VIEW_ERRORS = 32800;
inline constexpr int ID_TRAY_RESTORE = 61728;   // the system's restore command
inline constexpr int ID_TRAY_MINIMIZE = 61472;  // the system's minimize command
// A tray-menu page item: 65436 minus the page's index (the 16-bit form of
// -(100 + index)).
inline constexpr int ID_TRAY_PAGE_FIRST = 65436;

inline constexpr int kRecentFileCount = 4;

inline constexpr int kToolkitIdOffset = 0x8000;
constexpr int ToolkitId(int command) { return command - kToolkitIdOffset; }
constexpr int CommandId(int toolkit) { return toolkit + kToolkitIdOffset; }

namespace detail {
constexpr bool OutsideToolkitIds(int id) {
    const int toolkit = ToolkitId(id);
    return toolkit > 0 && toolkit < 0x7FFF && (toolkit < wxID_LOWEST || toolkit > wxID_HIGHEST);
}
constexpr bool AllOutsideToolkitIds(std::initializer_list<int> ids) {
    for (int id : ids) {
        if (!OutsideToolkitIds(id)) return false;
    }
    return true;
}
}  // namespace detail

static_assert(detail::AllOutsideToolkitIds(
                  {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_FILE_SAVE_AS, ID_FILE_PRINT,
                   ID_FILE_MRU_FILE1, ID_FILE_MRU_FILE1 + kRecentFileCount - 1, ID_APP_EXIT,
                   ID_APP_ABOUT, ID_EDIT_COPY, ID_EDIT_CUT, ID_EDIT_PASTE, ID_EDIT_UNDO,
                   ID_NEXT_PANE, ID_PREV_PANE, ID_PAGE_ADD, ID_PAGE_REMOVE, ID_PAGE_PROPERTIES,
                   ID_PAGE_UPDATE, ID_PAGE_IMPORT, ID_PAGE_BROWSE, ID_PAGE_VIEW_CHANGES,
                   ID_PAGE_HISTORY, ID_WATCH_STOP, ID_WATCH_START, ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR,
                   ID_VIEW_TRAY_MINIMIZE, ID_TOOLS_OPTIONS, ID_LOG_SAVE, ID_LOG_CLEAR,
                   ID_TOOLS_UPGRADE, ID_HELP_CONTENTS, ID_VIEW_ERRORS, ID_TRAY_RESTORE,
                   ID_TRAY_MINIMIZE, ID_TRAY_PAGE_FIRST}),
              "a command id falls into the toolkit's own id range");
// Page items count down from 65436 and must stay above every other id of the
// tray menu: pages past this index get an id of the toolkit's own allocation.
inline constexpr int kLastNumberedTrayPage = ID_TRAY_PAGE_FIRST - ID_TRAY_RESTORE - 1;
static_assert(ID_TRAY_PAGE_FIRST - kLastNumberedTrayPage > ID_TRAY_RESTORE);

}  // namespace tallyhawk
