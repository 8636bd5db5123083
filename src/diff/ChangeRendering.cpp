// Composing the five change outputs of a comparison.
#include <algorithm>
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
    while (reader.Next(range)) {
        if (out.Count() == out.Capacity()) out.Reserve(std::max(16, 2 * out.Count()));
        out.Add(range);
    }
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

// Runs the text composer over `ranges`, either counting the bytes it would
// write (out == nullptr) or writing them.
std::size_t ComposeText(std::string_view text, const TextRangeArray& ranges,
                        const CChangeDetector& detector, std::string* out) {
    std::size_t size = 0;
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
                if (out) out->append(p, std::size_t(q - p));
                size += std::size_t(q - p);
                lineBreaks = 0;
                p = q;
                continue;
            }
            if (*p == '\n' && lineBreaks < 3) {
                if (out) out->append("\r\n", 2);
                size += 2;
                ++lineBreaks;
            }
            ++p;
        }
    }
    return size;
}

bool HasPrintable(const char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(p[i]);
        if (c >= 0x20 && c != 0x7F) return true;
    }
    return false;
}

}  // namespace

void CChangeDetector::WriteChangedText(std::string_view text, const TextRangeArray& ranges,
                                       std::string& out) const {
    out.clear();
    out.reserve(ComposeText(text, ranges, *this, nullptr));
    ComposeText(text, ranges, *this, &out);
}

void CChangeDetector::WriteChangedLines(const CLineArray& lines, std::int32_t pairedCount,
                                        std::string& out) const {
    out.clear();
    const std::int64_t unpaired = std::int64_t(lines.Count()) - pairedCount;
    std::size_t size = 0;
    for (const CLine& line : lines)
        if (line.partner == -1) size += std::size_t(line.length);
    out.reserve(size);
    std::int64_t position = 0;
    for (const CLine& line : lines) {
        if (line.partner != -1) continue;
        if (!IsIgnored(position, unpaired)) out.append(line.bytes, std::size_t(line.length));
        ++position;
    }
}

void CChangeDetector::WriteHighlighted(std::string_view text, const TextRangeArray& ranges,
                                       std::string& out) const {
    out.clear();
    const std::int32_t n = ranges.Count();
    auto highlighted = [&](std::int32_t i) {
        return !IsIgnored(i, n) &&
               HasPrintable(text.data() + ranges[i].start, std::size_t(ranges[i].length));
    };
    std::size_t tags = 0;
    for (std::int32_t i = 0; i < n; ++i) tags += highlighted(i) ? 1 : 0;
    out.reserve(text.size() + tags * (addedStartTag.size() + endTag.size()));
    std::size_t copied = 0;
    for (std::int32_t i = 0; i < n; ++i) {
        const std::size_t start = std::size_t(ranges[i].start),
                          length = std::size_t(ranges[i].length);
        out.append(text.data() + copied, start - copied);
        if (highlighted(i)) {
            out += addedStartTag;
            out.append(text.data() + start, length);
            out += endTag;
        } else {
            out.append(text.data() + start, length);
        }
        copied = start + length;
    }
    // The rest of the page, however short, so that no byte is lost.
    out.append(text.data() + copied, text.size() - copied);
}

void CChangeDetector::SaveOutput(const std::string& output, const std::string& path) {
    WriteWholeFile(path, output);
}

}  // namespace tallyhawk
