#include "cli/TerminalText.h"

#include <cstdint>
#include <cstdio>
#include <string_view>

#include "cli/PageOptions.h"

namespace tallyhawk::cli {

namespace {

struct CNamedReference {
    std::string_view name;
    char32_t character;
};

// The named references that ordinary text uses most; the rest stay as
// written.
constexpr CNamedReference kNamed[] = {
    {"amp", U'&'},        {"lt", U'<'},         {"gt", U'>'},         {"quot", U'"'},
    {"apos", U'\''},      {"nbsp", U' '},       {"copy", U'\u00A9'},  {"reg", U'\u00AE'},
    {"trade", U'\u2122'}, {"ndash", U'\u2013'}, {"mdash", U'\u2014'}, {"hellip", U'\u2026'},
    {"lsquo", U'\u2018'}, {"rsquo", U'\u2019'}, {"ldquo", U'\u201C'}, {"rdquo", U'\u201D'},
    {"laquo", U'\u00AB'}, {"raquo", U'\u00BB'}, {"euro", U'\u20AC'},  {"middot", U'\u00B7'},
};

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The character of the reference `body` (what stands between '&' and ';'),
// or 0 when there is none.
char32_t ReferencedCharacter(std::string_view body) {
    if (body.size() < 2 || body[0] != '#') {
        for (const CNamedReference& named : kNamed) {
            if (body == named.name) return named.character;
        }
        return 0;
    }
    const bool hex = body[1] == 'x' || body[1] == 'X';
    std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 8) return 0;
    std::uint32_t value = 0;
    for (char d : digits) {
        int digit;
        if (d >= '0' && d <= '9')
            digit = d - '0';
        else if (hex && d >= 'a' && d <= 'f')
            digit = d - 'a' + 10;
        else if (hex && d >= 'A' && d <= 'F')
            digit = d - 'A' + 10;
        else
            return 0;
        value = value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
    }
    if (value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    return static_cast<char32_t>(value);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

}  // namespace

std::string OneLine(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    auto escape = [&](unsigned char byte) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02x", byte);
        out += hex;
    };
    for (std::size_t at = 0; at < text.size();) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c == '\t' || c == '\n' || c == '\r') {
            out += ' ';
            ++at;
        } else if (c < 0x20 || c == 0x7F) {
            escape(c);
            ++at;
        } else if (c < 0x80) {
            out += char(c);
            ++at;
        } else if (const std::size_t length = Utf8SequenceLength(text, at); length == 0) {
            escape(c);
            ++at;
        } else if (c == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) {
            escape(c);  // a C1 control
            escape(static_cast<unsigned char>(text[at + 1]));
            at += 2;
        } else {
            out.append(text, at, length);
            at += length;
        }
    }
    return out;
}

std::string DecodeCharacterReferences(const std::string& text) {
    constexpr std::size_t kLongestReference = 10;  // "#x0010FFFF", "hellip"
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t amp = text.find('&', at);
        out.append(text, at, amp == std::string::npos ? std::string::npos : amp - at);
        if (amp == std::string::npos) break;
        const std::size_t semicolon = text.find(';', amp + 1);
        const char32_t c =
            semicolon != std::string::npos && semicolon - amp - 1 <= kLongestReference
                ? ReferencedCharacter(std::string_view(text).substr(amp + 1, semicolon - amp - 1))
                : 0;
        if (c == 0) {
            out += '&';
            at = amp + 1;
        } else {
            AppendUtf8(out, c);
            at = semicolon + 1;
        }
    }
    return out;
}

std::string MarkedLines(const std::string& text, char marker) {
    std::string out;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        // Decoded first, so that a line of "&nbsp;" alone counts as blank.
        const std::string line = DecodeCharacterReferences(text.substr(start, end - start));
        std::size_t first = 0, last = line.size();
        while (first < last && IsBlank(line[first])) ++first;
        while (last > first && IsBlank(line[last - 1])) --last;
        if (first < last) {
            out += marker;
            out += ' ';
            out += OneLine(line.substr(first, last - first));
            out += '\n';
        }
        start = end + 1;
    }
    return out;
}

}  // namespace tallyhawk::cli
