// The tray menu's contents, without a window. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/WatchSiteList.h"

namespace tallyhawk {

struct CTrayMenuItem {
    int id = 0;  // 0: a separator
    std::string text;
    std::int32_t page = -1;  // the page index of a page item, else -1
};

// The id of the page item for the page at `index`: 65436 minus the index,
// or nothing when that would reach the menu's other ids (the caller then
// takes an id of the toolkit's own allocation).
std::optional<int> TrayPageItemId(std::int32_t index);

// The menu: an item per enabled Modified page in list order and a separator;
// "&View Errors" and a separator when pages were disabled; then Restore,
// Minimize, a separator, Start and Stop Monitoring, a separator and Exit.
// Page items past the numbered range carry id -1 for the caller to fill.
std::vector<CTrayMenuItem> TrayMenuItems(const std::vector<CModifiedPage>& modified,
                                         bool hasErrors);

// The tray icon's tooltip: "Tallyhawk", or with `changed` pages waiting to
// be seen "Tallyhawk: 1 page changed", "Tallyhawk: 2 pages changed".
std::string TrayTooltip(std::size_t changed);

// The View Errors message: string 59154, then "[" the names joined by single
// spaces "]".
std::string ErrorsMessage(const std::vector<std::string>& names);

// A page disabled after too many failed checks, waiting for View Errors.
struct CDisabledPage {
    std::weak_ptr<CWatchSite> page;  // gone when the page was removed since
    std::string name;
    std::string reason;  // the last failure's message
};

// The View Errors question: ErrorsMessage of the names, then one line per
// page with its name and why its checks failed, then whether to enable
// the pages again.
std::string ErrorsQuestion(const std::vector<CDisabledPage>& pages);

}  // namespace tallyhawk
