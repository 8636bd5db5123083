#include "diff/ChangeDetector.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace tallyhawk {

namespace {

std::string StartTag(std::uint32_t color) {
    char tag[64];
    std::snprintf(tag, sizeof tag, "<b style=\"background:#%2.2X%2.2X%2.2X\">", color & 0xFF,
                  (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    return tag;
}

// The runs of consecutive unpaired lines of a version, as byte spans.
std::vector<TextRange> UnpairedRuns(std::string_view text, const CLineMarks& paired) {
    std::vector<TextRange> spans;
    CLineWalker walker(text, '\n');
    std::string_view line;
    std::int64_t offset = 0, runStart = -1;
    for (std::int32_t i = 0; walker.Next(line); ++i) {
        if (!paired.IsMarked(i)) {
            if (runStart < 0) runStart = offset;
        } else if (runStart >= 0) {
            spans.push_back({std::int32_t(runStart), std::int32_t(offset - runStart)});
            runStart = -1;
        }
        offset += std::int64_t(line.size());
    }
    if (runStart >= 0) spans.push_back({std::int32_t(runStart), std::int32_t(offset - runStart)});
    return spans;
}

// Appends to a string.
struct StringSink final : COutputSink {
    explicit StringSink(std::string& out) : out(out) {}
    void Write(const char* bytes, std::size_t size) override { out.append(bytes, size); }
    std::string& out;
};

// Hands the unpaired lines of a version that the ignore rule keeps to
// `write`, a few thousand at a time, as a line array of their own: runs of
// them that follow one another in the text become one entry, and none of
// them is paired. Whatever the page, the array stays small.
template <typename Write>
void ForKeptLines(std::string_view text, const CLineMarks& paired, std::int64_t unpaired,
                  const CChangeDetector& detector, Write&& write) {
    constexpr std::int32_t kChunk = 4096;
    // No more room than the unpaired lines need: most pages change a few.
    CLineArray chunk;
    chunk.Reserve(std::int32_t(std::min<std::int64_t>(kChunk, unpaired)));
    CLineWalker walker(text, '\n');
    std::string_view line;
    std::int64_t position = 0;
    const char* runEnd = nullptr;  // the end of the chunk's last entry
    for (std::int32_t i = 0; walker.Next(line); ++i) {
        if (paired.IsMarked(i)) continue;
        if (detector.IsIgnored(position++, unpaired)) continue;
        if (chunk.Count() > 0 && runEnd == line.data() &&
            chunk[chunk.Count() - 1].length <= INT32_MAX - std::int32_t(line.size())) {
            chunk[chunk.Count() - 1].length += std::int32_t(line.size());
        } else {
            if (chunk.Count() == kChunk) {
                write(chunk);
                chunk.Free();
                chunk.Reserve(kChunk);
            }
            CLine entry;
            entry.bytes = line.data();
            entry.length = std::int32_t(line.size());
            chunk.Add(entry);
        }
        runEnd = line.data() + line.size();
    }
    if (chunk.Count() > 0) write(chunk);
}

std::string RemovedTag(std::uint32_t color) {
    char tag[96];
    std::snprintf(tag, sizeof tag,
                  "<del style=\"background:#%2.2X%2.2X%2.2X;text-decoration:line-through\">",
                  color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    return tag;
}

}  // namespace

CChangeDetector::CChangeDetector() {
    SetColors(kDefaultAddedColor, kDefaultDeletedColor);
}

void CChangeDetector::SetColors(std::uint32_t addedColor, std::uint32_t deletedColor) {
    addedStartTag = StartTag(addedColor);
    deletedStartTag = StartTag(deletedColor);
    removedStartTag = RemovedTag(deletedColor);
}

bool CChangeDetector::HasChangedLines(std::int64_t unpaired) const {
    // Some position in [0, unpaired) is neither among the first ignoreFirst
    // nor among the last ignoreLast.
    const std::int64_t first = ignoreFirst > 0 ? ignoreFirst : 0;
    const std::int64_t last = ignoreLast > 0 ? ignoreLast : 0;
    return unpaired > 0 && first < unpaired - last;
}

void CChangeDetector::WriteUnpairedLines(std::string_view text, const CLineMarks& paired,
                                         std::int64_t unpaired, COutputSink& out,
                                         std::string_view before, std::string_view after) const {
    // The renderer writes what it is given; which lines are left out is
    // decided here, so it gets a detector that leaves out nothing.
    CChangeDetector plain;
    if (!before.empty()) out.Write(before.data(), before.size());
    ForKeptLines(text, paired, unpaired, *this,
                 [&](const CLineArray& lines) { plain.WriteChangedLines(lines, 0, out); });
    if (!after.empty()) out.Write(after.data(), after.size());
}

void CChangeDetector::WriteUnpairedLines(std::string_view text, const CLineMarks& paired,
                                         std::int64_t unpaired, std::string& out,
                                         std::string_view before, std::string_view after) const {
    std::size_t size = before.size() + after.size();
    ForKeptLines(text, paired, unpaired, *this, [&](const CLineArray& lines) {
        for (const CLine& line : lines) size += std::size_t(line.length);
    });
    out.clear();
    out.reserve(size);
    StringSink sink(out);
    WriteUnpairedLines(text, paired, unpaired, sink, before, after);
}

bool CChangeDetector::IsIgnored(std::int64_t position, std::int64_t total) const {
    return (ignoreFirst > 0 && position < ignoreFirst) ||
           (ignoreLast > 0 && position >= total - ignoreLast);
}

bool CChangeDetector::HasChanges(std::uint32_t flags, OutputMode mode) {
    switch (mode) {
        case OutputMode::AddedText:
            return (flags & AddedTextFlag) != 0;
        case OutputMode::AddedHtml:
            return (flags & AddedHtmlFlag) != 0;
        case OutputMode::DeletedText:
            return (flags & DeletedTextFlag) != 0;
        case OutputMode::DeletedHtml:
            return (flags & DeletedHtmlFlag) != 0;
        case OutputMode::HighlightedHtml:
            return (flags & NoChange) == 0;
    }
    return false;
}

const std::string& CChangeDetector::Output(OutputMode mode) const {
    switch (mode) {
        case OutputMode::AddedText:
            return addedText;
        case OutputMode::AddedHtml:
            return addedHtml;
        case OutputMode::DeletedText:
            return deletedText;
        case OutputMode::DeletedHtml:
            return deletedHtml;
        case OutputMode::HighlightedHtml:
            break;
    }
    return highlightedHtml;
}

std::uint32_t CChangeDetector::Compare(std::string_view previous, std::string_view current) {
    return Run(previous, current, nullptr, OutputMode::HighlightedHtml);
}

std::uint32_t CChangeDetector::CompareInto(std::string_view previous, std::string_view current,
                                           OutputMode mode, COutputSink& sink) {
    return Run(previous, current, &sink, mode);
}

std::uint32_t CChangeDetector::Run(std::string_view previous, std::string_view current,
                                   COutputSink* sink, OutputMode sinkMode) {
    addedText.clear();
    deletedText.clear();
    addedHtml.clear();
    deletedHtml.clear();
    highlightedHtml.clear();

    auto wanted = [&](OutputMode mode) {
        return sink ? mode == sinkMode : (composed & OutputBit(mode)) != 0;
    };
    // Each composer writes either to its output string or to the sink.
    auto compose = [&](std::string& output, auto&& write) {
        if (sink) {
            write(*sink);
        } else {
            write(output);
        }
    };
    // The page's base and character set go into the highlighted page first.
    std::vector<CInsertion> insertions;
    std::string headBlock;
    if (context && wanted(OutputMode::HighlightedHtml)) {
        const CPageHead head = ScanPageHead(current);
        headBlock = HeadBlock(head, *context);
        if (!headBlock.empty()) insertions.push_back({head.insertAt, headBlock});
    }
    if (previous == current) {
        // Equal versions pair every line: nothing is added or deleted and the
        // highlighted page is the page itself. The usual check of an unchanged
        // page ends here, without splitting either version.
        if (!wanted(OutputMode::HighlightedHtml)) return NoChange;
        if (insertions.empty() && !sink) {
            highlightedHtml.assign(current);
        } else {
            compose(highlightedHtml, [&](auto& out) {
                WriteHighlighted(current, TextRangeArray(), insertions, out);
            });
        }
        return NoChange;
    }
    matcher.Match(previous, current, '\n');
    const CLineMarks& newPaired = matcher.NewPaired();
    const CLineMarks& oldPaired = matcher.OldPaired();
    const std::int32_t paired = matcher.PairedCount();
    const std::int64_t added = std::int64_t(newPaired.Count()) - paired;
    const std::int64_t deleted = std::int64_t(oldPaired.Count()) - paired;
    const std::vector<TextRange> addedSpans = UnpairedRuns(current, newPaired);
    const std::vector<TextRange> deletedSpans = UnpairedRuns(previous, oldPaired);
    std::uint32_t flags = 0;
    if (HasChangedLines(added)) flags |= AddedHtmlFlag;
    if (HasChangedLines(deleted)) flags |= DeletedHtmlFlag;
    // With a context, lines that are there go into a document of their own.
    auto composeLines = [&](std::string& output, std::string_view text, const CLineMarks& marks,
                            std::int64_t unpaired, bool isAdded) {
        const bool document = context && HasChangedLines(unpaired);
        const std::string start = document ? LinesDocumentStart(isAdded, text, *context) : "";
        const std::string end = document ? LinesDocumentEnd() : "";
        compose(output,
                [&](auto& out) { WriteUnpairedLines(text, marks, unpaired, out, start, end); });
    };
    if (wanted(OutputMode::AddedHtml)) composeLines(addedHtml, current, newPaired, added, true);
    if (wanted(OutputMode::DeletedHtml))
        composeLines(deletedHtml, previous, oldPaired, deleted, false);
    std::vector<std::size_t> removalPlaces;
    if (wanted(OutputMode::HighlightedHtml))
        removalPlaces = RemovalPlaces(oldPaired, current, newPaired);
    matcher.FreeLines();

    TextRangeArray deletions;
    const bool needDeletions =
        wanted(OutputMode::DeletedText) || wanted(OutputMode::HighlightedHtml);
    if (needDeletions) ChangedRanges(previous, deletedSpans, deletions);
    if (wanted(OutputMode::HighlightedHtml) || wanted(OutputMode::AddedText)) {
        TextRangeArray additions;
        ChangedRanges(current, addedSpans, additions);
        if (wanted(OutputMode::HighlightedHtml)) {
            MoveBesideAdditions(removalPlaces, addedSpans, additions, current);
            CInsertionPlaces places(current);
            std::string removedBytes;
            std::vector<CInsertion> removals =
                Removals(previous, deletedSpans, deletions, removalPlaces, places, removedBytes);
            // The head block stays first at its place.
            insertions.insert(insertions.end(), std::make_move_iterator(removals.begin()),
                              std::make_move_iterator(removals.end()));
            std::stable_sort(insertions.begin(), insertions.end(),
                             [](const CInsertion& a, const CInsertion& b) { return a.at < b.at; });
            compose(highlightedHtml,
                    [&](auto& out) { WriteHighlighted(current, additions, insertions, out); });
        }
        if (wanted(OutputMode::AddedText))
            compose(addedText, [&](auto& out) { WriteChangedText(current, additions, out); });
        if (HasChangedText(current, additions)) flags |= AddedTextFlag;
    } else if (HasChangedText(current, addedSpans)) {
        flags |= AddedTextFlag;
    }
    if (wanted(OutputMode::DeletedText))
        compose(deletedText, [&](auto& out) { WriteChangedText(previous, deletions, out); });
    if (needDeletions ? HasChangedText(previous, deletions)
                      : HasChangedText(previous, deletedSpans))
        flags |= DeletedTextFlag;

    if (flags == 0 || previous.empty()) flags = NoChange;
    return flags;
}

}  // namespace tallyhawk
