// The one table of the main window's commands: id, menu text, the string
// that holds its status-line prompt and tooltip, accelerators, toolbar image
// and whether it stays enabled while watching runs. The menu bar, the
// toolbar, the accelerator table, the prompts and the watching filter are all
// built from it; the menu and toolbar layouts below name commands by id only.
//
// Plain data and functions, any thread; AppendCommand alone builds a window
// item, on the user-interface thread.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

class wxMenu;

namespace tallyhawk {

enum class ToolbarImage {
    None,
    // From the desktop theme.
    New, Open, Save, Cut, Copy, Paste, Help,
    // The program's own.
    Add, Remove, Properties, Update, StartWatching, StopWatching, TrayMinimize,
};

struct CAccelerator {
    int flags = 0;  // wxACCEL_CTRL, wxACCEL_SHIFT, wxACCEL_ALT; 0 with key 0: none
    int key = 0;    // a character or a WXK_ code
};

struct CCommandInfo {
    int id;
    const char* menuText;  // null: no item in the menu bar
    std::array<CAccelerator, 2> accelerators;
    ToolbarImage image;
    bool allowedWhileWatching;
};

// Every command, in no particular order.
std::span<const CCommandInfo> Commands();
// The command with `id`, or null.
const CCommandInfo* FindCommand(int id);

// The command's prompt (status line) and tooltip: the two halves of its
// string-table text around "\n"; empty when it has none.
std::string CommandPrompt(int id);
std::string CommandTooltip(int id);

// One popup of the menu bar: its title and item ids, 0 for a separator.
struct CMenuLayout {
    const char* title;
    std::vector<int> items;
};
const std::vector<CMenuLayout>& MenuLayout();
// The Page popup's items, which the page list's context menu shows too.
const std::vector<int>& PageMenuItems();
// The toolbar and status bar commands: menu items with a check mark.
bool IsCheckCommand(int id);
// Appends the command's item (its menu text and prompt) to `menu`; 0 appends
// a separator.
void AppendCommand(wxMenu& menu, int id);
// The toolbar's buttons in order, 0 for a gap.
const std::vector<int>& ToolbarLayout();

// The command filter while watching runs: with watching off every command is
// routed; with it on only the allowed set (sorted, searched by halves).
class CCommandFilter {
public:
    CCommandFilter();
    bool IsAllowed(int id, bool watching) const;
    bool IsAllowedWhileWatching(int id) const;

private:
    std::vector<int> allowed;  // sorted
};

}  // namespace tallyhawk
