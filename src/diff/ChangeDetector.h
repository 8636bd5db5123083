// CChangeDetector: compares two versions of a page and renders the changes.
//
// A short-lived object: create one per comparison, configure it (colours,
// changes to ignore), call Compare, read the outputs. Not thread-safe; it
// touches only its own state and the two strings passed to Compare.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

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
    void WriteUnpairedLines(std::string_view text, const CLineMarks& paired, std::int64_t unpaired,
                            std::string& out) const;
    void WriteUnpairedLines(std::string_view text, const CLineMarks& paired, std::int64_t unpaired,
                            COutputSink& out) const;

    // The composers of the five outputs; each replaces `out`, or writes to
    // it piece by piece.
    // Text: line feeds become CR LF, at most three in a row and none at the
    // start; carriage returns are dropped; other bytes pass unchanged.
    void WriteChangedText(std::string_view text, const TextRangeArray& ranges,
                          std::string& out) const;
    void WriteChangedText(std::string_view text, const TextRangeArray& ranges,
                          COutputSink& out) const;
    // The unpaired lines, exactly as stored.
    void WriteChangedLines(const CLineArray& lines, std::int32_t pairedCount,
                           std::string& out) const;
    void WriteChangedLines(const CLineArray& lines, std::int32_t pairedCount,
                           COutputSink& out) const;
    // The whole text, every changed range that holds a printable byte (space
    // and above; bytes 0x80-0xFF count) wrapped in AddedStartTag()/EndTag().
    void WriteHighlighted(std::string_view text, const TextRangeArray& ranges,
                          std::string& out) const;
    void WriteHighlighted(std::string_view text, const TextRangeArray& ranges,
                          COutputSink& out) const;

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
    std::string endTag = "</b>";
    std::int32_t ignoreFirst = 0;
    std::int32_t ignoreLast = 0;
    std::uint32_t composed = kAllOutputs;
    CLineMatcher matcher;
};

}  // namespace tallyhawk
