// CLineMatcher: pairs the lines of two versions of a page.
//
// Pairing is a longest-matching-block search applied recursively: find the
// longest run of equal consecutive lines in the two ranges, pair it, then
// search the ranges before it and after it the same way. The block chosen in
// a range is the first one found when the old lines are scanned in order and,
// for each, its equal new lines in order: a longer run replaces the best so
// far, and a run that reaches the end of either range ends the search at once.
// Ties therefore keep the smallest old line, then the smallest new line.
//
// The search below finds exactly that block, but skips candidates whose run
// provably cannot beat the best so far (see BlockFinder in the .cpp).
#pragma once

#include <cstdint>
#include <string_view>

#include "diff/PageContent.h"

namespace tallyhawk {

class CLineMatcher {
public:
    CLineMatcher() : oldLines(10), newLines(10) {}
    CLineMatcher(const CLineMatcher&) = delete;
    CLineMatcher& operator=(const CLineMatcher&) = delete;

    // Splits both versions at `separator` and pairs their lines; the lines
    // refer into the two texts, which must outlive the matcher's use of them.
    // Returns the number of pairs.
    std::int32_t Match(std::string_view previous, std::string_view current, char separator);

    // How much plain candidate work a range search does before it builds a
    // window table: base + factor * (lines in both ranges). Only the speed
    // depends on it; tests set it to 0 to take the table path at once.
    void SetTableThreshold(std::int64_t base, std::int64_t factor) {
        thresholdBase = base;
        thresholdFactor = factor;
    }

    // Releases both line arrays; PairedCount stays.
    void FreeLines() {
        oldLines.Free();
        newLines.Free();
    }

    const CLineArray& OldLines() const { return oldLines; }
    const CLineArray& NewLines() const { return newLines; }
    std::int32_t PairedCount() const { return pairedCount; }

private:
    CLineArray oldLines;
    CLineArray newLines;
    std::int32_t pairedCount = 0;
    std::int64_t thresholdBase = 256;
    std::int64_t thresholdFactor = 1;
};

}  // namespace tallyhawk
