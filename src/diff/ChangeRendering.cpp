// Composing the five change outputs of a comparison.
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

void CChangeDetector::ChangedRanges(std::string_view text, const std::vector<TextRange>& spans,
                                    TextRangeArray& out) {
    CHtmlTextScanner scanner;
    scanner.Scan(text);
    const TextRangeArray& ranges = scanner.Ranges();

    // Every text range [b, d] that touches a span [a, c] gives the part of it
    // inside the span. Both lists ascend, so the ranges touching a span are
    // consecutive and the walk is linear.
    out.Free();
    out.Reserve(std::int32_t(spans.size()) + ranges.Count());
    std::int32_t first = 0;
    for (const TextRange& span : spans) {
        const std::int64_t a = span.start, c = span.End();
        while (first < ranges.Count() && ranges[first].End() < a) ++first;
        for (std::int32_t r = first; r < ranges.Count() && ranges[r].start <= c; ++r) {
            const std::int64_t b = ranges[r].start, d = ranges[r].End();
            const std::int64_t end = c < d ? c : d;
            if (b <= a && a <= d) {
                out.Add({std::int32_t(a), std::int32_t(end - a)});
            } else if (a < b && b <= c) {
                out.Add({std::int32_t(b), std::int32_t(end - b)});
            }
        }
    }
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
