// CChangeDetector: compares two versions of a page and renders the changes.
//
// A short-lived object: create one per comparison, configure it (colours,
// changes to ignore), call Compare, read the outputs. Not thread-safe; it
// touches only its own state and the two strings passed to Compare.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diff/ChangeDocument.h"
#include "diff/LineMatcher.h"
#include "diff/PageContent.h"

namespace tallyhawk {

// Comparison flags, the result of Compare.
enum CompareFlags : std::uint32_t {
    NoChange = 1,
    AddedTextFlag = 2,
    DeletedTextFlag = 4,
    AddedHtmlFlag = 8,
    DeletedHtmlFlag = 16,
};

// Which output a page shows, and which flag says it has changes.
enum class OutputMode : std::int32_t {
    AddedText = 0,
    AddedHtml = 1,
    DeletedText = 2,
    DeletedHtml = 3,
    HighlightedHtml = 4,
};

// Takes an output piece by piece, for a caller that passes it on (to a file
// or a pipe) instead of holding it whole; see CChangeDetector::CompareInto.
class COutputSink {
public:
    virtual void Write(const char* bytes, std::size_t size) = 0;

protected:
    ~COutputSink() = default;
};

// Bytes put into the highlighted page at offset `at` of the new version.
struct CInsertion {
    std::size_t at = 0;
    std::string_view bytes;  // held by whoever made the insertion
};

class CChangeDetector {
public:
    static constexpr std::uint32_t kDefaultAddedColor = 0x0064FFFF;
    static constexpr std::uint32_t kDefaultDeletedColor = 0x006464FF;

    CChangeDetector();
    CChangeDetector(const CChangeDetector&) = delete;
    CChangeDetector& operator=(const CChangeDetector&) = delete;

    // Colours are COLORREFs: red in the lowest byte, then green, then blue.
    void SetColors(std::uint32_t addedColor, std::uint32_t deletedColor);
    void SetIgnoreFirst(std::int32_t count) { ignoreFirst = count; }
    void SetIgnoreLast(std::int32_t count) { ignoreLast = count; }
    // The page the outputs are about, for a browser to show them as the page
    // looks: the highlighted page gets the page's base and character set
    // (HeadBlock), and the added and deleted HTML, when not empty, become
    // documents of their own (LinesDocumentStart). Without it the HTML
    // outputs are the page's bytes and the tags of the changes alone.
    void SetContext(const CChangeContext& value) { context = value; }

    // Which outputs Compare composes, as a set of OutputBit values: all five
    // unless told otherwise. A caller that reads one output, or only the
    // flags, saves the work and memory of the others, which stay empty. The
    // flags are the same whatever is composed.
    static constexpr std::uint32_t kAllOutputs = 0x1F;
    static constexpr std::uint32_t OutputBit(OutputMode mode) {
        return 1u << static_cast<std::uint32_t>(mode);
    }
    void SetOutputs(std::uint32_t outputs) { composed = outputs; }

    // Compares the previous version with the new one; each is the page's bytes
    // up to (not including) its terminating zero byte. Returns CompareFlags.
    // Throws CXpException or std::bad_alloc when memory runs out.
    std::uint32_t Compare(std::string_view previous, std::string_view current);
    // Compare, with the output of `mode` written to `sink` as it is composed
    // instead of kept: no output is held, and the five stay empty. Returns
    // the same flags. Whatever the sink throws passes through.
    std::uint32_t CompareInto(std::string_view previous, std::string_view current, OutputMode mode,
                              COutputSink& sink);

    const std::string& AddedText() const { return addedText; }
    const std::string& DeletedText() const { return deletedText; }
    const std::string& AddedHtml() const { return addedHtml; }
    const std::string& DeletedHtml() const { return deletedHtml; }
    const std::string& HighlightedHtml() const { return highlightedHtml; }
    const std::string& Output(OutputMode mode) const;
    const std::string& AddedStartTag() const { return addedStartTag; }
    const std::string& DeletedStartTag() const { return deletedStartTag; }
    // What wraps removed text shown in the highlighted page: the second
    // colour, struck through, then RemovedEndTag().
    const std::string& RemovedStartTag() const { return removedStartTag; }
    static constexpr std::string_view RemovedEndTag() { return "</del>"; }
    const std::string& EndTag() const { return endTag; }

    // The line matcher, for tuning its search.
    CLineMatcher& Matcher() { return matcher; }

    // Whether `flags` say the output of `mode` has changes.
    static bool HasChanges(std::uint32_t flags, OutputMode mode);

    // True when change `position` of `total` is one of the first ignoreFirst
    // or the last ignoreLast.
    bool IsIgnored(std::int64_t position, std::int64_t total) const;

    // The changed text ranges of one version: its runs of unpaired lines
    // (UnpairedSpans) cut down to its text ranges. Spans that only touch a text range give a range
    // of length 0, which counts as a change for the ignore rule.
    static void ChangedRanges(std::string_view text, const std::vector<TextRange>& changedSpans,
                              TextRangeArray& out);
    // The runs of consecutive unpaired lines of a version, as byte spans.
    static std::vector<TextRange> UnpairedSpans(const CLineArray& lines);
    // Whether WriteChangedText would write anything for these spans, found
    // without composing it and, unless the last changes are ignored, without
    // scanning the page further than its first changed text.
    bool HasChangedText(std::string_view text, const std::vector<TextRange>& changedSpans) const;
    // The same for a version's changed text ranges (ChangedRanges).
    bool HasChangedText(std::string_view text, const TextRangeArray& ranges) const;
    // Whether WriteChangedLines would write anything.
    bool HasChangedLines(const CLineArray& lines, std::int32_t pairedCount) const;
    // The same for a version with `unpaired` unpaired lines.
    bool HasChangedLines(std::int64_t unpaired) const;
    // The unpaired lines of `text` that the ignore rule keeps, exactly as
    // stored, found through the pairing marks (`unpaired` of them are not
    // marked); composed by WriteChangedLines a few thousand lines at a time,
    // so that no record of every line is needed.
    // `before` and `after` (a document's start and end) enclose the lines.
    void WriteUnpairedLines(std::string_view text, const CLineMarks& paired, std::int64_t unpaired,
                            std::string& out, std::string_view before = {},
                            std::string_view after = {}) const;
    void WriteUnpairedLines(std::string_view text, const CLineMarks& paired, std::int64_t unpaired,
                            COutputSink& out, std::string_view before = {},
                            std::string_view after = {}) const;

    // The composers of the five outputs; each replaces `out`, or writes to
    // it piece by piece.
    // Text: line feeds become CR LF, at most three in a row and none at the
    // start; carriage returns are dropped; other bytes pass unchanged.
    void WriteChangedText(std::string_view text, const TextRangeArray& ranges,
                          std::string& out) const;
    void WriteChangedText(std::string_view text, const TextRangeArray& ranges,
                          COutputSink& out) const;
    // The unpaired lines, exactly as stored, with `before` and `after`
    // around them.
    void WriteChangedLines(const CLineArray& lines, std::int32_t pairedCount, std::string& out,
                           std::string_view before = {}, std::string_view after = {}) const;
    void WriteChangedLines(const CLineArray& lines, std::int32_t pairedCount, COutputSink& out,
                           std::string_view before = {}, std::string_view after = {}) const;
    // The whole text, every changed range that holds a printable byte (space
    // and above; bytes 0x80-0xFF count) wrapped in AddedStartTag()/EndTag(),
    // except inside script, style and other raw-text elements, where a tag
    // would change what the element holds. `insertions`, in ascending order
    // of `at`, go in before the text at their offset (before a range that
    // would contain one).
    void WriteHighlighted(std::string_view text, const TextRangeArray& ranges,
                          const std::vector<CInsertion>& insertions, std::string& out) const;
    void WriteHighlighted(std::string_view text, const TextRangeArray& ranges,
                          const std::vector<CInsertion>& insertions, COutputSink& out) const;

    // Where each run of removed lines (UnpairedSpans of the previous
    // version) was, as an offset into the new version: the end of the new
    // line paired with the last paired line before the run, or 0.
    // Pairs keep their order, so the k-th paired old line's partner is the
    // k-th paired new line.
    static std::vector<std::size_t> RemovalPlaces(const CLineMarks& oldPaired,
                                                  std::string_view current,
                                                  const CLineMarks& newPaired);
    // A run of removed lines replaced by added ones is shown beside the
    // added text: its place moves to the first added text range that holds
    // more than white space, when the added lines begin at the place.
    static void MoveBesideAdditions(std::vector<std::size_t>& places,
                                    const std::vector<TextRange>& addedSpans,
                                    const TextRangeArray& additions, std::string_view current);
    // The removed text to show in the highlighted page: for each run of
    // removed lines, its changed text ranges (`deletions`) that are not
    // ignored, hold more than white space and stood in no script or other
    // raw-text element, escaped, wrapped in
    // RemovedStartTag()/RemovedEndTag(), at the first place at or after the
    // run's place where text may stand (CInsertionPlaces). The insertions'
    // bytes are kept one after another in `held`, which must outlive them:
    // one string for all, however many removals a page has.
    std::vector<CInsertion> Removals(std::string_view previous,
                                     const std::vector<TextRange>& deletedSpans,
                                     const TextRangeArray& deletions,
                                     const std::vector<std::size_t>& places,
                                     CInsertionPlaces& placesInPage,
                                     std::string& held) const;

    // Writes `output` to `path`, created or emptied, without a terminator.
    // Throws COsException when the file cannot be created or written.
    static void SaveOutput(const std::string& output, const std::string& path);

private:
    // Compare and CompareInto: with a sink, only `sinkMode` is composed, into it.
    std::uint32_t Run(std::string_view previous, std::string_view current, COutputSink* sink,
                      OutputMode sinkMode);

    std::string addedText;
    std::string deletedText;
    std::string addedHtml;
    std::string deletedHtml;
    std::string highlightedHtml;
    std::string addedStartTag;
    std::string deletedStartTag;
    std::string removedStartTag;
    std::string endTag = "</b>";
    std::int32_t ignoreFirst = 0;
    std::int32_t ignoreLast = 0;
    std::uint32_t composed = kAllOutputs;
    std::optional<CChangeContext> context;
    CLineMatcher matcher;
};

}  // namespace tallyhawk
