#include "ui/PageRows.h"

#include <ctime>

#include "base/StringTable.h"
#include "engine/WatchSite.h"
#include "ui/UiStrings.h"

namespace tallyhawk {

std::string StatusText(std::int32_t status) {
    switch (status) {
    case New: return LoadString(IDS_STATUS_NEW);
    case Outdated: return LoadString(IDS_STATUS_OUTDATED);
    case Current: return LoadString(IDS_STATUS_CURRENT);
    case Modified: return LoadString(IDS_STATUS_MODIFIED);
    case Updating: return LoadString(IDS_STATUS_UPDATING);
    case Disabled: return LoadString(IDS_STATUS_DISABLED);
    default: return {};
    }
}

std::string LastUpdatedText(std::int64_t seconds) {
    if (seconds == 0) return LoadString(IDS_NEVER);
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!localtime_r(&time, &local)) return {};
    char text[128];
    const std::size_t length = std::strftime(text, sizeof text, "%c", &local);
    return std::string(text, length);
}

std::string RowText(const CWatchSite& page, int column) {
    switch (column) {
    case 0: return page.GetName();
    case 1: return page.GetUrl();
    case 2: return StatusText(page.GetStatus());
    case 3: return LastUpdatedText(page.GetLastUpdated());
    default: return {};
    }
}

std::array<int, kColumnCount> ColumnWidths(int width) {
    const int fifth = width / 5;  // floor(0.2 w) for w >= 0
    const int twoFifths = width * 2 / 5;
    return {fifth, twoFifths, fifth, width - 2 * fifth - twoFifths};
}

}  // namespace tallyhawk
