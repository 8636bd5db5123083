#include "diff/PageContent.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "diff/ByteSearch.h"

namespace tallyhawk {

namespace {

bool IsWhite(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

bool CLine::operator==(const CLine& other) const {
    return partner == other.partner && hash == other.hash && length == other.length &&
           std::memcmp(bytes, other.bytes, std::size_t(length)) == 0;
}

namespace {

// The line hash reads eight bytes at a time; short lines and the tail of a
// line are read as (possibly overlapping) whole words, never past the line.
constexpr std::uint64_t kHashSeed = 0x9E3779B97F4A7C15ULL;
constexpr std::uint64_t kHashStep = 0xC2B2AE3D27D4EB4FULL;
constexpr std::uint64_t kHashFinal = 0xFF51AFD7ED558CCDULL;

std::uint64_t Load64(const unsigned char* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

std::uint32_t Load32(const unsigned char* p) {
    std::uint32_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

std::uint64_t Step(std::uint64_t hash, std::uint64_t word) {
    return (std::rotl(hash, 27) ^ word) * kHashStep;
}

#if defined(__GNUC__) || defined(__clang__)
#define TALLYHAWK_ALWAYS_INLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define TALLYHAWK_ALWAYS_INLINE __forceinline
#else
#define TALLYHAWK_ALWAYS_INLINE inline
#endif

// Inlined into the split, which hashes every line of both versions.
TALLYHAWK_ALWAYS_INLINE std::uint32_t HashLine(const char* bytes, std::size_t length) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    std::uint64_t hash = kHashSeed ^ (std::uint64_t(length) * kHashStep);
    if (length >= 8) {
        const unsigned char* last = p + length - 8;
        if (length > 32) {
            // Long lines (text paragraphs, inline scripts) in four
            // independent lanes, so that the multiplications overlap.
            std::uint64_t a = hash, b = ~hash, c = hash + kHashSeed, d = hash - kHashSeed;
            for (; p + 32 <= last; p += 32) {
                a = Step(a, Load64(p));
                b = Step(b, Load64(p + 8));
                c = Step(c, Load64(p + 16));
                d = Step(d, Load64(p + 24));
            }
            hash = a ^ std::rotl(b, 16) ^ std::rotl(c, 32) ^ std::rotl(d, 48);
        }
        for (; p < last; p += 8) hash = Step(hash, Load64(p));
        hash = Step(hash, Load64(last));  // the last eight bytes, overlapping or not
    } else if (length >= 4) {
        hash = Step(hash, (std::uint64_t(Load32(p)) << 32) | Load32(p + length - 4));
    } else if (length > 0) {
        hash = Step(hash, (std::uint64_t(p[0]) << 16) | (std::uint64_t(p[length / 2]) << 8) |
                              p[length - 1]);
    }
    hash ^= hash >> 32;
    hash *= kHashFinal;
    hash ^= hash >> 29;
    return std::uint32_t(hash >> 32);
}

}  // namespace

std::uint32_t LineHash(const char* bytes, std::size_t length) {
    return HashLine(bytes, length);
}

std::int64_t SplitLines(std::string_view page, char separator, CLineArray& lines) {
    lines.Free();
    const char* data = page.data();
    const std::size_t size = page.size();
    // Size the array once: one line per separator, plus a last one without it.
    std::int64_t count = std::int64_t(bytesearch::Count(data, data + size, separator));
    if (size > 0 && data[size - 1] != separator) ++count;
    if (count > INT32_MAX - 16) throw CXpException(kAllocationFailed);
    if (count > 0) lines.Reserve(std::int32_t(count));
    CLineWalker walker(page, separator);
    std::string_view text;
    while (walker.Next(text)) {
        CLine line;
        line.bytes = text.data();
        line.length = std::int32_t(text.size());
        line.hash = HashLine(text.data(), text.size());
        lines.Add(line);
    }
    return std::int64_t(size);
}

void CLineIndex::Clear() {
    page = {};
    std::vector<std::int32_t>().swap(lineGroup);
    std::vector<std::int32_t>().swap(groupStart);
    std::vector<std::int32_t>().swap(groupLines);
    ReleaseLookup();
}

void CLineIndex::ReleaseLookup() {
    std::vector<Slot>().swap(slots);
    std::vector<std::uint64_t>().swap(sampleAt);
    used = 0;
}

TALLYHAWK_ALWAYS_INLINE std::uint32_t CLineIndex::HashOf(const char* bytes,
                                                         std::size_t length) const {
    return hashFunction ? hashFunction(bytes, length) : HashLine(bytes, length);
}

TALLYHAWK_ALWAYS_INLINE std::size_t CLineIndex::Probe(const char* bytes, std::size_t length,
                                                      std::uint32_t hash) const {
    const std::size_t mask = slots.size() - 1;
    // A group's first line is found again in the page: it is equal to this
    // line when its first `length` bytes are this line's and its line ends
    // there, at a separator (which this line then ends with too) or at the
    // end of the page.
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const Slot& entry = slots[slot];
        if (entry.entry == 0) return slot;
        if (entry.hash != hash) continue;
        const std::uint64_t at = sampleAt[std::size_t(entry.entry - 1)];
        if (at + length > page.size()) continue;
        const char* sample = page.data() + at;
        if (!bytesearch::Equal(sample, bytes, length)) continue;
        if (length == 0 || bytes[length - 1] == separator || at + length == page.size())
            return slot;
    }
}

void CLineIndex::Grow() {
    std::vector<Slot> old(slots.size() * 2, Slot{0, 0});
    old.swap(slots);
    const std::size_t mask = slots.size() - 1;
    for (const Slot& entry : old) {
        if (entry.entry == 0) continue;
        std::size_t slot = entry.hash & mask;
        while (slots[slot].entry != 0) slot = (slot + 1) & mask;
        slots[slot] = entry;
    }
}

std::int32_t CLineIndex::Find(std::string_view line) const {
    if (slots.empty()) return kNone;
    const std::uint32_t hash = HashOf(line.data(), line.size());
    return slots[Probe(line.data(), line.size(), hash)].entry - 1;  // a free slot holds 0: kNone
}

void CLineIndex::Build(std::string_view text, char separatorByte, HashFunction hash) {
    Clear();
    page = text;
    separator = separatorByte;
    hashFunction = hash;
    // Size the line array once: one line per separator, plus a last one
    // without it.
    std::int64_t count =
        std::int64_t(bytesearch::Count(text.data(), text.data() + text.size(), separator));
    if (!text.empty() && text.back() != separator) ++count;
    if (count > INT32_MAX - 16) throw CXpException(kAllocationFailed);
    lineGroup.resize(std::size_t(count));

    // First pass: the group of every line; a line unlike all before it
    // starts a group of its own. The table grows with the groups, so that a
    // page of few distinct lines keeps it small.
    slots.assign(1024, Slot{0, 0});
    std::vector<std::int32_t> groupSize;
    CLineWalker walker(text, separator);
    std::string_view line;
    for (std::size_t i = 0; walker.Next(line); ++i) {
        const std::uint32_t lineHash = HashOf(line.data(), line.size());
        std::size_t slot = Probe(line.data(), line.size(), lineHash);
        if (slots[slot].entry == 0) {
            if (4 * (used + 1) > 3 * slots.size()) {
                Grow();
                slot = Probe(line.data(), line.size(), lineHash);
            }
            slots[slot] = {lineHash, std::int32_t(sampleAt.size()) + 1};
            sampleAt.push_back(std::uint64_t(line.data() - text.data()));
            groupSize.push_back(0);
            ++used;
        }
        const std::int32_t group = slots[slot].entry - 1;
        ++groupSize[std::size_t(group)];
        lineGroup[i] = group;
    }

    // Second pass: lay the groups out one after another (a counting sort),
    // which keeps each group's lines ascending. The sizes become the next
    // free place of each group.
    groupStart.resize(groupSize.size() + 1);
    groupStart[0] = 0;
    for (std::size_t g = 0; g < groupSize.size(); ++g) {
        groupStart[g + 1] = groupStart[g] + groupSize[g];
        groupSize[g] = groupStart[g];
    }
    groupLines.resize(std::size_t(count));
    for (std::size_t i = 0; i < lineGroup.size(); ++i)
        groupLines[std::size_t(groupSize[std::size_t(lineGroup[i])]++)] = std::int32_t(i);
}
// --- text ranges -------------------------------------------------------------

namespace {

// A tag found at a "<"; its name is found only when asked for (NameOf).
struct TagSpan {
    std::size_t length = 0;
    bool opening = false;
    bool comment = false;
};

// Where the page is known to have no more closes: no ">" at or after
// `noCloseFrom`, no "-->" at or after `noArrowFrom`. Remembering them keeps a
// page full of stray "<" or of unclosed "<!--" from being searched to its end
// again for every one of them.
struct NoClose {
    std::size_t& noCloseFrom;
    std::size_t& noArrowFrom;
};

// Finds the tag at page[at] == '<'.
bool FindTag(std::string_view page, std::size_t at, TagSpan& tag, NoClose known) {
    const char* data = page.data();
    const std::size_t size = page.size();
    auto findClose = [&](std::size_t from) -> std::size_t {
        if (from >= known.noCloseFrom) return std::string_view::npos;
        const char* found = bytesearch::Find(data + from, data + size, '>');
        if (!found) {
            known.noCloseFrom = from;
            return std::string_view::npos;
        }
        return std::size_t(found - data);
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
        tag.opening = false;
        tag.comment = true;
        return true;
    }

    tag.comment = false;
    tag.opening = !(at + 1 < size && data[at + 1] == '/');
    std::size_t close = findClose(at + 1);
    if (close == std::string_view::npos) return false;
    tag.length = close - at + 1;
    return true;
}

// The untrimmed name of the tag at page[at]: it runs from after "<" (or "</")
// to the first space that leaves it non-empty, else to the ">". Only a space
// or the ">" ends a name; newlines and tabs do not.
std::string_view NameOf(std::string_view page, std::size_t at, const TagSpan& tag) {
    if (tag.comment) return "!--";
    const std::size_t nameStart = tag.opening ? at + 1 : at + 2;
    const std::size_t close = at + tag.length - 1;
    for (std::size_t p = nameStart + 1; p < close; ++p)
        if (page[p] == ' ') return page.substr(nameStart, p - nameStart);
    return close > nameStart ? page.substr(nameStart, close - nameStart) : std::string_view();
}

std::string_view Trimmed(std::string_view name) {
    std::size_t begin = 0, end = name.size();
    while (begin < end && IsWhite(static_cast<unsigned char>(name[begin]))) ++begin;
    while (end > begin && IsWhite(static_cast<unsigned char>(name[end - 1]))) --end;
    return name.substr(begin, end - begin);
}

// Whether the tag is named "title" (trimmed, any case).
bool IsTitle(std::string_view page, std::size_t at, const TagSpan& tag) {
    if (tag.comment || tag.length < 7) return false;
    // Most names rule themselves out by their first letter.
    std::size_t p = tag.opening ? at + 1 : at + 2;
    while (IsWhite(static_cast<unsigned char>(page[p]))) ++p;  // the ">" stops it
    if (page[p] != 't' && page[p] != 'T') return false;
    const std::string_view name = Trimmed(NameOf(page, at, tag));
    if (name.size() != 5) return false;
    for (std::size_t i = 0; i < 5; ++i) {
        char c = name[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != "title"[i]) return false;
    }
    return true;
}

std::string_view CutAtZero(std::string_view page) {
    if (page.empty()) return page;  // an empty view may have no storage, and memchr wants some
    const void* zero = std::memchr(page.data(), 0, page.size());
    return zero ? page.substr(0, std::size_t(static_cast<const char*>(zero) - page.data())) : page;
}

}  // namespace

CTextRangeReader::CTextRangeReader(std::string_view text)
    : page(CutAtZero(text)), noCloseFrom(page.size()), noArrowFrom(page.size()) {}

bool CTextRangeReader::Next(TextRange& range) {
    const char* data = page.data();
    const std::size_t size = page.size();
    NoClose known{noCloseFrom, noArrowFrom};
    TagSpan tag;
    while (!done && pos < size) {
        const char* found = bytesearch::Find(data + pos, data + size, '<');
        if (!found) break;
        const std::size_t at = std::size_t(found - data);
        if (!FindTag(page, at, tag, known)) {
            pos = at + 1;  // a "<" that starts no tag is text
            continue;
        }
        pos = at + tag.length;
        if (IsTitle(page, at, tag)) {
            // Counters start at 1 for an opening tag and 0 otherwise, then
            // count up and down; they may go below 0.
            titleCounter =
                titleSeen ? titleCounter + (tag.opening ? 1 : -1) : (tag.opening ? 1 : 0);
            titleSeen = true;
            if (titleCounter != 0) {
                textStart = -1;  // the text before an opened title is no text either
                continue;
            }
        }
        const std::int64_t start = textStart;
        textStart = std::int64_t(pos);
        if (start != -1 && std::size_t(start) != at) {
            range = {std::int32_t(start), std::int32_t(at - std::size_t(start))};
            return true;
        }
    }
    if (done) return false;
    done = true;
    if (textStart != -1 && std::size_t(textStart) < size) {
        range = {std::int32_t(textStart), std::int32_t(size - std::size_t(textStart))};
        return true;
    }
    return false;
}

CHtmlTextScanner::CHtmlTextScanner() : ranges(10) {}

bool CHtmlTextScanner::ParseTag(std::string_view page, std::size_t at, Tag& tag) {
    page = CutAtZero(page);
    if (at >= page.size() || page[at] != '<') return false;
    TagSpan span;
    std::size_t noCloseFrom = page.size(), noArrowFrom = page.size();
    if (!FindTag(page, at, span, NoClose{noCloseFrom, noArrowFrom})) return false;
    tag.length = std::int32_t(span.length);
    tag.opening = span.opening;
    std::string_view name = NameOf(page, at, span);
    tag.name.Assign(name.data(), std::int32_t(name.size()));
    tag.name.Trim();
    tag.name.MakeLower();
    return true;
}

void CHtmlTextScanner::Scan(std::string_view page) {
    ranges.Free();
    CTextRangeReader reader(page);
    TextRange range;
    while (reader.Next(range)) AppendRange(ranges, range);
}

void AppendRange(TextRangeArray& ranges, const TextRange& range, std::int32_t least) {
    // Adding into the last free slot grows by the fixed step: reserve first.
    if (ranges.Count() + 1 >= ranges.Capacity())
        ranges.Reserve(std::max(least, 2 * ranges.Count()));
    ranges.Add(range);
}

}  // namespace tallyhawk
