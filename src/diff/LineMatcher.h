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
#include <vector>

#include "diff/PageContent.h"

namespace tallyhawk {

// One mark a line, one bit each: which lines of a version are paired.
class CLineMarks {
public:
    // `count` lines, none marked.
    void Reset(std::int32_t count) {
        lines = count;
        words.assign((std::size_t(count) + 63) / 64, 0);
    }
    void Free() {
        std::vector<std::uint64_t>().swap(words);
        lines = 0;
    }
    void Mark(std::int32_t line) {
        words[std::size_t(line) >> 6] |= std::uint64_t(1) << (std::uint32_t(line) & 63);
    }
    bool IsMarked(std::int32_t line) const {
        return ((words[std::size_t(line) >> 6] >> (std::uint32_t(line) & 63)) & 1) != 0;
    }
    std::int32_t Count() const { return lines; }

private:
    std::vector<std::uint64_t> words;
    std::int32_t lines = 0;
};

class CLineMatcher {
public:
    CLineMatcher() = default;
    CLineMatcher(const CLineMatcher&) = delete;
    CLineMatcher& operator=(const CLineMatcher&) = delete;

    // Splits both versions at `separator` and pairs their lines. Returns the
    // number of pairs. Besides the pairing marks (a bit a line) it keeps
    // nothing; while it runs it needs about 14 bytes a line of the two
    // versions together, and up to 10 more a line of the new version while
    // a window table is in use.
    std::int32_t Match(std::string_view previous, std::string_view current, char separator);

    // How much plain candidate work a range search does before it builds a
    // window table: base + factor * (lines in both ranges). Only the speed
    // depends on it; tests set it to 0 to take the table path at once.
    void SetTableThreshold(std::int64_t base, std::int64_t factor) {
        thresholdBase = base;
        thresholdFactor = factor;
    }

    // Releases the pairing marks; PairedCount stays.
    void FreeLines() {
        oldPaired.Free();
        newPaired.Free();
    }

    // Which lines of each version the last Match paired; Count() is the
    // version's number of lines.
    const CLineMarks& OldPaired() const { return oldPaired; }
    const CLineMarks& NewPaired() const { return newPaired; }
    std::int32_t PairedCount() const { return pairedCount; }

private:
    CLineMarks oldPaired;
    CLineMarks newPaired;
    std::int32_t pairedCount = 0;
    std::int64_t thresholdBase = 256;
    std::int64_t thresholdFactor = 1;
};

}  // namespace tallyhawk
