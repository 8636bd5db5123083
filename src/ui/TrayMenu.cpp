#include "ui/TrayMenu.h"

#include "base/StringTable.h"
#include "ui/CommandIds.h"

namespace tallyhawk {

std::optional<int> TrayPageItemId(std::int32_t index) {
    if (index < 0 || index > kLastNumberedTrayPage) return std::nullopt;
    return ID_TRAY_PAGE_FIRST - index;
}

std::vector<CTrayMenuItem> TrayMenuItems(const std::vector<CModifiedPage>& modified,
                                         bool hasErrors) {
    std::vector<CTrayMenuItem> items;
    for (const CModifiedPage& page : modified)
        items.push_back({TrayPageItemId(page.index).value_or(-1), page.name, page.index});
    if (!modified.empty()) items.push_back({});
    if (hasErrors) {
        items.push_back({ID_VIEW_ERRORS, LoadString(IDS_TRAY_VIEW_ERRORS)});
        items.push_back({});
    }
    items.push_back({ID_TRAY_RESTORE, LoadString(IDS_TRAY_RESTORE)});
    items.push_back({ID_TRAY_MINIMIZE, LoadString(IDS_TRAY_MINIMIZE)});
    items.push_back({});
    items.push_back({ID_WATCH_START, LoadString(IDS_TRAY_START)});
    items.push_back({ID_WATCH_STOP, LoadString(IDS_TRAY_STOP)});
    items.push_back({});
    items.push_back({ID_APP_EXIT, LoadString(IDS_TRAY_EXIT)});
    return items;
}

std::string TrayTooltip(std::size_t changed) {
    if (changed == 0) return LoadString(IDS_APP_TITLE);
    if (changed == 1) return LoadString(IDS_TRAY_ONE_CHANGED);
    return FormatString(IDS_TRAY_CHANGED, {static_cast<unsigned long>(changed)});
}

std::string ErrorsMessage(const std::vector<std::string>& names) {
    std::string joined;
    for (const std::string& name : names) {
        if (!joined.empty()) joined += ' ';
        joined += name;
    }
    return LoadString(IDS_ERRORS_TEXT) + "[" + joined + "]";
}

std::string ErrorsQuestion(const std::vector<CDisabledPage>& pages) {
    std::vector<std::string> names;
    std::string reasons;
    for (const CDisabledPage& page : pages) {
        names.push_back(page.name);
        reasons += FormatString(IDS_ERRORS_REASON, {page.name, page.reason}) + "\n";
    }
    return ErrorsMessage(names) + "\n\n" + reasons + "\n" + LoadString(IDS_ERRORS_ENABLE_AGAIN);
}

}  // namespace tallyhawk
