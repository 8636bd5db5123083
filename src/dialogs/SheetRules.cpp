#include "dialogs/SheetRules.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "base/StringTable.h"

namespace tallyhawk {

namespace {

bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string TrimmedLower(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    std::string result = text.substr(begin, end - begin);
    for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

bool IsTextOutput(std::int32_t mode) { return mode == AdditionsAsText || mode == DeletionsAsText; }

}  // namespace

unsigned PageFieldsProblem(const std::string& url, const std::string& name) {
    if (url.empty()) return IDS_URL_EMPTY;
    if (name.empty()) return IDS_NAME_EMPTY;
    return 0;
}

std::string SheetCaption(const std::string& title, const std::string& name, bool defaultsMode) {
    if (defaultsMode || name.empty()) return title;
    return FormatString(IDS_SHEET_CAPTION_FOR, {title, name});
}

bool IsSameProgram(const std::string& a, const std::string& b) {
    return TrimmedLower(a) == TrimmedLower(b);
}

unsigned ViewerQuestion(const CWatcherSettings& settings, const std::string& browser) {
    const std::uint32_t flags = settings.GetNotifyFlags();
    const bool launchBrowser = (flags & NotifyLaunchBrowser) != 0;
    const bool noViewer = (flags & (NotifyLaunchBrowser | NotifyLaunchApplication)) == 0;
    const bool viewerIsBrowser = IsSameProgram(settings.GetViewer(), browser);
    if (IsTextOutput(settings.GetOutputMode())) {
        if (noViewer) return IDS_VIEWER_TEXT_NO_VIEWER;
        if (viewerIsBrowser || launchBrowser) return IDS_VIEWER_TEXT_IS_BROWSER;
        return 0;
    }
    if (noViewer) return IDS_VIEWER_HTML_NO_VIEWER;
    if (!viewerIsBrowser && !launchBrowser) return IDS_VIEWER_HTML_NOT_BROWSER;
    return 0;
}

void ApplyViewerAnswer(unsigned question, CWatcherSettings& settings) {
    std::uint32_t flags = settings.GetNotifyFlags();
    switch (question) {
    case IDS_VIEWER_TEXT_NO_VIEWER:
    case IDS_VIEWER_TEXT_IS_BROWSER:
        settings.SetNotifyFlags((flags & ~std::uint32_t{NotifyLaunchBrowser}) | NotifyLaunchApplication);
        settings.SetViewer("notepad.exe");
        break;
    case IDS_VIEWER_HTML_NO_VIEWER:
    case IDS_VIEWER_HTML_NOT_BROWSER:
        settings.SetNotifyFlags((flags & ~std::uint32_t{NotifyLaunchApplication}) | NotifyLaunchBrowser);
        break;
    default: break;
    }
}

std::optional<std::string> CheckInteger(const std::string& text, std::optional<CIntRange> range,
                                        int& value) {
    std::size_t at = 0;
    while (at < text.size() && IsBlank(text[at])) ++at;
    std::size_t digitsFrom = at;
    if (digitsFrom < text.size() && (text[digitsFrom] == '-' || text[digitsFrom] == '+')) ++digitsFrom;
    std::size_t end = digitsFrom;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    std::size_t rest = end;
    while (rest < text.size() && IsBlank(text[rest])) ++rest;
    if (end == digitsFrom || rest != text.size()) return LoadString(IDS_ENTER_INTEGER);
    errno = 0;
    const long long parsed = std::strtoll(text.c_str() + at, nullptr, 10);
    if (errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) return LoadString(IDS_ENTER_INTEGER);
    if (range && (parsed < range->lower || parsed > range->upper))
        return FormatString(IDS_ENTER_INTEGER_BETWEEN, {range->lower, range->upper});
    value = static_cast<int>(parsed);
    return std::nullopt;
}

std::uint32_t NotifyFlagsFromChecks(bool playSound, bool launchApplication, bool flashTrayIcon,
                                    bool launchBrowser) {
    return (playSound ? NotifyPlaySound : 0u) | (launchApplication ? NotifyLaunchApplication : 0u) |
           (flashTrayIcon ? NotifyFlashTrayIcon : 0u) | (launchBrowser ? NotifyLaunchBrowser : 0u);
}

std::array<bool, 7> DayChecks(std::int32_t days) {
    std::array<bool, 7> checks{};
    for (int i = 0; i < 7; ++i) checks[i] = (days & (1 << i)) != 0;
    return checks;
}

std::int32_t DaysFromChecks(const std::array<bool, 7>& checks) {
    std::int32_t days = 0;
    for (int i = 0; i < 7; ++i)
        if (checks[i]) days |= 1 << i;
    return days;
}

std::optional<int> OutputButtonFor(std::int32_t mode) {
    if (mode < AdditionsAsText || mode > HighlightedHtml) return std::nullopt;
    return mode;
}

std::int32_t OutputModeFromButtons(const std::array<bool, 5>& checked) {
    for (int i = 0; i < 4; ++i)
        if (checked[i]) return i;
    return HighlightedHtml;
}

std::array<std::uint8_t, 3> ColorToRgb(std::uint32_t color) {
    return {static_cast<std::uint8_t>(color & 0xFF), static_cast<std::uint8_t>((color >> 8) & 0xFF),
            static_cast<std::uint8_t>((color >> 16) & 0xFF)};
}

std::uint32_t ColorFromRgb(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return std::uint32_t{red} | (std::uint32_t{green} << 8) | (std::uint32_t{blue} << 16);
}

std::string ChooserFolder(const std::string& preferred, const std::string& fallback) {
    std::error_code error;
    if (!preferred.empty() && std::filesystem::is_directory(preferred, error)) return preferred;
    return fallback;
}

CChooserStart ChooserStartFor(const std::string& current, const std::string& folder) {
    const std::filesystem::path path(current);
    if (!path.has_parent_path()) return {folder, current};
    return {ChooserFolder(path.parent_path().string(), folder), path.filename().string()};
}

std::string WithDefaultExtension(std::string path, const std::string& extension) {
    if (std::filesystem::path(path).extension().empty()) path += extension;
    return path;
}

}  // namespace tallyhawk
