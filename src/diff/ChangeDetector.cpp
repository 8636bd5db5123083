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
    if (context && wanted(OutputMode::HighlightedHtml)) {
        const CPageHead head = ScanPageHead(current);
        std::string block = HeadBlock(head, *context);
        if (!block.empty()) insertions.push_back({head.insertAt, std::move(block)});
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
    const CLineArray& newLines = matcher.NewLines();
    const CLineArray& oldLines = matcher.OldLines();
    const std::int32_t paired = matcher.PairedCount();
    const std::vector<TextRange> addedSpans = UnpairedSpans(newLines);
    const std::vector<TextRange> deletedSpans = UnpairedSpans(oldLines);
    std::uint32_t flags = 0;
    if (HasChangedLines(newLines, paired)) flags |= AddedHtmlFlag;
    if (HasChangedLines(oldLines, paired)) flags |= DeletedHtmlFlag;
    // With a context, lines that are there go into a document of their own.
    auto composeLines = [&](std::string& output, const CLineArray& lines, bool added,
                            std::string_view page) {
        const bool document = context && HasChangedLines(lines, paired);
        const std::string start = document ? LinesDocumentStart(added, page, *context) : "";
        const std::string end = document ? LinesDocumentEnd() : "";
        compose(output, [&](auto& out) { WriteChangedLines(lines, paired, out, start, end); });
    };
    if (wanted(OutputMode::AddedHtml)) composeLines(addedHtml, newLines, true, current);
    if (wanted(OutputMode::DeletedHtml)) composeLines(deletedHtml, oldLines, false, previous);
    std::vector<std::size_t> removalPlaces;
    if (wanted(OutputMode::HighlightedHtml))
        removalPlaces = RemovalPlaces(oldLines, newLines, current);
    // The text outputs need only the spans: let the lines go first, so that
    // they and the text outputs are never held at the same time.
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
            std::vector<CInsertion> removals =
                Removals(previous, deletedSpans, deletions, removalPlaces, places);
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
