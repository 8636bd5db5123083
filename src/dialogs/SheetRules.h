// The rules of the page property sheet that need no window: the caption,
// the viewer check made when the sheet closes, the checking of typed
// numbers, and how the pages turn their controls into settings. The window
// classes (WatcherSettingsDlg.h, SettingsPages.h) call these; the unit tests
// drive them directly.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "base/StringTable.h"
#include "engine/WatcherSettings.h"

namespace tallyhawk {

// The Page page's two required fields, checked in this order: IDS_URL_EMPTY
// for an empty address, else IDS_NAME_EMPTY for an empty name, else 0.
unsigned PageFieldsProblem(const std::string& url, const std::string& name);

// The caption: "TITLE for NAME" on a page sheet whose page has a name,
// otherwise the title as passed.
std::string SheetCaption(const std::string& title, const std::string& name, bool defaultsMode);

// The viewer check on closing: which question (string 17 to 20) the
// settings call for with `browser` as the default browser's command, or 0
// for none. At most one question per closing.
unsigned ViewerQuestion(const CWatcherSettings& settings, const std::string& browser);
// The change an OK answer to `question` makes: text output gets notepad as
// the viewer without the browser, HTML output the browser without the
// viewer program (the viewer's path is kept).
void ApplyViewerAnswer(unsigned question, CWatcherSettings& settings);
// Programs compare equal after trimming white space and lower-casing.
bool IsSameProgram(const std::string& a, const std::string& b);

// A typed number as the pages check it: optional blanks, an optional sign,
// digits, optional blanks, within the int range. Returns the message to show
// (IDS_ENTER_INTEGER, or IDS_ENTER_INTEGER_BETWEEN filled with the bounds
// when `range` is given and the value lies outside it) or nothing, and puts
// the value into `value` when it is good.
struct CIntRange {
    int lower;
    int upper;
};
std::optional<std::string> CheckInteger(const std::string& text, std::optional<CIntRange> range,
                                        int& value);

// Notifications page: exactly the four flags it shows; every other bit goes.
std::uint32_t NotifyFlagsFromChecks(bool playSound, bool launchApplication, bool flashTrayIcon,
                                    bool launchBrowser);

// Update page: the day boxes Monday to Sunday and the mask they make, which
// clears every other bit (255 becomes 127).
std::array<bool, 7> DayChecks(std::int32_t days);
std::int32_t DaysFromChecks(const std::array<bool, 7>& checks);

// Output page: the checked button for a stored mode (none outside 0-4), and
// the mode Apply stores: the first checked of the four text and HTML
// buttons in their order, else HighlightedHtml.
std::optional<int> OutputButtonFor(std::int32_t mode);
std::int32_t OutputModeFromButtons(const std::array<bool, 5>& checked);
// The texts of the five output modes, in the order of their values, as the
// Output page's buttons and the History window's choice show them.
inline constexpr std::array<const char*, 5> kOutputModeNames = {
    "View Additions as Text", "View Additions as HTML", "View Deletions as Text",
    "View Deletions as HTML", "View Changes as Highlighted HTML"};

// The highlight colour as stored (red in the low byte) and as red, green,
// blue bytes.
std::array<std::uint8_t, 3> ColorToRgb(std::uint32_t color);
std::uint32_t ColorFromRgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

// The folder a file chooser starts in: `preferred` when it is a folder,
// else `fallback`. (The process's current directory is never changed to
// steer a chooser: relative paths elsewhere in the program would move.)
std::string ChooserFolder(const std::string& preferred, const std::string& fallback);
// Where an Open chooser starts for the field's `current` text: a path's own
// folder (when it exists) and its name; otherwise `folder` with the text as
// the name.
struct CChooserStart {
    std::string folder;
    std::string fileName;
};
CChooserStart ChooserStartFor(const std::string& current, const std::string& folder);

// A chosen file name with `extension` (".txt") added when its last part has
// none; a name ending in a dot counts as having one.
std::string WithDefaultExtension(std::string path, const std::string& extension);

}  // namespace tallyhawk
