#include "diff/LineMatcher.h"

#include <algorithm>
#include <bit>
#include <vector>

namespace tallyhawk {

namespace {

// Upper bounds on the longest run any old line can start: ub[a] bounds the
// run of old line a with any new line, in the range being searched and in
// every range nested inside it. A max-tree over the bounds finds the next old
// line that could still beat the best run without visiting the others.
class RunBounds {
public:
    explicit RunBounds(std::int32_t count) {
        while (leaves < count) leaves <<= 1;
        tree.assign(2 * std::size_t(leaves), 0);
        for (std::int32_t a = 0; a < count; ++a) tree[std::size_t(leaves + a)] = count - a;
        for (std::int32_t node = leaves - 1; node >= 1; --node)
            tree[std::size_t(node)] =
                std::max(tree[2 * std::size_t(node)], tree[2 * std::size_t(node) + 1]);
    }

    std::int32_t Bound(std::int32_t a) const { return tree[std::size_t(leaves + a)]; }

    // Lowers the bounds of the old lines [from, to) to at most `bound`,
    // the leaves first and then, level by level, the nodes above them.
    void Lower(std::int32_t from, std::int32_t to, std::int32_t bound) {
        if (from >= to) return;
        std::size_t first = std::size_t(leaves + from), last = std::size_t(leaves + to - 1);
        bool lowered = false;
        for (std::size_t node = first; node <= last; ++node) {
            if (tree[node] > bound) {
                tree[node] = bound;
                lowered = true;
            }
        }
        if (!lowered) return;
        for (first >>= 1, last >>= 1; first >= 1; first >>= 1, last >>= 1) {
            for (std::size_t node = first; node <= last; ++node)
                tree[node] = std::max(tree[2 * node], tree[2 * node + 1]);
        }
    }

    // The first a in [from, to) whose bound exceeds `best`, or `to`.
    std::int32_t FirstAbove(std::int32_t from, std::int32_t to, std::int32_t best) const {
        std::int32_t found = Search(1, 0, leaves, from, to, best);
        return found < 0 ? to : found;
    }

private:
    std::int32_t Search(std::size_t node, std::int32_t low, std::int32_t high, std::int32_t from,
                        std::int32_t to, std::int32_t best) const {
        if (high <= from || low >= to || tree[node] <= best) return -1;
        if (high - low == 1) return low;
        std::int32_t middle = low + (high - low) / 2;
        std::int32_t found = Search(2 * node, low, middle, from, to, best);
        return found >= 0 ? found : Search(2 * node + 1, middle, high, from, to, best);
    }

    std::int32_t leaves = 1;
    std::vector<std::int32_t> tree;
};

struct Block {
    std::int32_t oldStart = 0;
    std::int32_t newStart = 0;
    std::int32_t length = 0;
};

// Finds the longest block of a range, exactly as the plain scan would, while
// skipping candidates that cannot become the block:
//  - lines are compared through content ids (equal ids <=> equal lines);
//  - a candidate (a, j) whose lines a-1 and j-1 are equal and in range lies on
//    a diagonal already counted from (a-1, j-1), one line longer and earlier
//    in scan order, so its run is shorter than the best so far;
//  - a candidate whose lines at offset `best` differ cannot run longer than best;
//  - no run can exceed the end of either range, nor an old line's bound
//    (what earlier, enclosing searches proved about it);
//  - once the plain work grows past the size of the range, a table of the new
//    range's windows of L = best + 1 lines (by rolling hash) lists the only
//    new lines whose run could still beat best.
// None of these changes which candidate first sets a new best, nor whether a
// run reaches the end of a range, so the chosen block is the same.
class BlockFinder {
public:
    // Finds every old line's group, then releases the index's lookup table,
    // which the search no longer needs.
    BlockFinder(const CLineArray& oldLines, const CLineArray& newLines, CLineIndex& index,
                std::int64_t thresholdBase, std::int64_t thresholdFactor)
        : index(index),
          bounds(oldLines.Count()),
          thresholdBase(thresholdBase),
          thresholdFactor(thresholdFactor),
          newId(index.LineGroups()),
          newCount(newLines.Count()) {
        oldId.resize(std::size_t(oldLines.Count()));
        for (std::int32_t a = 0; a < oldLines.Count(); ++a) {
            std::int32_t group = index.Find(oldLines[a]);
            oldId[std::size_t(a)] =
                group != CLineIndex::kNone ? group : -1 - a;  // unique, never a new id
        }
        index.ReleaseLookup();
    }

    Block Find(std::int32_t oldLow, std::int32_t oldHigh, std::int32_t newLow,
               std::int32_t newHigh) {
        const Block block = Search(oldLow, oldHigh, newLow, newHigh);
        FlushLowering();
        return block;
    }

private:
    enum class Outcome { Continue, NextOld, EndSearch };

    Block Search(std::int32_t oldLow, std::int32_t oldHigh, std::int32_t newLow,
                 std::int32_t newHigh);
    // Old line a's runs in this range are at most `bound`. The search reads
    // the bounds of old lines after the current one only, so the lowering of
    // the lines it has passed is gathered into runs and applied once the
    // range is done, for the ranges nested in it.
    void LowerLater(std::int32_t a, std::int32_t bound) {
        if (a == lowerTo && bound == lowerBound) {
            ++lowerTo;
            return;
        }
        FlushLowering();
        lowerFrom = a;
        lowerTo = a + 1;
        lowerBound = bound;
    }
    void FlushLowering() {
        bounds.Lower(lowerFrom, lowerTo, lowerBound);
        lowerFrom = lowerTo = 0;
    }
    // Whether some new window of the table may have this hash: a filter that
    // stays in the cache, where most probes of the table itself would miss.
    bool MayHaveWindow(std::uint64_t gram) const {
        const std::uint64_t first = (gram >> 7) & filterMask,
                            second = std::rotl(gram, 23) & filterMask;
        return ((filter[first >> 6] >> (first & 63)) & (filter[second >> 6] >> (second & 63)) &
                1) != 0;
    }

    Outcome Consider(std::int32_t a, std::int32_t j);
    void BuildTable(std::int32_t length);
    std::uint64_t OldGram(std::int32_t a) const {
        return oldPrefix[std::size_t(a + gramLength)] - oldPrefix[std::size_t(a)] * gramPower;
    }
    std::uint64_t NewGram(std::int32_t j) const {
        return newPrefix[std::size_t(j + gramLength)] - newPrefix[std::size_t(j)] * gramPower;
    }
    void PreparePrefixes();

    CLineIndex& index;
    RunBounds bounds;
    const std::int64_t thresholdBase;
    const std::int64_t thresholdFactor;
    std::vector<std::int32_t> oldId;
    const std::int32_t* newId;  // the index's line groups: equal lines, equal ids
    const std::int32_t newCount;

    // The range being searched and the best block so far.
    std::int32_t oldLow = 0, oldHigh = 0, newLow = 0, newHigh = 0;
    Block best;
    std::int64_t work = 0;

    // Rolling hashes of line ids and the window table of the current range.
    std::vector<std::uint64_t> oldPrefix, newPrefix;
    std::int32_t gramLength = 0;  // 0: no table for this range
    std::uint64_t gramPower = 1;
    std::vector<std::int32_t> tableHead, tableNext;
    // Per new line of the table: whether it is alone in its bucket, so that
    // a window found there is found nowhere else in the range.
    std::vector<std::uint8_t> alone;
    std::vector<std::uint64_t> filter;  // two bits per window hash
    std::uint64_t filterMask = 0;
    std::int32_t lowerFrom = 0, lowerTo = 0, lowerBound = 0;  // lowering not yet applied
    // A new line whose window the previous old line shared: the next old
    // line's window is most often the next new line's (the same diagonal).
    std::int32_t follow = -1;
    std::uint64_t tableMask = 0;
};

constexpr std::uint64_t kGramBase = 0x9E3779B97F4A7C15ULL;

void BlockFinder::PreparePrefixes() {
    if (!oldPrefix.empty()) return;
    auto fill = [](const std::int32_t* ids, std::size_t count, std::vector<std::uint64_t>& prefix) {
        prefix.resize(count + 1);
        prefix[0] = 0;
        for (std::size_t i = 0; i < count; ++i)
            prefix[i + 1] = prefix[i] * kGramBase +
                            std::uint64_t(std::int64_t(ids[i])) * 0xC2B2AE3D27D4EB4FULL + 1;
    };
    fill(oldId.data(), oldId.size(), oldPrefix);
    fill(newId, std::size_t(newCount), newPrefix);
}

void BlockFinder::BuildTable(std::int32_t length) {
    PreparePrefixes();
    gramLength = length;
    gramPower = 1;
    for (std::uint64_t base = kGramBase, e = std::uint64_t(length); e; e >>= 1, base *= base)
        if (e & 1) gramPower *= base;
    std::int32_t count = newHigh - newLow - length + 1;
    if (count < 0) count = 0;
    std::size_t size = 16;
    while (size < 2 * std::size_t(count)) size <<= 1;
    tableMask = size - 1;
    tableHead.assign(size, -1);
    tableNext.resize(std::size_t(count));
    alone.resize(std::size_t(count));
    std::size_t filterBits = 64;
    while (filterBits < 8 * std::size_t(count)) filterBits <<= 1;
    filterMask = filterBits - 1;
    filter.assign(filterBits / 64, 0);
    // Inserted from the back so that every chain lists new lines ascending.
    for (std::int32_t j = newLow + count - 1; j >= newLow; --j) {
        const std::uint64_t gram = NewGram(j);
        const std::uint64_t first = (gram >> 7) & filterMask;
        const std::uint64_t second = std::rotl(gram, 23) & filterMask;
        filter[first >> 6] |= std::uint64_t(1) << (first & 63);
        filter[second >> 6] |= std::uint64_t(1) << (second & 63);
        std::size_t bucket = std::size_t(gram >> 20) & tableMask;
        const std::int32_t head = tableHead[bucket];
        tableNext[std::size_t(j - newLow)] = head;
        alone[std::size_t(j - newLow)] = head < 0;
        if (head >= 0) alone[std::size_t(head - newLow)] = false;
        tableHead[bucket] = j;
    }
    work = 0;
}

BlockFinder::Outcome BlockFinder::Consider(std::int32_t a, std::int32_t j) {
    const std::int32_t top = best.length;
    if (newHigh - j <= top) return Outcome::NextOld;
    if (a > oldLow && j > newLow && oldId[std::size_t(a - 1)] == newId[j - 1])
        return Outcome::Continue;
    ++work;
    if (top > 0 && oldId[std::size_t(a + top)] != newId[j + top]) return Outcome::Continue;
    const std::int32_t limit = std::min(newHigh - j, oldHigh - a);
    const std::int32_t* o = oldId.data() + a;
    const std::int32_t* n = newId + j;
    std::int32_t run = 0;
    while (run < limit && o[run] == n[run]) ++run;
    work += run;
    if (run <= top) return Outcome::Continue;
    best = {a, j, run};
    return run == limit ? Outcome::EndSearch : Outcome::Continue;
}

Block BlockFinder::Search(std::int32_t oLow, std::int32_t oHigh, std::int32_t nLow,
                          std::int32_t nHigh) {
    oldLow = oLow;
    oldHigh = oHigh;
    newLow = nLow;
    newHigh = nHigh;
    best = Block{};
    work = 0;
    gramLength = 0;
    follow = -1;
    const std::int64_t budget =
        thresholdFactor * (std::int64_t(oHigh - oLow) + (nHigh - nLow)) + thresholdBase;

    for (std::int32_t a = oldLow; a < oldHigh; ++a) {
        if (oldHigh - a <= best.length) break;
        if (bounds.Bound(a) <= best.length) {
            a = bounds.FirstAbove(a + 1, oldHigh, best.length) - 1;
            continue;
        }
        if (gramLength > 0 && best.length >= 2 * gramLength - 1) BuildTable(best.length + 1);

        std::int32_t lastJ = newLow - 1;
        Outcome outcome = Outcome::Continue;
        if (gramLength == 0) {
            std::int32_t group = oldId[std::size_t(a)];
            if (group >= 0) {
                const std::int32_t* end = index.GroupEnd(group);
                const std::int32_t* it = std::lower_bound(index.GroupBegin(group), end, newLow);
                for (; it != end && *it < newHigh; ++it) {
                    lastJ = *it;
                    outcome = Consider(a, lastJ);
                    if (outcome != Outcome::Continue) break;
                    if (best.length >= bounds.Bound(a)) break;  // no later run of a can beat it
                    if (work >= budget && best.length > 0) {
                        BuildTable(best.length + 1);
                        break;
                    }
                }
            }
        }
        if (gramLength > 0 && outcome == Outcome::Continue && oldHigh - a >= gramLength) {
            const std::uint64_t gram = OldGram(a);
            const std::int32_t next = follow + 1;
            if (follow >= newLow && next < newLow + std::int32_t(alone.size()) &&
                alone[std::size_t(next - newLow)] && NewGram(next) == gram) {
                // The one new line with this window, which the walk below
                // would meet alone; found without touching the table.
                if (next > lastJ) outcome = Consider(a, next);
                follow = next;
            } else if (!MayHaveWindow(gram)) {
                follow = -1;  // no new line of the range has this window
            } else {
                follow = -1;
                for (std::int32_t j = tableHead[std::size_t(gram >> 20) & tableMask]; j >= 0;
                     j = tableNext[std::size_t(j - newLow)]) {
                    if (j <= lastJ || NewGram(j) != gram) continue;
                    follow = j;
                    outcome = Consider(a, j);
                    if (outcome != Outcome::Continue || best.length >= bounds.Bound(a)) break;
                }
            }
        }
        if (outcome == Outcome::EndSearch) return best;
        LowerLater(a, best.length);
    }
    return best;
}

}  // namespace

std::int32_t CLineMatcher::Match(std::string_view previous, std::string_view current,
                                 char separator) {
    CLineIndex index;
    SplitLines(previous, separator, oldLines);
    SplitLines(current, separator, newLines, &index);
    pairedCount = 0;
    if (oldLines.Count() == 0 || newLines.Count() == 0) return 0;

    BlockFinder finder(oldLines, newLines, index, thresholdBase, thresholdFactor);
    // Pending ranges on an explicit stack, so that any number of blocks is
    // safe; the order in which ranges are searched does not change the blocks.
    struct Range {
        std::int32_t oldLow, oldHigh, newLow, newHigh;
    };
    std::vector<Range> pending{{0, oldLines.Count(), 0, newLines.Count()}};
    while (!pending.empty()) {
        Range r = pending.back();
        pending.pop_back();
        Block block = finder.Find(r.oldLow, r.oldHigh, r.newLow, r.newHigh);
        if (block.length == 0) continue;
        pairedCount += block.length;
        const std::int32_t i = block.oldStart, j = block.newStart, k = block.length;
        if (r.oldLow != i && r.newLow != j) pending.push_back({r.oldLow, i, r.newLow, j});
        if (i + k < r.oldHigh && j + k < r.newHigh)
            pending.push_back({i + k, r.oldHigh, j + k, r.newHigh});
        for (std::int32_t t = 0; t < k; ++t) {
            oldLines[i + t].partner = j + t;
            newLines[j + t].partner = i + t;
        }
    }
    return pairedCount;
}

}  // namespace tallyhawk
