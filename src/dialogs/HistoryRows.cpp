#include "dialogs/HistoryRows.h"

#include "engine/WatchSite.h"

namespace tallyhawk {

CHistoryRows::CHistoryRows(std::vector<CHistoryVersion> versions, std::int64_t lastUpdated)
    : versions(std::move(versions)), lastUpdated(lastUpdated) {}

const CHistoryVersion& CHistoryRows::At(long row) const {
    return versions.at(static_cast<std::size_t>(Count() - 1 - row));
}

std::string CHistoryRows::Text(long row, Column column) const {
    if (row < 0 || row >= Count()) return {};
    const CHistoryVersion& version = At(row);
    switch (column) {
    case Number: return std::to_string(NumberOf(row));
    case Time: return LastUpdatedText(version.time);
    case Status: {
        std::string text = StatusText(version.status);
        if (version.time > lastUpdated) text += " " + std::string(kNotSavedMark);
        return text;
    }
    case Size: return GroupedNumber(version.size) + " bytes";
    // The oldest kept version may have had one before it, since pruned:
    // its change counted against a version no longer listed says nothing.
    case Change: return NumberOf(row) == 1 ? "first" : "+/-" + GroupedNumber(version.changeSize) + " bytes";
    case Accepted: return version.acceptedTime ? LastUpdatedText(version.acceptedTime) : "";
    default: return {};
    }
}

long CHistoryRows::RowOf(std::int64_t id) const {
    for (long row = 0; row < Count(); ++row) {
        if (At(row).id == id) return row;
    }
    return -1;
}

std::pair<const CHistoryVersion*, const CHistoryVersion*> CHistoryRows::Ordered(long a,
                                                                              long b) const {
    // The lower a row, the older its version.
    if (a < b) std::swap(a, b);
    return {&At(a), &At(b)};
}

std::string CHistoryRows::Heading(Column column) {
    static const char* const headings[] = {"Number", "Time",   "Status",
                                           "Size",   "Change", "Accepted"};
    return column < ColumnCount ? headings[column] : "";
}

std::string GroupedNumber(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}

}  // namespace tallyhawk
