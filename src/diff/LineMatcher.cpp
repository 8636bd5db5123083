#include "diff/LineMatcher.h"

#include <algorithm>
#include <bit>
#include <vector>

namespace tallyhawk {

namespace {

// Upper bounds on the longest run any old line can start: Bound(a) bounds the
// run of old line a with any new line, in the range being searched and in
// every range nested inside it. Two bytes a line: a bound of 65535 or more
// is kept as "unknown", which is still an upper bound. A max-tree over
// blocks of 64 lines finds the next old line that could still beat the best
// run without visiting the others.
class RunBounds {
public:
    explicit RunBounds(std::int32_t count) : bounds(std::size_t(count)) {
        for (std::int32_t a = 0; a < count; ++a) bounds[std::size_t(a)] = Encode(count - a);
        const std::int32_t blocks = (count + kBlock - 1) / kBlock;
        while (leaves < blocks) leaves <<= 1;
        tree.assign(2 * std::size_t(leaves), 0);
        for (std::int32_t b = 0; b < blocks; ++b)
            tree[std::size_t(leaves + b)] = bounds[std::size_t(b) * kBlock];  // bounds descend
        for (std::int32_t node = leaves - 1; node >= 1; --node)
            tree[std::size_t(node)] =
                std::max(tree[2 * std::size_t(node)], tree[2 * std::size_t(node) + 1]);
    }

    std::int32_t Bound(std::int32_t a) const { return Decode(bounds[std::size_t(a)]); }

    // Lowers the bounds of the old lines [from, to) to at most `bound`, the
    // lines first and then, level by level, the blocks and nodes above them.
    void Lower(std::int32_t from, std::int32_t to, std::int32_t bound) {
        if (from >= to) return;
        const std::uint16_t code = Encode(bound);
        bool lowered = false;
        for (std::int32_t a = from; a < to; ++a) {
            if (bounds[std::size_t(a)] > code) {
                bounds[std::size_t(a)] = code;
                lowered = true;
            }
        }
        if (!lowered) return;
        std::size_t first = std::size_t(from / kBlock), last = std::size_t((to - 1) / kBlock);
        for (std::size_t b = first; b <= last; ++b) {
            const std::size_t begin = b * kBlock, end = std::min(begin + kBlock, bounds.size());
            tree[leaves + b] = *std::max_element(bounds.begin() + std::ptrdiff_t(begin),
                                                 bounds.begin() + std::ptrdiff_t(end));
        }
        first += leaves;
        last += leaves;
        for (first >>= 1, last >>= 1; first >= 1; first >>= 1, last >>= 1) {
            for (std::size_t node = first; node <= last; ++node)
                tree[node] = std::max(tree[2 * node], tree[2 * node + 1]);
        }
    }

    // The first a in [from, to) whose bound exceeds `best`, or `to`.
    std::int32_t FirstAbove(std::int32_t from, std::int32_t to, std::int32_t best) const {
        std::int32_t a = from;
        const std::int32_t blockEnd = std::min(to, (from / kBlock + 1) * kBlock);
        for (; a < blockEnd; ++a)
            if (Bound(a) > best) return a;
        if (a >= to) return to;
        const std::int32_t block = Search(1, 0, leaves, a / kBlock, (to - 1) / kBlock + 1, best);
        if (block < 0) return to;
        for (a = block * kBlock; a < to; ++a)
            if (Bound(a) > best) return a;
        return to;
    }

private:
    static constexpr std::int32_t kBlock = 64;
    static constexpr std::uint16_t kUnknown = 0xFFFF;
    static std::uint16_t Encode(std::int32_t bound) {
        return bound >= kUnknown ? kUnknown : std::uint16_t(bound < 0 ? 0 : bound);
    }
    static std::int32_t Decode(std::uint16_t code) {
        return code == kUnknown ? INT32_MAX : std::int32_t(code);
    }

    // The first block in [from, to) whose maximum exceeds `best`, or -1.
    std::int32_t Search(std::size_t node, std::int32_t low, std::int32_t high, std::int32_t from,
                        std::int32_t to, std::int32_t best) const {
        if (high <= from || low >= to || Decode(tree[node]) <= best) return -1;
        if (high - low == 1) return low;
        std::int32_t middle = low + (high - low) / 2;
        std::int32_t found = Search(2 * node, low, middle, from, to, best);
        return found >= 0 ? found : Search(2 * node + 1, middle, high, from, to, best);
    }

    std::vector<std::uint16_t> bounds;  // per old line, encoded
    std::int32_t leaves = 1;
    std::vector<std::uint16_t> tree;  // maxima of blocks, then of nodes
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
//  - once the plain work grows past the size of the range, a table of windows
//    lists the only new lines whose run could still beat best (L = best + 1
//    lines or more), and maybe a few more, which the exact count turns down.
//    Such a run, from (a, j), holds the window of W = L - s + 1 lines that
//    starts at the first new line j' >= j with j' - newLow a multiple of s,
//    and old line a + (j' - j) starts the same window. So the table lists
//    only every s-th new line's window, by rolling hash, and each old line
//    looks up the windows of a, a+1, ... a+s-1.
// None of these changes which candidate first sets a new best, nor whether a
// run reaches the end of a range, so the chosen block is the same.
constexpr std::int32_t kMaxStep = 4;

class BlockFinder {
public:
    BlockFinder(const std::vector<std::int32_t>& oldIds, const CLineIndex& index,
                std::int64_t thresholdBase, std::int64_t thresholdFactor)
        : index(index),
          bounds(std::int32_t(oldIds.size())),
          thresholdBase(thresholdBase),
          thresholdFactor(thresholdFactor),
          oldId(oldIds.data()),
          newId(index.LineGroups()) {}

    Block Find(std::int32_t oldLow, std::int32_t oldHigh, std::int32_t newLow,
               std::int32_t newHigh) {
        const Block block = Search(oldLow, oldHigh, newLow, newHigh);
        FlushLowering();
        FreeTable();
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

    Outcome Consider(std::int32_t a, std::int32_t j);

    // The window table: every s-th new line j of the range (from newLow on)
    // that starts a window of gramLength lines, listed by the window's hash
    // in buckets, each in ascending order; a tag byte of the hash per entry
    // turns most lines of other windows in the bucket away, and a filter of
    // two bits per window tells most absent windows without touching the
    // table. About a byte a line of the range in all.
    void BuildTable(std::int32_t length);
    void FreeTable();
    // Adds the candidates that the table gives old line a, ascending, after lastJ.
    void TableCandidates(std::int32_t a, std::int32_t lastJ);
    static std::uint64_t Mix(std::int32_t id) {
        return std::uint64_t(std::int64_t(id)) * 0xC2B2AE3D27D4EB4FULL + 1;
    }
    // The hash of the window of `gramLength` ids at `ids`.
    std::uint64_t WindowHash(const std::int32_t* ids) const;
    // The hashes of the old windows at a ... a + step - 1, in oldGrams[p mod step],
    // rolled on from the last ones asked for when those are close behind.
    void OldGrams(std::int32_t a);
    std::size_t Bucket(std::uint64_t gram) const { return std::size_t(gram >> 24) & bucketMask; }
    static std::uint8_t Tag(std::uint64_t gram) { return std::uint8_t(gram >> 56); }
    void FilterBits(std::uint64_t gram, std::size_t& first, std::size_t& second) const {
        first = std::size_t(gram >> 3) & filterMask;
        second = std::size_t(std::rotl(gram, 23)) & filterMask;
    }
    bool MayHaveWindow(std::uint64_t gram) const {
        std::size_t first, second;
        FilterBits(gram, first, second);
        return ((filter[first >> 6] >> (first & 63)) & (filter[second >> 6] >> (second & 63)) &
                1) != 0;
    }

    const CLineIndex& index;
    RunBounds bounds;
    const std::int64_t thresholdBase;
    const std::int64_t thresholdFactor;
    const std::int32_t* oldId;  // kNone for lines the new version lacks
    const std::int32_t* newId;  // the index's line groups: equal lines, equal ids

    // The range being searched and the best block so far.
    std::int32_t oldLow = 0, oldHigh = 0, newLow = 0, newHigh = 0;
    Block best;
    std::int64_t work = 0;
    std::int32_t lowerFrom = 0, lowerTo = 0, lowerBound = 0;  // lowering not yet applied

    std::int32_t runLength = 0;   // L: the runs the table finds; 0: no table for this range
    std::int32_t step = 1;        // s: every s-th new line's window is listed
    std::int32_t gramLength = 0;  // W = L - s + 1
    std::uint64_t gramPower = 1;  // kGramBase to the power gramLength
    std::vector<std::int32_t> bucketStart;  // per bucket, and one more: its first entry
    std::vector<std::int32_t> entries;      // new lines, by bucket
    std::vector<std::uint8_t> tags;         // per entry
    std::vector<std::uint64_t> filter;
    std::size_t bucketMask = 0, filterMask = 0;
    std::int32_t oldGramAt = -1;  // a of the last OldGrams, or -1
    std::uint64_t oldGrams[kMaxStep] = {};
    std::vector<std::int32_t> candidates;  // TableCandidates' result
};

constexpr std::uint64_t kGramBase = 0x9E3779B97F4A7C15ULL;

std::uint64_t BlockFinder::WindowHash(const std::int32_t* ids) const {
    std::uint64_t gram = 0;
    for (std::int32_t t = 0; t < gramLength; ++t) gram = gram * kGramBase + Mix(ids[t]);
    return gram;
}

void BlockFinder::OldGrams(std::int32_t a) {
    auto roll = [&](std::int32_t p) {  // the window at p from the one at p - 1
        const std::uint64_t previous = oldGrams[std::size_t((p - 1) & (step - 1))];
        oldGrams[std::size_t(p & (step - 1))] =
            previous * kGramBase - Mix(oldId[p - 1]) * gramPower + Mix(oldId[p - 1 + gramLength]);
    };
    std::int32_t lead;  // the last window known, from which to roll on
    if (oldGramAt >= 0 && a >= oldGramAt && a - oldGramAt <= gramLength) {
        lead = oldGramAt + step - 1;
    } else {
        oldGrams[std::size_t(a & (step - 1))] = WindowHash(oldId + a);
        lead = a;
    }
    for (std::int32_t p = lead + 1; p < a + step; ++p) roll(p);
    oldGramAt = a;
}

void BlockFinder::FreeTable() {
    runLength = gramLength = 0;
    std::vector<std::int32_t>().swap(bucketStart);
    std::vector<std::int32_t>().swap(entries);
    std::vector<std::uint8_t>().swap(tags);
    std::vector<std::uint64_t>().swap(filter);
}

void BlockFinder::BuildTable(std::int32_t length) {
    runLength = length;
    step = 1;  // a power of two, so that a line's place in the ring is a mask away
    while (2 * step <= std::min(kMaxStep, length)) step *= 2;
    gramLength = length - step + 1;
    gramPower = 1;
    for (std::uint64_t base = kGramBase, e = std::uint64_t(gramLength); e; e >>= 1, base *= base)
        if (e & 1) gramPower *= base;
    oldGramAt = -1;
    // The listed windows: newLow, newLow + s, ... while a whole window fits.
    const std::int32_t windows = std::max(0, newHigh - newLow - gramLength + 1);
    const std::int32_t count = (windows + step - 1) / step;
    std::size_t buckets = 16;  // about two entries a bucket
    while (2 * buckets < std::size_t(count)) buckets <<= 1;
    bucketMask = buckets - 1;
    std::size_t filterBits = 64;
    while (filterBits < 4 * std::size_t(count)) filterBits <<= 1;
    filterMask = filterBits - 1;
    filter.assign(filterBits / 64, 0);
    bucketStart.assign(buckets + 1, 0);
    entries.resize(std::size_t(count));
    tags.resize(std::size_t(count));

    // Two passes over the listed windows: count the buckets' entries, then
    // place them, in ascending order within each bucket. The hash rolls on
    // from one window to the next; listed windows that overlap share the
    // rolling, others are hashed afresh.
    auto eachWindow = [&](auto&& visit) {
        std::uint64_t gram = 0;
        std::int32_t at = -1;  // the window `gram` is the hash of
        for (std::int32_t n = 0; n < count; ++n) {
            const std::int32_t j = newLow + n * step;
            if (at >= 0 && j - at < gramLength) {
                for (; at < j; ++at)
                    gram =
                        gram * kGramBase - Mix(newId[at]) * gramPower + Mix(newId[at + gramLength]);
            } else {
                gram = WindowHash(newId + j);
                at = j;
            }
            visit(j, gram);
        }
    };
    eachWindow([&](std::int32_t, std::uint64_t gram) {
        ++bucketStart[Bucket(gram) + 1];
        std::size_t first, second;
        FilterBits(gram, first, second);
        filter[first >> 6] |= std::uint64_t(1) << (first & 63);
        filter[second >> 6] |= std::uint64_t(1) << (second & 63);
    });
    for (std::size_t b = 0; b < buckets; ++b) bucketStart[b + 1] += bucketStart[b];
    eachWindow([&](std::int32_t j, std::uint64_t gram) {
        const std::size_t at = std::size_t(bucketStart[Bucket(gram)]++);
        entries[at] = j;
        tags[at] = Tag(gram);
    });
    // Each bucket's start moved on to the next one's: move them back.
    for (std::size_t b = buckets; b > 0; --b) bucketStart[b] = bucketStart[b - 1];
    bucketStart[0] = 0;
    work = 0;
}

void BlockFinder::TableCandidates(std::int32_t a, std::int32_t lastJ) {
    candidates.clear();
    OldGrams(a);
    for (std::int32_t shift = 0; shift < step; ++shift) {
        const std::uint64_t gram = oldGrams[std::size_t((a + shift) & (step - 1))];
        if (!MayHaveWindow(gram)) continue;
        const std::size_t bucket = Bucket(gram);
        const std::uint8_t tag = Tag(gram);
        const std::int32_t end = bucketStart[bucket + 1];
        for (std::int32_t e = bucketStart[bucket]; e < end; ++e) {
            // The window of new line j' = j + shift is old line a + shift's.
            const std::int32_t j = entries[std::size_t(e)] - shift;
            if (j > lastJ && j >= newLow && tags[std::size_t(e)] == tag) candidates.push_back(j);
        }
    }
    if (step > 1 && candidates.size() > 1) {
        std::sort(candidates.begin(), candidates.end());
        candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    }
}

BlockFinder::Outcome BlockFinder::Consider(std::int32_t a, std::int32_t j) {
    const std::int32_t top = best.length;
    if (newHigh - j <= top) return Outcome::NextOld;
    if (a > oldLow && j > newLow && oldId[a - 1] == newId[j - 1]) return Outcome::Continue;
    ++work;
    if (top > 0 && oldId[a + top] != newId[j + top]) return Outcome::Continue;
    const std::int32_t limit = std::min(newHigh - j, oldHigh - a);
    const std::int32_t* o = oldId + a;
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
    runLength = 0;
    const std::int64_t budget =
        thresholdFactor * (std::int64_t(oHigh - oLow) + (nHigh - nLow)) + thresholdBase;

    for (std::int32_t a = oldLow; a < oldHigh; ++a) {
        if (oldHigh - a <= best.length) break;
        if (bounds.Bound(a) <= best.length) {
            a = bounds.FirstAbove(a + 1, oldHigh, best.length) - 1;
            continue;
        }
        if (runLength > 0 && best.length >= 2 * runLength - 1) BuildTable(best.length + 1);

        std::int32_t lastJ = newLow - 1;
        Outcome outcome = Outcome::Continue;
        if (runLength == 0) {
            const std::int32_t group = oldId[a];
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
        if (runLength > 0 && outcome == Outcome::Continue && oldHigh - a >= runLength) {
            TableCandidates(a, lastJ);
            for (const std::int32_t j : candidates) {
                outcome = Consider(a, j);
                if (outcome != Outcome::Continue || best.length >= bounds.Bound(a)) break;
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
    oldPaired.Free();
    newPaired.Free();
    pairedCount = 0;

    // The new version's lines by content, and each old line's group among
    // them (kNone when the new version lacks it).
    CLineIndex index;
    index.Build(current, separator);
    std::int64_t oldCount = std::int64_t(
        bytesearch::Count(previous.data(), previous.data() + previous.size(), separator));
    if (!previous.empty() && previous.back() != separator) ++oldCount;
    if (oldCount > INT32_MAX - 16) throw CXpException(kAllocationFailed);
    std::vector<std::int32_t> oldIds;
    oldIds.reserve(std::size_t(oldCount));
    CLineWalker walker(previous, separator);
    for (std::string_view line; walker.Next(line);) oldIds.push_back(index.Find(line));
    index.ReleaseLookup();

    oldPaired.Reset(std::int32_t(oldIds.size()));
    newPaired.Reset(index.LineCount());
    if (oldIds.empty() || index.LineCount() == 0) return 0;

    BlockFinder finder(oldIds, index, thresholdBase, thresholdFactor);
    // Pending ranges on an explicit stack, so that any number of blocks is
    // safe; the order in which ranges are searched does not change the blocks.
    struct Range {
        std::int32_t oldLow, oldHigh, newLow, newHigh;
    };
    std::vector<Range> pending{{0, std::int32_t(oldIds.size()), 0, index.LineCount()}};
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
            oldPaired.Mark(i + t);
            newPaired.Mark(j + t);
        }
    }
    return pairedCount;
}

}  // namespace tallyhawk
