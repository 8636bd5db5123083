// CLearnedNoise: what a page has learned changes on its own, and its
// versions with that taken out, for comparisons that report what a reader
// cares about.
//
// It works on the lines of what a page compares (its source, or the watched
// text), and knows three kinds of noise:
// - Built-in shapes, taken out of every line: relative times ("3 minutes
//   ago", "just now", "yesterday"), clock times with seconds ("14:02:11"),
//   the page's own time ("Last updated 14:02", "as of 2:15 pm") and
//   hexadecimal build ids ("8f3a2c1", seven digits or more, letters and
//   figures mixed) with the release numbers beside them.
// - Dates, on a page seen to turn its relative times into dates as they
//   age ("3 hours ago" the day before is "6 December" now), except in lines
//   that stood still.
// - Line templates: a line with parts that change ("* people are viewing
//   this item"). A matching line compares as the template, its changing
//   parts each shown as "…".
// - Changing blocks: the lines between two fixed lines (a "Trending" list
//   drawn anew at every visit). They compare as one line "…".
// Templates and blocks are learned from two downloads of the same page
// moments apart (LearnFromRepeat: whatever differs is noise), and templates
// also from a page's checks (LearnFromCheck: a line that changed in the
// same way at two checks in a row, where only figures, dates and times
// changed; for a clock or a calendar, two changes at any two checks). A line
// with figures that a check found unchanged is remembered as stable, and a
// later change to its figures is never learned this way: a price that stood
// still for a while is not a clock.
//
// A plain value; not thread-safe (its page guards it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tallyhawk {

class CLearnedNoise {
public:
    // Bounds on what is kept: the oldest rules go first. Lines longer than
    // kLongestLine are never learned (a minified page's one line).
    static constexpr std::size_t kMostRules = 256;
    static constexpr std::size_t kMostCandidates = 64;
    static constexpr std::size_t kLongestLine = 2000;
    static constexpr std::size_t kMostStable = 1024;
    // What stands for a changing part.
    static constexpr std::string_view kMark = "\xE2\x80\xA6";  // "…"

    // `document` with the noise taken out, line by line (lines end in LF).
    std::string Mask(std::string_view document) const;
    // The built-in shapes taken out of one line; the line itself when it
    // has none.
    static std::string MaskShapes(std::string_view line);
    // The dates of one line ("6 December", "Dec 6, 2026") taken out.
    static std::string MaskDates(std::string_view line);

    // Learns from two downloads of the same page moments apart. Returns
    // whether a rule was added.
    bool LearnFromRepeat(std::string_view first, std::string_view second);
    // Learns from a check whose download `after` differs from the one
    // before it, `before`: the lines that changed only in figures, dates and
    // times become candidates, and a candidate of the check before becomes
    // a template. Returns whether a rule was added.
    bool LearnFromCheck(std::string_view before, std::string_view after);
    // A check changed nothing watched: no line changed twice in a row
    // (dates and times wait for their next change).
    void ForgetCandidates();

    // Nothing learned, nothing remembered.
    bool Empty() const {
        return templates.empty() && blocks.empty() && candidates.empty() && stable.empty() && !agingDates;
    }
    std::size_t RuleCount() const { return templates.size() + blocks.size() + (agingDates ? 1 : 0); }
    // What Mask takes out of `document`, for a reader: each line it
    // changes as it compares ("…" where the noise was), a block's line
    // with the number of lines it stands for.
    std::vector<std::string> Marks(std::string_view document) const;
    // One line a rule, as the What to Watch tab and tallyhawk-cli show it.
    std::vector<std::string> Describe() const;

    // The stored form: one rule a line, "T" and a template, "B" and the two
    // fixed lines and the block's longest length, "C" and a candidate, "S"
    // and the stable lines' hashes (hexadecimal, comma-separated);
    // fields split by tabs, with "\\", "\t", "\n" escaped and "\*" and "\#"
    // for a changing part that takes anything, or figures alone ("\@" that
    // held a date or a time). Load takes what it can use of any bytes, within the bounds.
    std::string Save() const;
    static CLearnedNoise Load(std::string_view text);

    bool operator==(const CLearnedNoise&) const = default;

    // A line template: the fixed parts, with a changing part between each
    // two (so at least two parts; an empty first or last part means the
    // line begins or ends with a changing part).
    struct CTemplate {
        std::vector<std::string> parts;
        // Per changing part: '#' when it takes figures, dates and times
        // alone, '@' the same when it was seen to hold a date or a time,
        // '*' when anything.
        std::string gaps;
        bool operator==(const CTemplate&) const = default;
        bool Matches(std::string_view line) const;
        std::string Masked() const;
    };
    // The lines after `before` and up to `after` (empty: the document's
    // start or end), at most `longest` of them.
    struct CBlock {
        std::string before;
        std::string after;
        std::int32_t longest = 0;
        bool operator==(const CBlock&) const = default;
    };

private:
    // A line's hash with every run of figures alike.
    static std::uint32_t FigureShape(std::string_view line);
    // A line's own hash, with the line before it (two items' equal dates
    // are two lines).
    static std::uint32_t LineHash(std::string_view previous, std::string_view line);
    void RememberStable(std::string_view previous, std::string_view line);
    bool AddTemplate(CTemplate added);
    bool AddBlock(CBlock added);
    // The lines of `document` with shapes, dates and templates taken out
    // (not blocks); `shaped` receives them with the built-in shapes alone.
    std::vector<std::string> MaskLines(std::string_view document,
                                       std::vector<std::string>* shaped = nullptr) const;
    // Calls visit(shaped, masked) for each line of `document`: views of the
    // line with the built-in shapes taken out, and with everything but
    // blocks, valid for the call only.
    template <class Visit>
    void ForEachMaskedLine(std::string_view document, Visit&& visit) const;

    std::vector<CTemplate> templates;
    std::vector<CBlock> blocks;
    std::vector<CTemplate> candidates;
    std::vector<std::uint32_t> stable;  // sorted FigureShape and LineHash values
    bool agingDates = false;            // the page's times turn into dates
};

}  // namespace tallyhawk
