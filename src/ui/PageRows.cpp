#include "ui/PageRows.h"

#include <ctime>

#include "base/StringTable.h"
#include "engine/WatchSite.h"

namespace tallyhawk {

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
