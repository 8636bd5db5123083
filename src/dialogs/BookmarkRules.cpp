#include "dialogs/BookmarkRules.h"

#include <algorithm>
#include <string_view>

#include "import/BookmarkList.h"

namespace tallyhawk {

void CBookmarkRows::Fill(int kind) {
    rows.clear();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].kind == kind) rows.push_back(i);
    }
    std::stable_sort(rows.begin(), rows.end(), [this](std::size_t a, std::size_t b) {
        const CBookmarkItem& x = items[a];
        const CBookmarkItem& y = items[b];
        if (const int byName = CompareNoCase(x.name, y.name)) return byName < 0;
        if (x.name != y.name) return x.name < y.name;
        return x.url < y.url;
    });
}

std::vector<CBookmarkItem> CBookmarkRows::Selection(std::vector<long> selectedRows) const {
    std::sort(selectedRows.begin(), selectedRows.end());
    std::vector<CBookmarkItem> selection;
    for (long row : selectedRows) {
        if (row >= 0 && static_cast<std::size_t>(row) < rows.size()) selection.push_back(At(row));
    }
    return selection;
}

long CBookmarkRows::RowToSelect(long previous, std::size_t count) {
    if (count == 0) return -1;
    return previous >= 0 && static_cast<std::size_t>(previous) < count ? previous : 0;
}

std::pair<int, int> BookmarkColumnWidths(int clientWidth, int scrollBarWidth) {
    const int width = std::max(clientWidth - scrollBarWidth, 0);
    const int name = static_cast<int>(0.3 * width);
    return {name, width - name};
}

}  // namespace tallyhawk
