// A plain, slow second implementation of the change detector's rules, used
// only by the tests to check CChangeDetector byte for byte.
//
// It shares no code with src/diff on purpose: every step is written the
// simplest way that visibly follows the rules (lines compared byte by byte,
// the block search by brute force over the candidate lines, recursion for
// the pairing, one std::string per output). It is meant for small pages:
// its pairing recursion is as deep as the number of blocks, and its costs
// are quadratic and worse.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tallyhawk {

// A byte span of a page: offset and length in bytes.
struct ReferenceSpan {
    std::int64_t start = 0;
    std::int64_t length = 0;
    std::int64_t End() const { return start + length; }
    friend bool operator==(const ReferenceSpan&, const ReferenceSpan&) = default;
};

// The five outputs and the flags of one comparison.
struct ReferenceResult {
    std::uint32_t flags = 0;
    std::string addedText;
    std::string deletedText;
    std::string addedHtml;
    std::string deletedHtml;
    std::string highlightedHtml;
};

// Compares `previous` with `current` (the page bytes, no zero byte inside)
// the way CChangeDetector::Compare does, with the given numbers of changes
// to ignore and the colour of the highlight (a COLORREF, red lowest).
ReferenceResult ReferenceCompare(std::string_view previous, std::string_view current,
                                 int ignoreFirst = 0, int ignoreLast = 0,
                                 std::uint32_t addedColor = 0x0064FFFF);

// The pieces, exposed so that tests can pin them down on their own.

// The lines of a page: each ends at a newline (which it includes) or at the
// last byte of the page.
std::vector<std::string_view> ReferenceSplitLines(std::string_view page);

// partner[i] for every old line (first) and every new line (second); -1 for
// an unpaired line.
struct ReferencePairing {
    std::vector<std::int64_t> oldPartner;
    std::vector<std::int64_t> newPartner;
    std::int64_t pairedCount = 0;
};
ReferencePairing ReferencePairLines(const std::vector<std::string_view>& oldLines,
                                    const std::vector<std::string_view>& newLines);

// The spans of the page outside tags, comments and an opened title.
std::vector<ReferenceSpan> ReferenceTextRanges(std::string_view page);

// "<b style=\"background:#RRGGBB\">" for a COLORREF.
std::string ReferenceStartTag(std::uint32_t color);

}  // namespace tallyhawk
