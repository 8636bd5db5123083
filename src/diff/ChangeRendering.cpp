// Composing the five change outputs of a comparison.
#include <algorithm>
#include <climits>
#include <cstdint>

#include "base/FileIo.h"
#include "diff/ChangeDetector.h"

namespace tallyhawk {

std::vector<TextRange> CChangeDetector::UnpairedSpans(const CLineArray& lines) {
    std::vector<TextRange> spans;
    std::int64_t offset = 0;
    std::int64_t runStart = -1;
    for (const CLine& line : lines) {
        if (line.partner == -1) {
            if (runStart < 0) runStart = offset;
        } else if (runStart >= 0) {
            spans.push_back({std::int32_t(runStart), std::int32_t(offset - runStart)});
            runStart = -1;
        }
        offset += line.length;
    }
    if (runStart >= 0) spans.push_back({std::int32_t(runStart), std::int32_t(offset - runStart)});
    return spans;
}

namespace {

// The changed text ranges of a version, one at a time: every text range that
// touches a span of unpaired lines gives the part of it inside the span. Both
// lists ascend, so only the text range read last can touch the next span as
// well; text ranges after the last span are never read, nor is the page
// scanned past them.
class ChangedRangeReader {
public:
    ChangedRangeReader(std::string_view text, const std::vector<TextRange>& spans)
        : ranges(text), spans(spans) {}

    bool Next(TextRange& out) {
        for (; next < spans.size(); ++next, entered = false) {
            const std::int64_t a = spans[next].start, c = spans[next].End();
            if (!entered) {
                if (!started) {
                    started = true;
                    have = ranges.Next(current);
                }
                while (have && current.End() < a) have = ranges.Next(current);
                entered = true;
            }
            if (!have || current.start > c) continue;
            // A text range [b, d] touching the span [a, c].
            const std::int64_t b = current.start, d = current.End();
            const std::int64_t end = c < d ? c : d;
            const std::int64_t from = b <= a ? a : b;
            out = {std::int32_t(from), std::int32_t(end - from)};
            if (d > c) {
                ++next;  // it may touch the next span too: keep it
                entered = false;
            } else {
                have = ranges.Next(current);
            }
            return true;
        }
        return false;
    }

private:
    CTextRangeReader ranges;
    const std::vector<TextRange>& spans;
    std::size_t next = 0;  // the span being cut
    bool entered = false;  // the ranges before span `next` are skipped
    bool started = false;
    bool have = false;  // `current` holds a text range not yet used up
    TextRange current;
};

bool HasTextByte(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (p[i] != '\n' && p[i] != '\r') return true;
    return false;
}

}  // namespace

void CChangeDetector::ChangedRanges(std::string_view text, const std::vector<TextRange>& spans,
                                    TextRangeArray& out) {
    out.Free();
    ChangedRangeReader reader(text, spans);
    TextRange range;
    while (reader.Next(range)) AppendRange(out, range, 16);
}

bool CChangeDetector::HasChangedText(std::string_view text,
                                     const std::vector<TextRange>& spans) const {
    // Only a byte other than a line break is sure to reach the text output
    // (line breaks are dropped until one has).
    if (ignoreLast > 0) {
        // Which ranges are the last ones is known only once all are read.
        TextRangeArray ranges;
        ChangedRanges(text, spans, ranges);
        return HasChangedText(text, ranges);
    }
    ChangedRangeReader reader(text, spans);
    TextRange range;
    for (std::int64_t i = 0; reader.Next(range); ++i) {
        if (!IsIgnored(i, INT64_MAX) &&
            HasTextByte(text.data() + range.start, std::size_t(range.length)))
            return true;
    }
    return false;
}

bool CChangeDetector::HasChangedText(std::string_view text, const TextRangeArray& ranges) const {
    for (std::int32_t i = 0; i < ranges.Count(); ++i) {
        if (!IsIgnored(i, ranges.Count()) &&
            HasTextByte(text.data() + ranges[i].start, std::size_t(ranges[i].length)))
            return true;
    }
    return false;
}

bool CChangeDetector::HasChangedLines(const CLineArray& lines, std::int32_t pairedCount) const {
    const std::int64_t unpaired = std::int64_t(lines.Count()) - pairedCount;
    for (std::int64_t i = 0; i < unpaired; ++i)
        if (!IsIgnored(i, unpaired)) return true;
    return false;
}

namespace {

// Where a composer writes: an output string, a sink, or a counter of the
// bytes it would write.
void Append(std::string& out, const char* bytes, std::size_t size) {
    out.append(bytes, size);
}
void Append(COutputSink& out, const char* bytes, std::size_t size) {
    if (size > 0) out.Write(bytes, size);
}
struct ByteCount {
    std::size_t bytes = 0;
};
void Append(ByteCount& out, const char*, std::size_t size) {
    out.bytes += size;
}

template <typename Out>
void ComposeText(std::string_view text, const TextRangeArray& ranges,
                 const CChangeDetector& detector, Out& out) {
    int lineBreaks = 3;
    const std::int32_t n = ranges.Count();
    for (std::int32_t i = 0; i < n; ++i) {
        if (detector.IsIgnored(i, n)) continue;
        const char* p = text.data() + ranges[i].start;
        const char* end = p + ranges[i].length;
        while (p < end) {
            // A run of ordinary bytes goes out in one piece.
            const char* q = p;
            while (q < end && *q != '\n' && *q != '\r') ++q;
            if (q > p) {
                Append(out, p, std::size_t(q - p));
                lineBreaks = 0;
                p = q;
                continue;
            }
            if (*p == '\n' && lineBreaks < 3) {
                Append(out, "\r\n", 2);
                ++lineBreaks;
            }
            ++p;
        }
    }
}

template <typename Out>
void ComposeLines(const CLineArray& lines, std::int32_t pairedCount,
                  const CChangeDetector& detector, std::string_view before, std::string_view after,
                  Out& out) {
    Append(out, before.data(), before.size());
    const std::int64_t unpaired = std::int64_t(lines.Count()) - pairedCount;
    std::int64_t position = 0;
    for (const CLine& line : lines) {
        if (line.partner != -1) continue;
        if (!detector.IsIgnored(position, unpaired))
            Append(out, line.bytes, std::size_t(line.length));
        ++position;
    }
    Append(out, after.data(), after.size());
}

bool HasPrintable(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(p[i]);
        if (c >= 0x20 && c != 0x7F) return true;
    }
    return false;
}

template <typename Out>
void ComposeHighlighted(std::string_view text, const TextRangeArray& ranges,
                        const std::vector<CInsertion>& insertions,
                        const std::vector<TextRange>& rawElements, const CChangeDetector& detector,
                        Out& out) {
    const std::int32_t n = ranges.Count();
    const std::string& startTag = detector.AddedStartTag();
    const std::string& endTag = detector.EndTag();
    std::size_t copied = 0;
    std::size_t next = 0;  // the insertion to come
    std::size_t raw = 0;   // the raw-text element to come
    // Writes the text up to `to`, with the insertions before `before` that
    // fall there (those inside a range go in at its start).
    auto writeTo = [&](std::size_t to, std::size_t before) {
        for (; next < insertions.size() && insertions[next].at < before; ++next) {
            const std::size_t at = std::min(std::max(insertions[next].at, copied), to);
            Append(out, text.data() + copied, at - copied);
            copied = at;
            Append(out, insertions[next].bytes.data(), insertions[next].bytes.size());
        }
        Append(out, text.data() + copied, to - copied);
        copied = to;
    };
    for (std::int32_t i = 0; i < n; ++i) {
        const std::size_t start = std::size_t(ranges[i].start),
                          length = std::size_t(ranges[i].length);
        writeTo(start, start + std::max<std::size_t>(length, 1));
        while (raw < rawElements.size() && std::size_t(rawElements[raw].End()) <= start) ++raw;
        const bool inRaw =
            raw < rawElements.size() && std::size_t(rawElements[raw].start) < start + length;
        if (!inRaw && !detector.IsIgnored(i, n) && HasPrintable(text.data() + start, length)) {
            Append(out, startTag.data(), startTag.size());
            Append(out, text.data() + start, length);
            Append(out, endTag.data(), endTag.size());
        } else {
            Append(out, text.data() + start, length);
        }
        copied = start + length;
    }
    // The rest of the page, however short, so that no byte is lost, with the
    // insertions at its end.
    writeTo(text.size(), SIZE_MAX);
}

bool HasNonSpace(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i)
        if (p[i] != ' ' && p[i] != '\t' && p[i] != '\n' && p[i] != '\r' && p[i] != '\f')
            return true;
    return false;
}

// Composes into a string sized beforehand, so that it never grows by copying.
template <typename Compose>
void ComposeString(std::string& out, Compose&& compose) {
    ByteCount count;
    compose(count);
    out.clear();
    out.reserve(count.bytes);
    compose(out);
}

}  // namespace

void CChangeDetector::WriteChangedText(std::string_view text, const TextRangeArray& ranges,
                                       std::string& out) const {
    ComposeString(out, [&](auto& to) { ComposeText(text, ranges, *this, to); });
}

void CChangeDetector::WriteChangedLines(const CLineArray& lines, std::int32_t pairedCount,
                                        std::string& out, std::string_view before,
                                        std::string_view after) const {
    ComposeString(out,
                  [&](auto& to) { ComposeLines(lines, pairedCount, *this, before, after, to); });
}

void CChangeDetector::WriteHighlighted(std::string_view text, const TextRangeArray& ranges,
                                       const std::vector<CInsertion>& insertions,
                                       std::string& out) const {
    const std::vector<TextRange> raw = RawTextElements(text);
    ComposeString(out,
                  [&](auto& to) { ComposeHighlighted(text, ranges, insertions, raw, *this, to); });
}

void CChangeDetector::WriteChangedText(std::string_view text, const TextRangeArray& ranges,
                                       COutputSink& out) const {
    ComposeText(text, ranges, *this, out);
}

void CChangeDetector::WriteChangedLines(const CLineArray& lines, std::int32_t pairedCount,
                                        COutputSink& out, std::string_view before,
                                        std::string_view after) const {
    ComposeLines(lines, pairedCount, *this, before, after, out);
}

void CChangeDetector::WriteHighlighted(std::string_view text, const TextRangeArray& ranges,
                                       const std::vector<CInsertion>& insertions,
                                       COutputSink& out) const {
    ComposeHighlighted(text, ranges, insertions, RawTextElements(text), *this, out);
}

std::vector<std::size_t> CChangeDetector::RemovalPlaces(const CLineMarks& oldPaired,
                                                        std::string_view current,
                                                        const CLineMarks& newPaired) {
    std::vector<std::size_t> places;
    std::size_t afterPartner = 0;  // the end of the partner of the last paired old line
    bool inRun = false;
    CLineWalker walker(current, '\n');
    std::string_view line;
    std::int32_t next = 0;  // the next new line to walk
    for (std::int32_t i = 0; i < oldPaired.Count(); ++i) {
        if (!oldPaired.IsMarked(i)) {
            if (!inRun) places.push_back(afterPartner);
            inRun = true;
            continue;
        }
        inRun = false;
        // The partner: the next paired new line.
        while (walker.Next(line)) {
            if (newPaired.IsMarked(next++)) {
                afterPartner = std::size_t(line.data() - current.data()) + line.size();
                break;
            }
        }
    }
    return places;
}

void CChangeDetector::MoveBesideAdditions(std::vector<std::size_t>& places,
                                          const std::vector<TextRange>& addedSpans,
                                          const TextRangeArray& additions,
                                          std::string_view current) {
    // Places, spans and ranges all ascend: one walk over each.
    std::size_t span = 0;
    std::int32_t range = 0;
    for (std::size_t& place : places) {
        while (span < addedSpans.size() && std::size_t(addedSpans[span].start) < place) ++span;
        if (span == addedSpans.size()) break;
        if (std::size_t(addedSpans[span].start) != place) continue;
        const std::int32_t end = addedSpans[span].End();
        while (range < additions.Count() && additions[range].start < std::int32_t(place)) ++range;
        for (std::int32_t r = range; r < additions.Count() && additions[r].start <= end; ++r) {
            if (HasNonSpace(current.data() + additions[r].start,
                            std::size_t(additions[r].length))) {
                place = std::size_t(additions[r].start);
                break;
            }
        }
    }
}

std::vector<CInsertion> CChangeDetector::Removals(std::string_view previous,
                                                  const std::vector<TextRange>& deletedSpans,
                                                  const TextRangeArray& deletions,
                                                  const std::vector<std::size_t>& places,
                                                  CInsertionPlaces& placesInPage,
                                                  std::string& held) const {
    // Offsets into `held` while it grows; views once it is complete.
    struct Removal {
        std::size_t at, offset, length;
    };
    std::vector<Removal> found;
    held.clear();
    std::string text;  // the escaped text of the current run
    std::size_t span = 0;
    auto finishRun = [&] {
        if (text.empty()) return;
        const std::size_t offset = held.size();
        held += removedStartTag;
        held += text;
        held += RemovedEndTag();
        found.push_back({placesInPage.Next(places[span]), offset, held.size() - offset});
        text.clear();
    };
    // What stood in a script or the like was never text on the page.
    const std::vector<TextRange> raw = RawTextElements(previous);
    std::size_t nextRaw = 0;
    const std::int32_t n = deletions.Count();
    for (std::int32_t i = 0; i < n; ++i) {
        const TextRange& range = deletions[i];
        while (nextRaw < raw.size() && raw[nextRaw].End() <= range.start) ++nextRaw;
        const bool inRaw = nextRaw < raw.size() && raw[nextRaw].start < range.End();
        // Ranges lie inside the spans, both ascending; spans never touch.
        while (span + 1 < deletedSpans.size() && deletedSpans[span].End() < range.start) {
            finishRun();
            ++span;
        }
        if (inRaw || IsIgnored(i, n) ||
            !HasNonSpace(previous.data() + range.start, std::size_t(range.length)))
            continue;
        // Pieces that stood between tags are kept apart by a blank.
        const char first = previous[std::size_t(range.start)];
        if (!text.empty() && text.back() != ' ' && text.back() != '\n' && first != ' ' &&
            first != '\n')
            text += ' ';
        AppendEscapedText(text,
                          previous.substr(std::size_t(range.start), std::size_t(range.length)));
    }
    if (span < places.size()) finishRun();
    std::vector<CInsertion> removals;
    removals.reserve(found.size());
    for (const Removal& removal : found)
        removals.push_back({removal.at, std::string_view(held).substr(removal.offset, removal.length)});
    return removals;
}

void CChangeDetector::SaveOutput(const std::string& output, const std::string& path) {
    WriteWholeFile(path, output);
}

}  // namespace tallyhawk
