// The two views of a page version that the change detector works on.
//
// A version is the page's bytes exactly as downloaded, handled as bytes with
// no character-set conversion. It is seen
//  - as lines, numbered by content (CLineIndex, four bytes a line): what two
//    versions are matched on; a line is a stretch of the text, never a copy;
//  - as text ranges (CHtmlTextScanner): the byte spans outside tags, comments
//    and the title element, to which reported changes are cut down.
// All positions are byte offsets into the version.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "base/XpArray.h"
#include "base/XpString.h"
#include "diff/ByteSearch.h"

namespace tallyhawk {

// One line of a version. `bytes` points into the version it was split from
// (the comparison works in place on the caller's text), so a line is valid
// only as long as that text. The line includes its terminating separator
// when it has one.
struct CLine {
    const char* bytes = nullptr;
    std::int32_t length = 0;
    std::uint32_t hash = 0;
    std::int32_t partner = -1;  // line of the other version paired with this one, or -1

    std::string_view View() const { return {bytes, std::size_t(length)}; }
    // Same partner, hash, length and bytes, tested in that order.
    bool operator==(const CLine& other) const;
};

using CLineArray = CXpArray<CLine>;

// The line hash: a function of the line's bytes and length only, so equal
// lines always hash alike; lines that hash alike are equal only when their
// bytes are (CLine's equality and the index compare them). It reads the
// line eight bytes at a time and spreads its value over all 32 bits, so the
// index can use its low bits as a table slot. The value is internal: it is
// never stored or shown, and may change between versions of the program.
std::uint32_t LineHash(const char* bytes, std::size_t length);

// Groups the lines of one version by content. Lines in a group are equal
// (same length and bytes) and listed in ascending order; groups are numbered
// from 0 in the order of their first line. The index keeps no per-line
// record beyond a line's group and its place in its group's list (four bytes
// each): lines are found again in the version's text, which must stay alive
// and unchanged while the index is used. Lookup by a line's content is a
// hash-table probe, so candidate partners are found without a scan of the
// version.
class CLineIndex {
public:
    static constexpr std::int32_t kNone = -1;
    using HashFunction = std::uint32_t (*)(const char* bytes, std::size_t length);

    void Clear();
    // Rebuilds the index over the lines of `page`, split at `separator` as
    // SplitLines does. `hash` replaces LineHash, for tests that make lines
    // collide. Throws CXpException when the page has too many lines.
    void Build(std::string_view page, char separator, HashFunction hash = nullptr);

    // The group holding lines equal to `line` (its bytes, the separator
    // included when it has one), or kNone.
    std::int32_t Find(std::string_view line) const;
    // Frees the lookup table once no more lookups by content will come:
    // Find then finds nothing, while groups and their lines stay.
    void ReleaseLookup();

    std::int32_t LineCount() const { return std::int32_t(lineGroup.size()); }
    // Group of line number `index` of the indexed version.
    std::int32_t GroupOf(std::int32_t index) const { return lineGroup[std::size_t(index)]; }
    // The group of every line, in line order.
    const std::int32_t* LineGroups() const { return lineGroup.data(); }
    std::int32_t GroupCount() const { return std::int32_t(groupStart.size()) - 1; }
    // The ascending line numbers of group `group`.
    const std::int32_t* GroupBegin(std::int32_t group) const {
        return groupLines.data() + groupStart[std::size_t(group)];
    }
    const std::int32_t* GroupEnd(std::int32_t group) const {
        return groupLines.data() + groupStart[std::size_t(group) + 1];
    }

private:
    // A slot of the open-addressing table: the hash of its group's lines, so
    // that most mismatches are seen without touching a line, and group + 1
    // (0 for a free slot).
    struct Slot {
        std::uint32_t hash;
        std::int32_t entry;
    };
    std::uint32_t HashOf(const char* bytes, std::size_t length) const;
    // The slot holding the group of lines equal to the given line, or the
    // free slot where that group would go.
    std::size_t Probe(const char* bytes, std::size_t length, std::uint32_t hash) const;
    void Grow();

    std::string_view page;
    char separator = '\n';
    HashFunction hashFunction = nullptr;
    std::vector<std::int32_t> lineGroup;  // per line: its group
    std::vector<std::int32_t>
        groupStart;  // per group: offset into groupLines; one extra at the end
    std::vector<std::int32_t> groupLines;  // line numbers, grouped, ascending within a group
    std::vector<std::uint64_t> sampleAt;   // per group: offset of its first line in the page
    std::vector<Slot> slots;
    std::size_t used = 0;  // slots in use
};

// Splits `page` into lines ending at every `separator` byte and at the last
// byte; fills `lines` (emptied first). Returns the number of bytes placed in
// lines, which is the page's length. A record of 24 bytes a line: the
// comparison itself uses CLineIndex and CLineWalker instead.
std::int64_t SplitLines(std::string_view page, char separator, CLineArray& lines);

// Walks the lines of a page one at a time, as SplitLines splits them.
class CLineWalker {
public:
    CLineWalker(std::string_view page, char separator)
        : at(page.data()), end(page.data() + page.size()), separator(separator) {}
    // The next line; false once the page is done.
    bool Next(std::string_view& line) {
        if (at == end) return false;
        const char* found = bytesearch::Find(at, end, separator);
        const char* next = found ? found + 1 : end;
        line = std::string_view(at, std::size_t(next - at));
        at = next;
        return true;
    }

private:
    const char* at;
    const char* end;
    char separator;
};

// A span of a version.
struct TextRange {
    std::int32_t start = 0;
    std::int32_t length = 0;
    std::int32_t End() const { return start + length; }
};

using TextRangeArray = CXpArray<TextRange>;

// Appends `range`, doubling the array's room (at least `least` slots) when
// it is full: the array's own fixed step would copy the whole array again
// every few ranges, and a page has hundreds of thousands.
void AppendRange(TextRangeArray& ranges, const TextRange& range, std::int32_t least = 64);

// Reads a version's text ranges one at a time, in ascending order: the
// non-empty runs of bytes between tags, leaving out the text of the title
// element up to its next tag. Nothing of HTML is interpreted beyond tags,
// comments and the title. A caller that needs only the ranges up to some
// place stops reading there, and the rest of the page is never scanned.
class CTextRangeReader {
public:
    // `page` (its bytes up to the first zero byte, or the whole view) must
    // outlive the reader.
    explicit CTextRangeReader(std::string_view page);

    // The next range; false once the page is done.
    bool Next(TextRange& range);

private:
    std::string_view page;
    std::size_t pos = 0;            // where the search for the next "<" resumes
    std::int64_t textStart = 0;     // start of the text being read, or -1 for none
    std::int32_t titleCounter = 0;  // opened minus closed title tags
    bool titleSeen = false;         // a title tag has been met, so the counter counts
    bool done = false;
    std::size_t noCloseFrom;  // no ">" at or after this offset
    std::size_t noArrowFrom;  // no "-->" at or after this offset
};

// Finds all of a version's text ranges (CTextRangeReader's, collected).
class CHtmlTextScanner {
public:
    CHtmlTextScanner();

    // Scans `page` (its bytes up to the first zero byte, or the whole view)
    // and replaces Ranges() with what it finds, in ascending order.
    void Scan(std::string_view page);
    const TextRangeArray& Ranges() const { return ranges; }

    struct Tag {
        std::int32_t length = 0;  // "<" through ">" inclusive
        CXpString name;           // trimmed, lower case
        bool opening = false;
    };
    // Whether a tag starts at page[at] (which must be "<"); fills `tag` when it
    // does. `page` ends at its end or its first zero byte.
    static bool ParseTag(std::string_view page, std::size_t at, Tag& tag);

private:
    TextRangeArray ranges;
};

}  // namespace tallyhawk
