#include "content/Charset.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace tallyhawk {
namespace {

constexpr std::size_t kMetaScanLength = 4096;
constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

enum class Bom { None, Utf8, Utf16Le, Utf16Be };

Bom FindBom(std::string_view page) {
    if (page.substr(0, 3) == "\xEF\xBB\xBF") return Bom::Utf8;
    if (page.substr(0, 2) == "\xFF\xFE") return Bom::Utf16Le;
    if (page.substr(0, 2) == "\xFE\xFF") return Bom::Utf16Be;
    return Bom::None;
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// The set's canonical name, or empty when the name is not one we can read.
// Names go to iconv only when they look like a character set's name, so
// that nothing from a page can reach iconv's "//" suffixes.
std::string CanonicalCharset(std::string_view name) {
    while (!name.empty() && (IsSpace(name.front()) || name.front() == '"' || name.front() == '\''))
        name.remove_prefix(1);
    while (!name.empty() && (IsSpace(name.back()) || name.back() == '"' || name.back() == '\''))
        name.remove_suffix(1);
    if (name.empty() || name.size() > 40) return {};
    std::string lower;
    for (char c : name) {
        const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                             (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':';
        if (!allowed) return {};
        lower += Lower(c);
    }
    if (lower == "utf-8" || lower == "utf8" || lower == "unicode-1-1-utf-8") return "UTF-8";
    if (lower == "utf-16" || lower == "utf-16le") return "UTF-16LE";
    if (lower == "utf-16be") return "UTF-16BE";
    if (lower == "windows-1252" || lower == "cp1252" || lower == "x-cp1252" ||
        lower == "iso-8859-1" || lower == "iso8859-1" || lower == "iso_8859-1" ||
        lower == "latin1" || lower == "l1" || lower == "us-ascii" || lower == "ascii" ||
        lower == "ansi_x3.4-1968")
        return "windows-1252";
    iconv_t probe = iconv_open("UTF-8", lower.c_str());
    if (probe == iconv_t(-1)) return {};
    iconv_close(probe);
    return lower;
}

// The charset named by the first <meta> that names one in the page's
// first bytes: `charset=` inside the tag covers both of the tag's forms.
std::string MetaCharset(std::string_view page) {
    const std::string_view head = page.substr(0, kMetaScanLength);
    std::string lower(head.size(), ' ');
    for (std::size_t i = 0; i < head.size(); ++i) lower[i] = Lower(head[i]);
    for (std::size_t at = lower.find("<meta"); at != std::string::npos;
         at = lower.find("<meta", at + 5)) {
        const std::size_t end = std::min(lower.find('>', at), lower.size());
        const std::string_view tag = std::string_view(lower).substr(at, end - at);
        const std::size_t key = tag.find("charset");
        if (key == std::string_view::npos) continue;
        std::size_t i = key + 7;
        while (i < tag.size() && IsSpace(tag[i])) ++i;
        if (i >= tag.size() || tag[i] != '=') continue;
        ++i;
        while (i < tag.size() && (IsSpace(tag[i]) || tag[i] == '"' || tag[i] == '\'')) ++i;
        std::size_t stop = i;
        while (stop < tag.size() && !IsSpace(tag[stop]) && tag[stop] != '"' && tag[stop] != '\'' &&
               tag[stop] != ';' && tag[stop] != '/')
            ++stop;
        std::string name = CanonicalCharset(tag.substr(i, stop - i));
        if (name == "UTF-16LE" || name == "UTF-16BE") name = "UTF-8";
        if (!name.empty()) return name;
    }
    return {};
}

// Length of the valid UTF-8 sequence at `p` (shortest form, no surrogates,
// at most U+10FFFF), or 0.
std::size_t Utf8SequenceLength(const unsigned char* p, const unsigned char* end) {
    const unsigned c = p[0];
    if (c < 0x80) return 1;
    std::size_t n;
    unsigned low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (std::size_t(end - p) < n) return 0;
    if (p[1] < low || p[1] > high) return 0;
    for (std::size_t i = 2; i < n; ++i)
        if ((p[i] & 0xC0) != 0x80) return 0;
    return n;
}

// Index of the first byte that is not part of valid UTF-8 or is a NUL, or
// the size when there is none. Runs of ASCII go eight bytes at a time.
std::size_t FirstBadUtf8(std::string_view text) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    const auto* begin = p;
    while (p < end) {
        if (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            const bool ascii = (word & 0x8080808080808080ULL) == 0;
            const bool hasZero = ((word - 0x0101010101010101ULL) & ~word & 0x8080808080808080ULL) != 0;
            if (ascii && !hasZero) {
                p += 8;
                continue;
            }
        }
        if (*p == 0) return std::size_t(p - begin);
        const std::size_t n = Utf8SequenceLength(p, end);
        if (n == 0) return std::size_t(p - begin);
        p += n;
    }
    return text.size();
}

bool IsValidUtf8(std::string_view text) { return FirstBadUtf8(text) == text.size(); }

void AppendCodePoint(std::string& out, std::uint32_t cp) {
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
        out += kReplacement;
    } else if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

std::string RepairUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 16);
    while (!text.empty()) {
        const std::size_t good = FirstBadUtf8(text);
        out.append(text.data(), good);
        if (good == text.size()) break;
        out += kReplacement;
        text.remove_prefix(good + 1);
    }
    return out;
}

// windows-1252's 0x80-0x9F; the five bytes it leaves undefined read as
// the C1 controls of the same value, as in browsers.
constexpr std::uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string DecodeWindows1252(std::string_view page) {
    std::string out;
    out.reserve(page.size() + page.size() / 8);
    for (unsigned char c : page) {
        if (c >= 0x80 && c <= 0x9F)
            AppendCodePoint(out, kWindows1252High[c - 0x80]);
        else
            AppendCodePoint(out, c);
    }
    return out;
}

std::string DecodeUtf16(std::string_view page, bool bigEndian) {
    std::string out;
    out.reserve(page.size() + page.size() / 2);
    auto unit = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(page[i]);
        const auto b = static_cast<unsigned char>(page[i + 1]);
        return bigEndian ? std::uint32_t(a << 8 | b) : std::uint32_t(b << 8 | a);
    };
    std::size_t i = 0;
    for (; i + 1 < page.size(); i += 2) {
        const std::uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < page.size()) {
            const std::uint32_t next = unit(i + 2);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                AppendCodePoint(out, 0x10000 + ((u - 0xD800) << 10) + (next - 0xDC00));
                i += 2;
                continue;
            }
        }
        AppendCodePoint(out, u);  // a lone surrogate becomes U+FFFD there
    }
    if (i < page.size()) out += kReplacement;
    return out;
}

// Any other set, through iconv: a sequence it cannot convert becomes
// U+FFFD and conversion goes on at the next byte.
std::string DecodeWithIconv(std::string_view page, const std::string& charset) {
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == iconv_t(-1)) return DecodeWindows1252(page);
    std::string out;
    char buffer[16384];
    char* in = const_cast<char*>(page.data());
    std::size_t inLeft = page.size();
    while (inLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
        out.append(buffer, std::size_t(dst - buffer));
        if (rc != std::size_t(-1) || errno == E2BIG) continue;
        out += kReplacement;
        if (errno == EINVAL) break;  // cut short at the end
        ++in;
        --inLeft;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return IsValidUtf8(out) ? out : RepairUtf8(out);
}

}  // namespace

std::string DetectCharset(std::string_view page, std::string_view headerCharset) {
    switch (FindBom(page)) {
    case Bom::Utf8: return "UTF-8";
    case Bom::Utf16Le: return "UTF-16LE";
    case Bom::Utf16Be: return "UTF-16BE";
    case Bom::None: break;
    }
    std::string name = CanonicalCharset(headerCharset);
    if (name.empty()) name = MetaCharset(page);
    if (name.empty()) name = IsValidUtf8(page) ? "UTF-8" : "windows-1252";
    return name;
}

std::string DecodeToUtf8(std::string_view page, std::string_view headerCharset) {
    const std::string charset = DetectCharset(page, headerCharset);
    switch (FindBom(page)) {
    case Bom::Utf8: page.remove_prefix(3); break;
    case Bom::Utf16Le:
    case Bom::Utf16Be: page.remove_prefix(2); break;
    case Bom::None: break;
    }
    if (charset == "UTF-8") return IsValidUtf8(page) ? std::string(page) : RepairUtf8(page);
    if (charset == "windows-1252") return DecodeWindows1252(page);
    if (charset == "UTF-16LE") return DecodeUtf16(page, false);
    if (charset == "UTF-16BE") return DecodeUtf16(page, true);
    return DecodeWithIconv(page, charset);
}

}  // namespace tallyhawk
