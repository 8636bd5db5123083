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
//  - once the plain work grows past the size of the range, a table of the new
//    range's windows of L = best + 1 lines (by rolling hash) lists the only
//    new lines whose run could still beat best, and maybe a few more, which
//    the exact count then turns down.
// None of these changes which candidate first sets a new best, nor whether a
// run reaches the end of a range, so the chosen block is the same.
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

    // The window table: every new line j of the range that starts a window
    // of gramLength lines, listed by the window's hash in buckets, each in
    // ascending order; a tag byte of the hash per entry turns most lines of
    // other windows in the bucket away, and a filter of two bits per window
    // tells most absent windows without touching the table.
    void BuildTable(std::int32_t length);
    void FreeTable();
    static std::uint64_t Mix(std::int32_t id) {
        return std::uint64_t(std::int64_t(id)) * 0xC2B2AE3D27D4EB4FULL + 1;
    }
    // The hash of the window of `gramLength` ids at `ids`.
    std::uint64_t WindowHash(const std::int32_t* ids) const;
    // The hash of old line a's window, rolled on from the last one asked for
    // when that is close behind.
    std::uint64_t OldGram(std::int32_t a);
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

    std::int32_t gramLength = 0;  // 0: no table for this range
    std::uint64_t gramPower = 1;  // kGramBase to the power gramLength
    std::vector<std::int32_t> bucketStart;  // per bucket, and one more: its first entry
    std::vector<std::int32_t> entries;      // new lines, by bucket
    std::vector<std::uint8_t> tags;         // per entry
    std::vector<std::uint64_t> filter;
    std::size_t bucketMask = 0, filterMask = 0;
    std::int32_t oldGramAt = -1;  // the old line whose window hash is oldGram, or -1
    std::uint64_t oldGram = 0;
};

constexpr std::uint64_t kGramBase = 0x9E3779B97F4A7C15ULL;

std::uint64_t BlockFinder::WindowHash(const std::int32_t* ids) const {
    std::uint64_t gram = 0;
    for (std::int32_t t = 0; t < gramLength; ++t) gram = gram * kGramBase + Mix(ids[t]);
    return gram;
}

std::uint64_t BlockFinder::OldGram(std::int32_t a) {
    if (oldGramAt >= 0 && a >= oldGramAt && a - oldGramAt <= gramLength) {
        for (; oldGramAt < a; ++oldGramAt) {
            oldGram = oldGram * kGramBase - Mix(oldId[oldGramAt]) * gramPower +
                      Mix(oldId[oldGramAt + gramLength]);
        }
    } else {
        oldGram = WindowHash(oldId + a);
        oldGramAt = a;
    }
    return oldGram;
}

void BlockFinder::FreeTable() {
    gramLength = 0;
    std::vector<std::int32_t>().swap(bucketStart);
    std::vector<std::int32_t>().swap(entries);
    std::vector<std::uint8_t>().swap(tags);
    std::vector<std::uint64_t>().swap(filter);
}

void BlockFinder::BuildTable(std::int32_t length) {
    gramLength = length;
    gramPower = 1;
    for (std::uint64_t base = kGramBase, e = std::uint64_t(length); e; e >>= 1, base *= base)
        if (e & 1) gramPower *= base;
    oldGramAt = -1;
    const std::int32_t count = std::max(0, newHigh - newLow - length + 1);
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

    // Two passes of the rolling hash over the range: count the buckets'
    // entries, then place them, in ascending order within each bucket.
    auto eachWindow = [&](auto&& visit) {
        if (count == 0) return;
        std::uint64_t gram = WindowHash(newId + newLow);
        for (std::int32_t j = newLow;; ++j) {
            visit(j, gram);
            if (j + 1 >= newLow + count) break;
            gram = gram * kGramBase - Mix(newId[j]) * gramPower + Mix(newId[j + length]);
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
    gramLength = 0;
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
        if (gramLength > 0 && outcome == Outcome::Continue && oldHigh - a >= gramLength) {
            const std::uint64_t gram = OldGram(a);
            if (MayHaveWindow(gram)) {
                const std::size_t bucket = Bucket(gram);
                const std::uint8_t tag = Tag(gram);
                const std::int32_t end = bucketStart[bucket + 1];
                for (std::int32_t e = bucketStart[bucket]; e < end; ++e) {
                    const std::int32_t j = entries[std::size_t(e)];
                    if (j <= lastJ || tags[std::size_t(e)] != tag) continue;
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
    oldPaired.Free();
    newPaired.Free();
    pairedCount = 0;

    // The new version's lines by content, and each old line's group among
    // them (kNone when the new version lacks it).
    CLineIndex index;
    index.Build(current, separator);
    std::int64_t oldCount =
        std::int64_t(bytesearch::Count(previous.data(), previous.data() + previous.size(), separator));
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
