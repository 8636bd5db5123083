// What the page list shows, without a window: the row texts of a page and
// the column widths. Any thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "engine/WatchSite.h"

namespace tallyhawk {

class CWatchSite;

inline constexpr int kColumnCount = 4;  // name, address, status, last updated

// The text of one column of a page's row, read through the page's getters
// (no copy of the page's contents).
std::string RowText(const CWatchSite& page, int column);

// Column widths for a client width of `width` pixels: 20%, 40% and 20%,
// each cut towards zero, and the rest for the last column.
std::array<int, kColumnCount> ColumnWidths(int width);

}  // namespace tallyhawk
