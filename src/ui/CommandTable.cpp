#include "ui/CommandTable.h"

#include <wx/accel.h>
#include <wx/defs.h>
#include <wx/menu.h>

#include <algorithm>

#include "base/StringTable.h"
#include "ui/CommandIds.h"

namespace tallyhawk {

namespace {

constexpr int C = wxACCEL_CTRL;
constexpr int S = wxACCEL_SHIFT;
constexpr int A = wxACCEL_ALT;
constexpr bool Watching = true;  // stays enabled while watching
constexpr bool Idle = false;     // only while not watching

using I = ToolbarImage;

const CCommandInfo kCommands[] = {
    {ID_FILE_NEW, "&New\tCtrl+N", {{{C, 'N'}}}, I::New, Idle},
    {ID_FILE_OPEN, "&Open...\tCtrl+O", {{{C, 'O'}}}, I::Open, Idle},
    {ID_FILE_SAVE, "&Save\tCtrl+S", {{{C, 'S'}}}, I::Save, Idle},
    {ID_FILE_SAVE_AS, "Save &As...", {}, I::None, Idle},
    {ID_FILE_PRINT, nullptr, {{{C, 'P'}}}, I::None, Idle},
    {ID_APP_EXIT, "E&xit", {}, I::None, Watching},
    {ID_EDIT_CUT, "Cu&t\tCtrl+X", {{{C, 'X'}, {S, WXK_DELETE}}}, I::Cut, Idle},
    {ID_EDIT_COPY, "&Copy\tCtrl+C", {{{C, 'C'}, {C, WXK_INSERT}}}, I::Copy, Idle},
    {ID_EDIT_PASTE, "&Paste\tCtrl+V", {{{C, 'V'}, {S, WXK_INSERT}}}, I::Paste, Idle},
    {ID_EDIT_UNDO, nullptr, {{{C, 'Z'}, {A, WXK_BACK}}}, I::None, Idle},
    {ID_NEXT_PANE, nullptr, {{{0, WXK_F6}}}, I::None, Idle},
    {ID_PREV_PANE, nullptr, {{{S, WXK_F6}}}, I::None, Idle},
    {ID_PAGE_ADD, "&Add...", {{{0, WXK_INSERT}}}, I::Add, Idle},
    {ID_PAGE_IMPORT, "&Import Link(s)...", {}, I::None, Idle},
    {ID_PAGE_REMOVE, "&Remove", {}, I::Remove, Idle},
    {ID_PAGE_PROPERTIES, "&Properties...", {{{0, WXK_RETURN}}}, I::Properties, Idle},
    {ID_PAGE_UPDATE, "&Update...", {}, I::Update, Idle},
    {ID_PAGE_VIEW_CHANGES, "&View Changes", {}, I::None, Watching},
    // Read-only but for Make Accepted, which goes through the document on
    // this thread as View Changes does.
    {ID_PAGE_HISTORY, "&History...", {}, I::None, Watching},
    {ID_PAGE_BROWSE, "&Browse", {}, I::None, Watching},
    {ID_WATCH_START, "&Start Watching", {}, I::StartWatching, Watching},
    {ID_WATCH_STOP, "S&top Watching", {}, I::StopWatching, Watching},
    {ID_VIEW_TOOLBAR, "&Toolbar", {}, I::None, Idle},
    {ID_VIEW_STATUS_BAR, "&Status Bar", {}, I::None, Idle},
    {ID_VIEW_TRAY_MINIMIZE, "&Tray Minimize", {}, I::TrayMinimize, Watching},
    {ID_TOOLS_OPTIONS, "&Options...", {}, I::None, Watching},
    {ID_LOG_SAVE, "&Save Log Messages", {}, I::None, Watching},
    {ID_LOG_CLEAR, "&Clear Log Messages", {}, I::None, Watching},
    {ID_TOOLS_UPGRADE, "&Upgrade Wizard", {}, I::None, Idle},
    {ID_HELP_CONTENTS, "&Help", {}, I::Help, Watching},
    {ID_APP_ABOUT, "&About Tallyhawk...", {}, I::None, Watching},
    {ID_VIEW_ERRORS, nullptr, {}, I::None, Watching},  // the tray menu's, with its own text
};

std::string PromptHalf(int id, bool second) {
    const std::string text = LoadString(static_cast<unsigned>(id));
    const std::size_t split = text.find('\n');
    if (split == std::string::npos) return second ? std::string() : text;
    return second ? text.substr(split + 1) : text.substr(0, split);
}

}  // namespace

std::span<const CCommandInfo> Commands() { return kCommands; }

const CCommandInfo* FindCommand(int id) {
    for (const CCommandInfo& command : kCommands) {
        if (command.id == id) return &command;
    }
    return nullptr;
}

std::string CommandPrompt(int id) { return PromptHalf(id, false); }
std::string CommandTooltip(int id) { return PromptHalf(id, true); }

const std::vector<CMenuLayout>& MenuLayout() {
    static const std::vector<CMenuLayout> layout = {
        {"&File",
         {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_FILE_SAVE_AS, 0, ID_FILE_MRU_FILE1, 0,
          ID_APP_EXIT}},
        {"&Edit", {ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE}},
        {"&Page", PageMenuItems()},
        {"&View", {ID_VIEW_TOOLBAR, ID_VIEW_STATUS_BAR, ID_VIEW_TRAY_MINIMIZE}},
        {"&Tools", {ID_TOOLS_OPTIONS, 0, ID_LOG_SAVE, ID_LOG_CLEAR, 0, ID_TOOLS_UPGRADE}},
        {"&Help", {ID_HELP_CONTENTS, ID_APP_ABOUT}},
    };
    return layout;
}

const std::vector<int>& PageMenuItems() {
    static const std::vector<int> items = {
        ID_PAGE_ADD,          ID_PAGE_IMPORT,  ID_PAGE_REMOVE, ID_PAGE_PROPERTIES,
        ID_PAGE_UPDATE,       ID_PAGE_VIEW_CHANGES, ID_PAGE_HISTORY, ID_PAGE_BROWSE,
        0,                    ID_WATCH_START,  ID_WATCH_STOP,
    };
    return items;
}

bool IsCheckCommand(int id) { return id == ID_VIEW_TOOLBAR || id == ID_VIEW_STATUS_BAR; }

void AppendCommand(wxMenu& menu, int id) {
    if (id == 0) {
        menu.AppendSeparator();
    } else if (const CCommandInfo* command = FindCommand(id)) {
        menu.Append(ToolkitId(id), wxString::FromUTF8(command->menuText),
                    wxString::FromUTF8(CommandPrompt(id)),
                    IsCheckCommand(id) ? wxITEM_CHECK : wxITEM_NORMAL);
    }
}

const std::vector<int>& ToolbarLayout() {
    static const std::vector<int> layout = {
        ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, 0, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, 0,
        ID_PAGE_ADD, ID_PAGE_REMOVE, ID_PAGE_PROPERTIES, ID_PAGE_UPDATE, 0, ID_WATCH_START,
        ID_WATCH_STOP, 0, ID_VIEW_TRAY_MINIMIZE, 0, ID_HELP_CONTENTS,
    };
    return layout;
}

CCommandFilter::CCommandFilter() {
    for (const CCommandInfo& command : kCommands) {
        if (command.allowedWhileWatching) allowed.push_back(command.id);
    }
    std::sort(allowed.begin(), allowed.end());
}

bool CCommandFilter::IsAllowedWhileWatching(int id) const {
    return std::binary_search(allowed.begin(), allowed.end(), id);
}

bool CCommandFilter::IsAllowed(int id, bool watching) const {
    return !watching || IsAllowedWhileWatching(id);
}

}  // namespace tallyhawk
