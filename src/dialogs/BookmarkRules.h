// The rules of the Bookmarks & Favorites dialog that need no window: which
// links the list shows and in what order, the row selected after the list
// is filled again, what OK returns, and the widths of the two columns.
// CBookmarksDlg wires its controls to these; the unit tests drive them
// directly.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "import/BookmarkItem.h"

namespace tallyhawk {

class CBookmarkRows {
public:
    // `items` (the collection, in the order found) must outlive the rows.
    explicit CBookmarkRows(const std::vector<CBookmarkItem>& items) : items(items) {}

    // Shows the items of `kind`, sorted by name (letters compared without
    // regard to case), then by address, then in the order found.
    void Fill(int kind);
    std::size_t Count() const { return rows.size(); }
    // The collected item shown in `row` (below Count()).
    const CBookmarkItem& At(std::size_t row) const { return items[rows[row]]; }
    // Its index in the collection.
    std::size_t ItemIndex(std::size_t row) const { return rows[row]; }

    // What OK returns for the selected rows: a copy of each row's item, in
    // list order. Empty when no row is selected: the dialog then stays open.
    std::vector<CBookmarkItem> Selection(std::vector<long> selectedRows) const;

    // The row to select after filling: the one selected before when the new
    // list reaches it, else the first, else none (-1).
    static long RowToSelect(long previous, std::size_t count);

private:
    const std::vector<CBookmarkItem>& items;
    std::vector<std::size_t> rows;  // indexes into items
};

// The widths of the "Name" and "URL" columns for a list `clientWidth`
// pixels wide: of the width left beside a vertical scroll bar, "Name" takes
// three tenths (rounded down) and "URL" the rest.
std::pair<int, int> BookmarkColumnWidths(int clientWidth, int scrollBarWidth);

}  // namespace tallyhawk
