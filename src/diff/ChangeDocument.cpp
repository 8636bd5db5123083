#include "diff/ChangeDocument.h"

#include <cstdint>

#include "base/StringTable.h"
#include "diff/ByteSearch.h"

namespace tallyhawk {

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// Whether `text` holds `word` (lower case) at `at`, in any letter case.
bool HasWordAt(std::string_view text, std::size_t at, std::string_view word) {
    if (at > text.size() || text.size() - at < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (Lower(text[at + i]) != word[i]) return false;
    return true;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && HasWordAt(a, 0, b);
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    return text;
}

bool IsCharsetName(std::string_view name) {
    if (name.empty() || name.size() > 40) return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == ':' ||
                        c == '+';
        if (!ok) return false;
    }
    return true;
}

// The value of attribute `name` (lower case) of the tag `tag` ("<" to ">"),
// unquoted; `found` says whether the tag has it.
std::string_view Attribute(std::string_view tag, std::string_view name, bool& found) {
    found = false;
    std::size_t p = 1;
    while (p < tag.size() && !IsSpace(tag[p]) && tag[p] != '>' && tag[p] != '/')
        ++p;  // the tag's name
    while (p < tag.size()) {
        while (p < tag.size() && (IsSpace(tag[p]) || tag[p] == '/')) ++p;
        const std::size_t nameStart = p;
        while (p < tag.size() && !IsSpace(tag[p]) && tag[p] != '=' && tag[p] != '>' &&
               tag[p] != '/')
            ++p;
        if (p == nameStart) break;  // the ">"
        const std::string_view attribute = tag.substr(nameStart, p - nameStart);
        while (p < tag.size() && IsSpace(tag[p])) ++p;
        std::string_view value;
        if (p < tag.size() && tag[p] == '=') {
            ++p;
            while (p < tag.size() && IsSpace(tag[p])) ++p;
            if (p < tag.size() && (tag[p] == '"' || tag[p] == '\'')) {
                const std::size_t close = tag.find(tag[p], p + 1);
                const std::size_t end = close == std::string_view::npos ? tag.size() : close;
                value = tag.substr(p + 1, end - p - 1);
                p = end + 1;
            } else {
                const std::size_t valueStart = p;
                while (p < tag.size() && !IsSpace(tag[p]) && tag[p] != '>') ++p;
                value = tag.substr(valueStart, p - valueStart);
            }
        }
        if (EqualNoCase(attribute, name)) {
            found = true;
            return value;
        }
    }
    return {};
}

// The charset a <meta> tag declares, plausible or not; empty for none.
std::string MetaCharset(std::string_view tag) {
    bool found = false;
    const std::string_view charset = Trim(Attribute(tag, "charset", found));
    if (found) return IsCharsetName(charset) ? std::string(charset) : std::string();
    const std::string_view equiv = Trim(Attribute(tag, "http-equiv", found));
    if (!found || !EqualNoCase(equiv, "content-type")) return {};
    return CharsetFromContentType(Attribute(tag, "content", found));
}

// The end of the comment that starts at page[at] ("<!--"): after the first
// "-->", or failing that after the first ">", as the text ranges have it.
std::size_t CommentEnd(std::string_view page, std::size_t at) {
    std::size_t close = page.find("-->", at + 2);
    if (close != std::string_view::npos) return close + 3;
    close = page.find('>', at + 1);
    return close == std::string_view::npos ? page.size() : close + 1;
}

// The length of the tag name that starts at page[from] (after "<" or "</"),
// in its own letter case; 0 when no name follows.
std::size_t NameLength(std::string_view page, std::size_t from) {
    std::size_t p = from;
    while (p < page.size() && !IsSpace(page[p]) && page[p] != '>' && page[p] != '/') ++p;
    return p - from;
}

constexpr std::string_view kRawTextNames[] = {"script", "style", "textarea", "xmp"};

// The raw-text element name at page[from], or empty.
std::string_view RawTextName(std::string_view page, std::size_t from) {
    const std::size_t length = NameLength(page, from);
    for (std::string_view name : kRawTextNames)
        if (length == name.size() && HasWordAt(page, from, name)) return name;
    return {};
}

// The end of the raw-text element `name` whose start tag begins at
// page[at]: after its end tag's ">", or the page's end.
std::size_t RawTextEnd(std::string_view page, std::size_t at, std::string_view name) {
    const char* data = page.data();
    const char* end = data + page.size();
    std::size_t p = at + 1;
    while (const char* found = bytesearch::Find(data + p, end, '<')) {
        p = std::size_t(found - data) + 1;
        if (p < page.size() && page[p] == '/' && HasWordAt(page, p + 1, name) &&
            NameLength(page, p + 1) == name.size()) {
            const std::size_t close = page.find('>', p);
            return close == std::string_view::npos ? page.size() : close + 1;
        }
    }
    return page.size();
}

// Appends a text of the program's own (bytes meant as UTF-8) as markup text:
// markup characters and every non-ASCII character as references. A byte
// that is no part of UTF-8 is taken as Latin-1, as older documents hold.
void AppendOwnText(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            switch (c) {
                case '&':
                    out += "&amp;";
                    break;
                case '<':
                    out += "&lt;";
                    break;
                case '>':
                    out += "&gt;";
                    break;
                case '"':
                    out += "&quot;";
                    break;
                default:
                    out += char(c);
                    break;
            }
            ++i;
            continue;
        }
        std::uint32_t code = c;
        std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 1;
        if (length > 1 && i + length <= text.size()) {
            code = c & (0x3F >> (length - 1));
            for (std::size_t k = 1; k < length; ++k) {
                const auto next = static_cast<unsigned char>(text[i + k]);
                if ((next & 0xC0) != 0x80) length = 1;
                code = (code << 6) | (next & 0x3F);
            }
            if (length == 1 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
                length = 1;
                code = c;
            }
        } else {
            length = 1;
        }
        out += "&#" + std::to_string(code) + ";";
        i += length;
    }
}

// Appends an address as an attribute value: markup characters as
// references, blanks, control bytes and bytes from 0x80 up percent-encoded
// (an address typed with non-ASCII letters is UTF-8, which is what
// percent-encoding means whatever the page's character set).
void AppendAddress(std::string& out, std::string_view address) {
    static const char kHex[] = "0123456789ABCDEF";
    for (char ch : address) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else if (c == '&') {
            out += "&amp;";
        } else if (c == '"') {
            out += "&quot;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else {
            out += ch;
        }
    }
}

std::string MetaTag(std::string_view charset) {
    return "<meta charset=\"" + std::string(charset) + "\">\n";
}

std::string BaseTag(std::string_view address) {
    std::string tag = "<base href=\"";
    AppendAddress(tag, address);
    return tag + "\">\n";
}

}  // namespace

std::string CharsetFromContentType(std::string_view contentType) {
    std::size_t semicolon = contentType.find(';');
    while (semicolon != std::string_view::npos) {
        const std::size_t next = contentType.find(';', semicolon + 1);
        const std::string_view parameter = contentType.substr(
            semicolon + 1,
            next == std::string_view::npos ? std::string_view::npos : next - semicolon - 1);
        semicolon = next;
        const std::size_t equals = parameter.find('=');
        if (equals == std::string_view::npos ||
            !EqualNoCase(Trim(parameter.substr(0, equals)), "charset"))
            continue;
        std::string_view value = Trim(parameter.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return IsCharsetName(value) ? std::string(value) : std::string();
    }
    return {};
}

CPageHead ScanPageHead(std::string_view page) {
    CPageHead head;
    const std::size_t start = HasWordAt(page, 0, "\xef\xbb\xbf") ? 3 : 0;
    std::size_t afterHtml = 0, afterDoctype = 0;
    bool haveHead = false;
    const char* data = page.data();
    const char* end = data + page.size();
    std::size_t p = start;
    while (const char* found = bytesearch::Find(data + p, end, '<')) {
        const std::size_t at = std::size_t(found - data);
        if (HasWordAt(page, at, "<!--")) {
            p = CommentEnd(page, at);
            continue;
        }
        const std::size_t close = page.find('>', at + 1);
        if (close == std::string_view::npos) break;
        const std::string_view tag = page.substr(at, close + 1 - at);
        p = close + 1;
        if (HasWordAt(tag, 0, "<!doctype")) {
            if (afterDoctype == 0) afterDoctype = p;
            continue;
        }
        const bool closing = tag.size() > 1 && tag[1] == '/';
        const std::size_t nameAt = at + (closing ? 2 : 1);
        const std::string_view name = page.substr(nameAt, NameLength(page, nameAt));
        if (EqualNoCase(name, "body") || (closing && EqualNoCase(name, "head"))) break;
        if (closing) continue;
        if (const std::string_view raw = RawTextName(page, nameAt); !raw.empty()) {
            p = RawTextEnd(page, at, raw);
        } else if (EqualNoCase(name, "head") && !haveHead) {
            haveHead = true;
            head.insertAt = p;
        } else if (EqualNoCase(name, "html") && afterHtml == 0) {
            afterHtml = p;
        } else if (EqualNoCase(name, "base") && !head.hasBase) {
            bool found = false;
            const std::string_view href = Attribute(tag, "href", found);
            if (found) {
                head.hasBase = true;
                head.baseHref = std::string(Trim(href));
            }
        } else if (EqualNoCase(name, "meta") && head.charset.empty()) {
            head.charset = MetaCharset(tag);
        }
    }
    if (!haveHead) head.insertAt = afterHtml ? afterHtml : afterDoctype ? afterDoctype : start;
    return head;
}

std::string HeadBlock(const CPageHead& head, const CChangeContext& context) {
    std::string block;
    if (!context.charset.empty()) block += MetaTag(context.charset);
    if (!head.hasBase && !context.url.empty()) block += BaseTag(context.url);
    return block;
}

std::string LinesDocumentStart(bool added, std::string_view page, const CChangeContext& context) {
    const CPageHead head = ScanPageHead(page);
    const std::string& name = context.name.empty() ? context.url : context.name;
    const std::string title =
        FormatString(added ? IDS_CHANGES_ADDED_TO : IDS_CHANGES_DELETED_FROM, {name.c_str()});
    std::string out = "<!DOCTYPE html>\n<html>\n<head>\n";
    const std::string& charset = context.charset.empty() ? head.charset : context.charset;
    if (!charset.empty()) out += MetaTag(charset);
    // The page's own base when it names a whole address; a relative one
    // would be taken relative to the change file.
    if (head.hasBase && head.baseHref.find("://") != std::string::npos) {
        out += BaseTag(head.baseHref);
    } else if (!context.url.empty()) {
        out += BaseTag(context.url);
    }
    out += "<title>";
    AppendOwnText(out, title);
    out += "</title>\n</head>\n<body>\n";
    out +=
        "<div style=\"font:small sans-serif;border-bottom:1px solid #888;"
        "padding-bottom:4px;margin-bottom:8px\"><strong>";
    AppendOwnText(out, title);
    out += "</strong>";
    if (!context.url.empty()) {
        out += "<br><a href=\"";
        AppendAddress(out, context.url);
        out += "\">";
        AppendOwnText(out, context.url);
        out += "</a>";
    }
    if (!context.changedAt.empty()) {
        out += "<br>";
        AppendOwnText(out, FormatString(IDS_CHANGES_FOUND_AT, {context.changedAt.c_str()}));
    }
    out += "</div>\n";
    return out;
}

std::string LinesDocumentEnd() {
    return "\n</body>\n</html>\n";
}

void AppendEscapedText(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '&') {
            // A reference is "&", a name or "#" and digits, and ";".
            std::size_t p = i + 1;
            while (p < text.size() && p - i <= 32 &&
                   ((text[p] >= 'a' && text[p] <= 'z') || (text[p] >= 'A' && text[p] <= 'Z') ||
                    (text[p] >= '0' && text[p] <= '9') || (p == i + 1 && text[p] == '#')))
                ++p;
            const bool reference = p > i + 1 && p < text.size() && text[p] == ';';
            out += reference ? "&" : "&amp;";
        } else {
            out += c;
        }
    }
}

std::vector<TextRange> RawTextElements(std::string_view page) {
    std::vector<TextRange> elements;
    const char* data = page.data();
    const char* end = data + page.size();
    std::size_t p = 0;
    while (const char* found = bytesearch::Find(data + p, end, '<')) {
        const std::size_t at = std::size_t(found - data);
        if (HasWordAt(page, at, "<!--")) {
            p = CommentEnd(page, at);
            continue;
        }
        p = at + 1;
        const std::string_view name = RawTextName(page, at + 1);
        if (name.empty()) continue;
        p = RawTextEnd(page, at, name);
        elements.push_back({std::int32_t(at), std::int32_t(p - at)});
    }
    return elements;
}

CInsertionPlaces::CInsertionPlaces(std::string_view page)
    : page(page), ranges(page), raw(RawTextElements(page)) {
    have = ranges.Next(current);
}

std::size_t CInsertionPlaces::Next(std::size_t at) {
    std::size_t place = at < last ? last : at;
    for (;;) {
        while (have && std::size_t(current.End()) < place) have = ranges.Next(current);
        if (!have) {
            place = page.size();
            break;
        }
        if (std::size_t(current.start) > place) place = std::size_t(current.start);
        while (nextRaw < raw.size() && std::size_t(raw[nextRaw].End()) <= place) ++nextRaw;
        if (nextRaw < raw.size() && std::size_t(raw[nextRaw].start) < place) {
            place = std::size_t(raw[nextRaw].End());  // inside a script or the like
            continue;
        }
        break;
    }
    last = place;
    return place;
}

}  // namespace tallyhawk
