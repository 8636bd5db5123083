// What the History window lists, without a window: a page's kept versions
// as rows, the newest at the top, each numbered by its place from the
// oldest kept (1), so that a version keeps its number as newer ones come.
// The window reads its cells and its enable rules from here.
//
// Versions newer than the page's last-updated time in the document are
// versions the document does not hold: the history went on after the
// document was last saved (or an older copy of the document was opened).
// Their status reads "... (not in the saved document)"; they can still be
// viewed, compared and made the accepted one.
//
// Plain data, any thread.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "history/HistoryStore.h"

namespace tallyhawk {

class CHistoryRows {
public:
    // Added to the status of a version the document does not hold.
    static constexpr const char* kNotSavedMark = "(not in the saved document)";
    enum Column { Number, Time, Status, Size, Change, Accepted, ColumnCount };

    // `versions` oldest first, as CHistoryStore::List gives them;
    // `lastUpdated` (seconds since 1970) the page's in the document.
    CHistoryRows(std::vector<CHistoryVersion> versions, std::int64_t lastUpdated);

    long Count() const { return static_cast<long>(versions.size()); }
    // The version shown in `row` (0 at the top).
    const CHistoryVersion& At(long row) const;
    // Its number: 1 for the oldest kept.
    long NumberOf(long row) const { return Count() - row; }
    std::string Text(long row, Column column) const;
    // The row of the version with store id `id`, or -1.
    long RowOf(std::int64_t id) const;
    // Two selected rows as (older, newer).
    std::pair<const CHistoryVersion*, const CHistoryVersion*> Ordered(long a, long b) const;

    static std::string Heading(Column column);

private:
    std::vector<CHistoryVersion> versions;  // oldest first
    std::int64_t lastUpdated;
};

// "12,345": a count with its thousands grouped.
std::string GroupedNumber(std::uint64_t value);

}  // namespace tallyhawk
