#include "diff/ReferenceDetector.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <stdexcept>

namespace tallyhawk {
namespace {

// The page is a zero-terminated string: reading past its end gives zero.
unsigned char At(std::string_view page, std::int64_t pos) {
    if (pos < 0 || pos >= static_cast<std::int64_t>(page.size())) return 0;
    return static_cast<unsigned char>(page[static_cast<std::size_t>(pos)]);
}

// ---- Pairing ---------------------------------------------------------------

struct Lines {
    const std::vector<std::string_view>& text;
    std::vector<std::int64_t>& partner;
};

// Line equality: partners first, then the bytes (equal bytes imply equal
// hashes and lengths, so those tests add nothing here).
bool LinesEqual(const Lines& oldLines, std::int64_t a, const Lines& newLines, std::int64_t j) {
    return oldLines.partner[a] == newLines.partner[j] && oldLines.text[a] == newLines.text[j];
}

struct Block {
    std::int64_t oldStart = 0;
    std::int64_t newStart = 0;
    std::int64_t length = 0;
};

// The new lines that the index would list for old line a, ascending. Lines
// that only share the hash would give a run of 0, which never becomes the
// best block, so listing the lines with equal bytes gives the same answer.
std::vector<std::int64_t> Candidates(const Lines& oldLines, std::int64_t a, const Lines& newLines) {
    std::vector<std::int64_t> found;
    for (std::size_t j = 0; j < newLines.text.size(); ++j) {
        if (newLines.text[j] == oldLines.text[a]) found.push_back(static_cast<std::int64_t>(j));
    }
    return found;
}

std::optional<Block> FindLongestBlock(const Lines& oldLines, std::int64_t oldLow,
                                      std::int64_t oldHigh, const Lines& newLines,
                                      std::int64_t newLow, std::int64_t newHigh) {
    if (oldLow >= oldHigh) return std::nullopt;
    Block best;
    for (std::int64_t a = oldLow; a < oldHigh; ++a) {
        for (std::int64_t j : Candidates(oldLines, a, newLines)) {
            if (j < newLow) continue;
            if (j >= newHigh) break;
            const std::int64_t limit = std::min(newHigh - j, oldHigh - a);
            std::int64_t run = 0;
            while (run < limit && LinesEqual(oldLines, a + run, newLines, j + run)) ++run;
            if (run > best.length) {
                best = Block{a, j, run};
                if (run == limit) return best;
            }
        }
    }
    if (best.length == 0) return std::nullopt;
    return best;
}

std::int64_t MatchBlocks(const Lines& oldLines, std::int64_t oldLow, std::int64_t oldHigh,
                         const Lines& newLines, std::int64_t newLow, std::int64_t newHigh) {
    const std::optional<Block> block =
        FindLongestBlock(oldLines, oldLow, oldHigh, newLines, newLow, newHigh);
    if (!block) return 0;
    const std::int64_t i = block->oldStart;
    const std::int64_t j = block->newStart;
    const std::int64_t k = block->length;
    std::int64_t sum = k;
    if (oldLow != i && newLow != j) sum += MatchBlocks(oldLines, oldLow, i, newLines, newLow, j);
    if (i + k < oldHigh && j + k < newHigh) {
        sum += MatchBlocks(oldLines, i + k, oldHigh, newLines, j + k, newHigh);
    }
    for (std::int64_t t = 0; t < k; ++t) {
        oldLines.partner[i + t] = j + t;
        newLines.partner[j + t] = i + t;
    }
    return sum;
}

// ---- Text ranges -----------------------------------------------------------

struct Tag {
    std::int64_t length = 0;
    std::string name;
    bool opening = false;
};

bool IsTrimmedSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string TrimAndLower(std::string name) {
    while (!name.empty() && IsTrimmedSpace(static_cast<unsigned char>(name.back())))
        name.pop_back();
    std::size_t lead = 0;
    while (lead < name.size() && IsTrimmedSpace(static_cast<unsigned char>(name[lead]))) ++lead;
    name.erase(0, lead);
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

// A comment at `lt`: the first ">" after two or more dashes, else the first
// ">" at all, else none.
std::optional<Tag> ParseComment(std::string_view page, std::int64_t lt) {
    std::int64_t dashes = 0;
    for (std::int64_t pos = lt + 1; At(page, pos) != 0; ++pos) {
        const unsigned char c = At(page, pos);
        if (c == '-') {
            ++dashes;
        } else if (c == '>' && dashes >= 2) {
            return Tag{pos - lt + 1, "!--", false};
        } else {
            dashes = 0;
        }
    }
    for (std::int64_t pos = lt + 1; At(page, pos) != 0; ++pos) {
        if (At(page, pos) == '>') return Tag{pos - lt + 1, "!--", false};
    }
    return std::nullopt;
}

std::optional<Tag> ParseTag(std::string_view page, std::int64_t lt) {
    if (At(page, lt + 1) == '!' && At(page, lt + 2) == '-' && At(page, lt + 3) == '-') {
        return ParseComment(page, lt);
    }
    Tag tag;
    tag.opening = At(page, lt + 1) != '/';
    const std::int64_t nameStart = tag.opening ? lt + 1 : lt + 2;
    std::string name;
    for (std::int64_t pos = lt + 1;; ++pos) {
        const unsigned char c = At(page, pos);
        if (c == 0) return std::nullopt;
        if ((c == ' ' || c == '>') && name.empty()) {
            name = std::string(page.substr(static_cast<std::size_t>(nameStart),
                                           static_cast<std::size_t>(pos - nameStart)));
        }
        if (c == '>') {
            tag.length = pos - lt + 1;
            break;
        }
    }
    tag.name = TrimAndLower(std::move(name));
    return tag;
}

// ---- Changed ranges and outputs ----------------------------------------------

std::vector<ReferenceSpan> ChangedSpans(const std::vector<std::string_view>& lines,
                                        const std::vector<std::int64_t>& partner,
                                        std::int64_t pageLength) {
    std::vector<ReferenceSpan> spans;
    std::int64_t offset = 0;
    std::int64_t runStart = -1;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        if (partner[n] == -1) {
            if (runStart == -1) runStart = offset;
        } else if (runStart != -1) {
            spans.push_back({runStart, offset - runStart});
            runStart = -1;
        }
        offset += static_cast<std::int64_t>(lines[n].size());
    }
    if (runStart != -1) spans.push_back({runStart, pageLength - runStart});
    return spans;
}

std::vector<ReferenceSpan> Intersect(const std::vector<ReferenceSpan>& changed,
                                     const std::vector<ReferenceSpan>& text) {
    std::vector<ReferenceSpan> out;
    for (const ReferenceSpan& span : changed) {
        const std::int64_t a = span.start;
        const std::int64_t c = span.End();
        for (const ReferenceSpan& range : text) {
            const std::int64_t b = range.start;
            const std::int64_t d = range.End();
            if (b <= a && a <= d) {
                out.push_back({a, std::min(c, d) - a});
            } else if (a < b && b <= c) {
                out.push_back({b, std::min(c, d) - b});
            }
        }
    }
    return out;
}

struct IgnoreRule {
    std::int64_t first = 0;
    std::int64_t last = 0;
    bool operator()(std::int64_t position, std::int64_t total) const {
        return (first > 0 && position < first) || (last > 0 && position >= total - last);
    }
};

std::string_view Bytes(std::string_view page, const ReferenceSpan& span) {
    return page.substr(static_cast<std::size_t>(span.start), static_cast<std::size_t>(span.length));
}

std::string ChangedText(std::string_view page, const std::vector<ReferenceSpan>& ranges,
                        const IgnoreRule& ignored) {
    std::string out;
    int breaks = 3;
    const auto total = static_cast<std::int64_t>(ranges.size());
    for (std::int64_t i = 0; i < total; ++i) {
        if (ignored(i, total)) continue;
        for (char c : Bytes(page, ranges[static_cast<std::size_t>(i)])) {
            if (c == '\n') {
                if (breaks < 3) {
                    out += "\r\n";
                    ++breaks;
                }
            } else if (c != '\r') {
                out += c;
                breaks = 0;
            }
        }
    }
    return out;
}

std::string ChangedLines(const std::vector<std::string_view>& lines,
                         const std::vector<std::int64_t>& partner, std::int64_t pairedCount,
                         const IgnoreRule& ignored) {
    std::string out;
    const std::int64_t unpaired = static_cast<std::int64_t>(lines.size()) - pairedCount;
    std::int64_t count = 0;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        if (partner[n] != -1) continue;
        if (!ignored(count, unpaired)) out += lines[n];
        ++count;
    }
    return out;
}

// Bytes 0x80-0xFF count as printable, so that UTF-8 text is highlighted.
bool HasPrintable(std::string_view bytes) {
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 0x20 && u <= 0x7E) || u >= 0x80) return true;
    }
    return false;
}

std::string Highlighted(std::string_view page, const std::vector<ReferenceSpan>& ranges,
                        const IgnoreRule& ignored, const std::string& startTag) {
    std::string out;
    std::int64_t copied = 0;
    const auto total = static_cast<std::int64_t>(ranges.size());
    for (std::int64_t i = 0; i < total; ++i) {
        const ReferenceSpan& range = ranges[static_cast<std::size_t>(i)];
        if (range.start < copied) throw std::logic_error("changed ranges out of order");
        out += Bytes(page, {copied, range.start - copied});
        const std::string_view bytes = Bytes(page, range);
        if (HasPrintable(bytes) && !ignored(i, total)) {
            out += startTag;
            out += bytes;
            out += "</b>";
        } else {
            out += bytes;
        }
        copied = range.End();
    }
    // Every remainder is copied, a single last byte included.
    out += Bytes(page, {copied, static_cast<std::int64_t>(page.size()) - copied});
    return out;
}

}  // namespace

std::vector<std::string_view> ReferenceSplitLines(std::string_view page) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t pos = 0; pos < page.size(); ++pos) {
        if (page[pos] == '\n' || pos + 1 == page.size()) {
            lines.push_back(page.substr(start, pos + 1 - start));
            start = pos + 1;
        }
    }
    return lines;
}

ReferencePairing ReferencePairLines(const std::vector<std::string_view>& oldLines,
                                    const std::vector<std::string_view>& newLines) {
    ReferencePairing pairing;
    pairing.oldPartner.assign(oldLines.size(), -1);
    pairing.newPartner.assign(newLines.size(), -1);
    const Lines oldSide{oldLines, pairing.oldPartner};
    const Lines newSide{newLines, pairing.newPartner};
    pairing.pairedCount = MatchBlocks(oldSide, 0, static_cast<std::int64_t>(oldLines.size()),
                                      newSide, 0, static_cast<std::int64_t>(newLines.size()));
    return pairing;
}

std::vector<ReferenceSpan> ReferenceTextRanges(std::string_view page) {
    std::vector<ReferenceSpan> ranges;
    std::map<std::string, std::int64_t> counters;
    std::int64_t textStart = 0;
    std::int64_t pos = 0;
    while (At(page, pos) != 0) {
        const std::optional<Tag> tag = At(page, pos) == '<' ? ParseTag(page, pos) : std::nullopt;
        if (!tag) {
            ++pos;
            continue;
        }
        auto [it, isNew] = counters.try_emplace(tag->name, 0);
        if (isNew) {
            it->second = tag->opening ? 1 : 0;
        } else {
            it->second += tag->opening ? 1 : -1;
        }
        if (tag->name == "title" && it->second != 0) {
            textStart = -1;
        } else {
            if (textStart != -1 && textStart != pos) ranges.push_back({textStart, pos - textStart});
            textStart = pos + tag->length;
        }
        pos += tag->length;
    }
    if (textStart != -1 && textStart < pos) ranges.push_back({textStart, pos - textStart});
    return ranges;
}

std::string ReferenceStartTag(std::uint32_t color) {
    char text[64];
    std::snprintf(text, sizeof text, "<b style=\"background:#%2.2X%2.2X%2.2X\">", color & 0xFFu,
                  (color >> 8) & 0xFFu, (color >> 16) & 0xFFu);
    return text;
}

ReferenceResult ReferenceCompare(std::string_view previous, std::string_view current,
                                 int ignoreFirst, int ignoreLast, std::uint32_t addedColor) {
    const std::vector<std::string_view> oldLines = ReferenceSplitLines(previous);
    const std::vector<std::string_view> newLines = ReferenceSplitLines(current);
    const ReferencePairing pairing = ReferencePairLines(oldLines, newLines);

    const std::vector<ReferenceSpan> additions = Intersect(
        ChangedSpans(newLines, pairing.newPartner, static_cast<std::int64_t>(current.size())),
        ReferenceTextRanges(current));
    const std::vector<ReferenceSpan> deletions = Intersect(
        ChangedSpans(oldLines, pairing.oldPartner, static_cast<std::int64_t>(previous.size())),
        ReferenceTextRanges(previous));

    const IgnoreRule ignored{ignoreFirst, ignoreLast};
    ReferenceResult result;
    result.highlightedHtml =
        Highlighted(current, additions, ignored, ReferenceStartTag(addedColor));
    result.addedText = ChangedText(current, additions, ignored);
    result.deletedText = ChangedText(previous, deletions, ignored);
    result.addedHtml = ChangedLines(newLines, pairing.newPartner, pairing.pairedCount, ignored);
    result.deletedHtml = ChangedLines(oldLines, pairing.oldPartner, pairing.pairedCount, ignored);

    std::uint32_t flags = 0;
    if (!result.addedText.empty()) flags |= 2;
    if (!result.deletedText.empty()) flags |= 4;
    if (!result.addedHtml.empty()) flags |= 8;
    if (!result.deletedHtml.empty()) flags |= 16;
    if (flags == 0 || previous.empty()) flags = 1;
    result.flags = flags;
    return result;
}

}  // namespace tallyhawk
