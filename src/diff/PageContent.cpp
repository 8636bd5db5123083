#include "diff/PageContent.h"

#include <algorithm>
#include <cstring>

namespace tallyhawk {

namespace {

constexpr std::uint32_t kHashMultiplier = 6293815;  // 0x600937

bool IsWhite(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

std::int64_t CountByte(const char* data, std::size_t size, char byte) {
    std::int64_t count = 0;
    if (size == 0) return 0;  // an empty view may have no storage, and memchr wants some
    for (const char* p = data;
         (p = static_cast<const char*>(std::memchr(p, byte, size - std::size_t(p - data)))); ++p)
        ++count;
    return count;
}

std::uint32_t Mix(std::uint32_t hash, std::int32_t length, unsigned char first) {
    // The line hash ignores the first byte and is weak in the low bits; fold
    // in the length and first byte and scramble before using it as a slot.
    std::uint64_t x =
        (std::uint64_t(hash) << 32) ^ (std::uint64_t(std::uint32_t(length)) << 8) ^ first;
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    return std::uint32_t(x);
}

}  // namespace

bool CLine::operator==(const CLine& other) const {
    return partner == other.partner && hash == other.hash && length == other.length &&
           std::memcmp(bytes, other.bytes, std::size_t(length)) == 0;
}

std::uint32_t LineHash(const char* bytes, std::size_t length) {
    // Four interleaved sums, each stepping its power by M^4, so that the
    // multiplications do not wait on each other.
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    const std::uint32_t m = kHashMultiplier;
    const std::uint32_t m4 = m * m * m * m;
    std::uint32_t p0 = m, p1 = m * m, p2 = p1 * m, p3 = p2 * m;
    std::uint32_t h0 = 0, h1 = 0, h2 = 0, h3 = 0;
    std::size_t i = 0;
    for (; i + 4 <= length; i += 4) {
        h0 += std::uint32_t(i) * b[i] * p0;
        h1 += std::uint32_t(i + 1) * b[i + 1] * p1;
        h2 += std::uint32_t(i + 2) * b[i + 2] * p2;
        h3 += std::uint32_t(i + 3) * b[i + 3] * p3;
        p0 *= m4;
        p1 *= m4;
        p2 *= m4;
        p3 *= m4;
    }
    std::uint32_t hash = h0 + h1 + h2 + h3;
    for (; i < length; ++i) {
        hash += std::uint32_t(i) * b[i] * p0;
        p0 *= m;
    }
    return hash;
}

std::int64_t SplitLines(std::string_view page, char separator, CLineArray& lines,
                        CLineIndex* index) {
    lines.Free();
    if (index) index->Clear();
    const char* data = page.data();
    const std::size_t size = page.size();
    // Size the array once: one line per separator, plus a last one without it.
    std::int64_t count = CountByte(data, size, separator);
    if (size > 0 && data[size - 1] != separator) ++count;
    if (count > INT32_MAX - 16) throw CXpException(kAllocationFailed);
    if (count > 0) lines.Reserve(std::int32_t(count));

    std::size_t start = 0;
    while (start < size) {
        const void* found = std::memchr(data + start, separator, size - start);
        std::size_t end = found ? std::size_t(static_cast<const char*>(found) - data) + 1 : size;
        CLine line;
        line.bytes = data + start;
        line.length = std::int32_t(end - start);
        line.hash = LineHash(line.bytes, std::size_t(line.length));
        lines.Add(line);
        start = end;
    }
    if (index) index->Build(lines);
    return std::int64_t(size);
}

void CLineIndex::Clear() {
    indexed = nullptr;
    lineGroup.clear();
    groupStart.clear();
    groupLines.clear();
    firstLine.clear();
    slots.clear();
}

std::size_t CLineIndex::Slot(const CLine& line) const {
    unsigned char first = line.length > 0 ? static_cast<unsigned char>(line.bytes[0]) : 0;
    return Mix(line.hash, line.length, first) & (slots.size() - 1);
}

std::size_t CLineIndex::Probe(const CLine& line) const {
    const CLineArray& lines = *indexed;
    for (std::size_t slot = Slot(line);; slot = (slot + 1) & (slots.size() - 1)) {
        const std::int32_t entry = slots[slot];
        if (entry == 0) return slot;
        const CLine& first = lines[firstLine[std::size_t(entry - 1)]];
        if (first.hash == line.hash && first.length == line.length &&
            std::memcmp(first.bytes, line.bytes, std::size_t(line.length)) == 0)
            return slot;
    }
}

std::int32_t CLineIndex::Find(const CLine& line) const {
    if (slots.empty()) return kNone;
    return slots[Probe(line)] - 1;  // a free slot holds 0: kNone
}

void CLineIndex::Build(const CLineArray& lines) {
    Clear();
    indexed = &lines;
    const std::size_t n = std::size_t(lines.Count());
    std::size_t tableSize = 16;
    while (tableSize < 2 * n) tableSize <<= 1;
    slots.assign(tableSize, 0);
    lineGroup.resize(n);

    // First pass: the group of every line; a line unlike all before it
    // starts a group of its own.
    std::vector<std::int32_t> groupSize;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t slot = Probe(lines[std::int32_t(i)]);
        if (slots[slot] == 0) {
            slots[slot] = std::int32_t(firstLine.size()) + 1;
            firstLine.push_back(std::int32_t(i));
            groupSize.push_back(0);
        }
        const std::int32_t group = slots[slot] - 1;
        ++groupSize[std::size_t(group)];
        lineGroup[i] = group;
    }

    // Second pass: lay the groups out one after another (a counting sort),
    // which keeps each group's lines ascending.
    groupStart.assign(groupSize.size() + 1, 0);
    for (std::size_t g = 0; g < groupSize.size(); ++g)
        groupStart[g + 1] = groupStart[g] + groupSize[g];
    groupLines.assign(n, 0);
    std::vector<std::int32_t> next(groupStart.begin(), groupStart.end() - 1);
    for (std::size_t i = 0; i < n; ++i)
        groupLines[std::size_t(next[std::size_t(lineGroup[i])]++)] = std::int32_t(i);
}

// --- text ranges -------------------------------------------------------------

namespace {

// A tag found at a "<", with its name as a span of the page (untrimmed).
struct TagSpan {
    std::size_t length = 0;
    std::size_t nameStart = 0;
    std::size_t nameLength = 0;
    bool opening = false;
    bool comment = false;
};

// Where the page is known to have no more closes: no ">" at or after
// `noCloseFrom`, no "-->" at or after `noArrowFrom`. Remembering them keeps a
// page full of stray "<" or of unclosed "<!--" from being searched to its end
// again for every one of them.
struct NoClose {
    std::size_t noCloseFrom;
    std::size_t noArrowFrom;
};

// Finds the tag at page[at] == '<'.
bool FindTag(std::string_view page, std::size_t at, TagSpan& tag, NoClose& known) {
    const char* data = page.data();
    const std::size_t size = page.size();
    auto findClose = [&](std::size_t from) -> std::size_t {
        if (from >= known.noCloseFrom) return std::string_view::npos;
        const void* found = std::memchr(data + from, '>', size - from);
        if (!found) {
            known.noCloseFrom = from;
            return std::string_view::npos;
        }
        return std::size_t(static_cast<const char*>(found) - data);
    };

    if (size - at >= 4 && data[at + 1] == '!' && data[at + 2] == '-' && data[at + 3] == '-') {
        // A comment ends at the first ">" directly after two or more dashes,
        // the opening dashes included; failing that, at the first ">" at all.
        std::size_t close = std::string_view::npos;
        if (at + 2 < known.noArrowFrom) {
            std::size_t arrow = page.find("-->", at + 2);
            if (arrow != std::string_view::npos) {
                close = arrow + 2;
            } else {
                known.noArrowFrom = at + 2;
            }
        }
        if (close == std::string_view::npos) close = findClose(at + 1);
        if (close == std::string_view::npos) return false;
        tag.length = close - at + 1;
        tag.nameStart = at + 1;
        tag.nameLength = 3;
        tag.opening = false;
        tag.comment = true;
        return true;
    }

    tag.comment = false;
    tag.opening = !(at + 1 < size && data[at + 1] == '/');
    tag.nameStart = tag.opening ? at + 1 : at + 2;
    std::size_t close = findClose(at + 1);
    if (close == std::string_view::npos) return false;
    tag.length = close - at + 1;
    // The name runs to the first space that leaves it non-empty, else to ">".
    // Only a space or the ">" ends a name; newlines and tabs do not.
    tag.nameLength = 0;
    for (std::size_t p = at + 1; p < close; ++p) {
        if (data[p] == ' ' && p > tag.nameStart) {
            tag.nameLength = p - tag.nameStart;
            return true;
        }
    }
    tag.nameLength = close > tag.nameStart ? close - tag.nameStart : 0;
    return true;
}

std::string_view TrimmedName(std::string_view page, const TagSpan& tag) {
    std::size_t begin = tag.nameStart, end = tag.nameStart + tag.nameLength;
    while (begin < end && IsWhite(static_cast<unsigned char>(page[begin]))) ++begin;
    while (end > begin && IsWhite(static_cast<unsigned char>(page[end - 1]))) --end;
    return page.substr(begin, end - begin);
}

bool EqualsLower(std::string_view name, const CXpString& lower) {
    if (name.size() != std::size_t(lower.Length())) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != lower.CStr()[i]) return false;
    }
    return true;
}

std::string_view CutAtZero(std::string_view page) {
    std::size_t zero = page.find('\0');
    return zero == std::string_view::npos ? page : page.substr(0, zero);
}

}  // namespace

CHtmlTextScanner::CHtmlTextScanner() : ranges(10), excluded{CXpString("title")} {}

bool CHtmlTextScanner::ParseTag(std::string_view page, std::size_t at, Tag& tag) {
    page = CutAtZero(page);
    if (at >= page.size() || page[at] != '<') return false;
    TagSpan span;
    NoClose known{page.size(), page.size()};
    if (!FindTag(page, at, span, known)) return false;
    tag.length = std::int32_t(span.length);
    tag.opening = span.opening;
    std::string_view name = page.substr(span.nameStart, span.nameLength);
    tag.name.Assign(name.data(), std::int32_t(name.size()));
    tag.name.Trim();
    tag.name.MakeLower();
    return true;
}

void CHtmlTextScanner::Scan(std::string_view page) {
    page = CutAtZero(page);
    const char* data = page.data();
    const std::size_t size = page.size();
    ranges.Free();
    // At most one range per "<" and one more after the last.
    std::int64_t bound = CountByte(data, size, '<') + 1;
    if (bound > INT32_MAX - 16) throw CXpException(kAllocationFailed);
    ranges.Reserve(std::int32_t(bound));

    // Counters of the excluded names; other names' counters cannot change
    // which ranges are found, so they are not kept.
    std::vector<std::int32_t> counter(excluded.size(), 0);
    std::vector<bool> seen(excluded.size(), false);
    std::int64_t textStart = 0;
    NoClose known{size, size};
    std::size_t pos = 0;
    TagSpan tag;
    while (pos < size) {
        const void* found = std::memchr(data + pos, '<', size - pos);
        if (!found) break;
        pos = std::size_t(static_cast<const char*>(found) - data);
        if (!FindTag(page, pos, tag, known)) {
            ++pos;
            continue;
        }
        bool closesText = true;
        std::string_view name = tag.comment ? std::string_view("!--") : TrimmedName(page, tag);
        for (std::size_t e = 0; e < excluded.size(); ++e) {
            if (!EqualsLower(name, excluded[e])) continue;
            if (!seen[e]) {
                seen[e] = true;
                counter[e] = tag.opening ? 1 : 0;
            } else {
                counter[e] += tag.opening ? 1 : -1;
            }
            if (counter[e] != 0) closesText = false;
        }
        if (!closesText) {
            textStart = -1;  // the text before an opened title is no text either
        } else {
            if (textStart != -1 && std::size_t(textStart) != pos)
                ranges.Add({std::int32_t(textStart), std::int32_t(pos - std::size_t(textStart))});
            textStart = std::int64_t(pos + tag.length);
        }
        pos += tag.length;
    }
    if (textStart != -1 && std::size_t(textStart) < size)
        ranges.Add({std::int32_t(textStart), std::int32_t(size - std::size_t(textStart))});
}

}  // namespace tallyhawk
