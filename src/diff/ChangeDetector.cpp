#include "diff/ChangeDetector.h"

#include <cstdio>

namespace tallyhawk {

namespace {

std::string StartTag(std::uint32_t color) {
    char tag[64];
    std::snprintf(tag, sizeof tag, "<b style=\"background:#%2.2X%2.2X%2.2X\">", color & 0xFF,
                  (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    return tag;
}

}  // namespace

CChangeDetector::CChangeDetector() {
    SetColors(kDefaultAddedColor, kDefaultDeletedColor);
}

void CChangeDetector::SetColors(std::uint32_t addedColor, std::uint32_t deletedColor) {
    addedStartTag = StartTag(addedColor);
    deletedStartTag = StartTag(deletedColor);
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
    if (previous == current) {
        // Equal versions pair every line: nothing is added or deleted and the
        // highlighted page is the page itself. The usual check of an unchanged
        // page ends here, without splitting either version.
        if (wanted(OutputMode::HighlightedHtml)) {
            if (sink) {
                if (!current.empty()) sink->Write(current.data(), current.size());
            } else {
                highlightedHtml.assign(current);
            }
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
    if (wanted(OutputMode::AddedHtml))
        compose(addedHtml, [&](auto& out) { WriteChangedLines(newLines, paired, out); });
    if (wanted(OutputMode::DeletedHtml))
        compose(deletedHtml, [&](auto& out) { WriteChangedLines(oldLines, paired, out); });
    // The text outputs need only the spans: let the lines go first, so that
    // they and the text outputs are never held at the same time.
    matcher.FreeLines();

    if (wanted(OutputMode::HighlightedHtml) || wanted(OutputMode::AddedText)) {
        TextRangeArray additions;
        ChangedRanges(current, addedSpans, additions);
        if (wanted(OutputMode::HighlightedHtml))
            compose(highlightedHtml, [&](auto& out) { WriteHighlighted(current, additions, out); });
        if (wanted(OutputMode::AddedText))
            compose(addedText, [&](auto& out) { WriteChangedText(current, additions, out); });
        if (HasChangedText(current, additions)) flags |= AddedTextFlag;
    } else if (HasChangedText(current, addedSpans)) {
        flags |= AddedTextFlag;
    }
    if (wanted(OutputMode::DeletedText)) {
        TextRangeArray deletions;
        ChangedRanges(previous, deletedSpans, deletions);
        compose(deletedText, [&](auto& out) { WriteChangedText(previous, deletions, out); });
        if (HasChangedText(previous, deletions)) flags |= DeletedTextFlag;
    } else if (HasChangedText(previous, deletedSpans)) {
        flags |= DeletedTextFlag;
    }

    if (flags == 0 || previous.empty()) flags = NoChange;
    return flags;
}

}  // namespace tallyhawk
