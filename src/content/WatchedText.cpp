#include "content/WatchedText.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>

#include "content/Charset.h"
#include "content/Libxml.h"
#include "content/WatchedTextDetail.h"

namespace tallyhawk {

// Marks set on a parsed page's nodes, in the node's `_private` field (the
// document is ours for one call; libxml2 never reads the field).
namespace {
constexpr std::uintptr_t kRegionMark = 1;
constexpr std::uintptr_t kIgnoredMark = 2;
constexpr std::uintptr_t kProbeMark = 4;  // one ignored region at a time, for the preview
}  // namespace

struct CCompiledFilter::CImpl {
    xmlXPathCompExprPtr region = nullptr;
    std::vector<xmlXPathCompExprPtr> ignoreRegions;
    std::vector<pcre2_code*> ignoreText;
    std::vector<std::string> ignoreTextSources;  // as typed, for the preview's order
};

namespace {

// HTML_PARSE_HUGE lifts the parser's nesting limit of 256: past it
// libxml2 stops and the rest of the page is lost. Nothing below recurses
// on the page's depth. The encoding is ours to decide (IGNORE_ENC).
constexpr int kParseOptions = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                              HTML_PARSE_NONET | HTML_PARSE_COMPACT | HTML_PARSE_IGNORE_ENC |
                              XML_PARSE_HUGE;

// libxml2 checks each attribute of a tag against the ones before it, so a
// tag with n attributes costs n * n; attributes past this many are
// dropped before parsing.
constexpr std::size_t kMaxAttributes = 128;

// A pattern's limits on one line: steps of the matcher and its memory.
// A pattern that hits them this many times in one page is not applied to
// the rest of the page, so a pattern that backtracks without end costs a
// bounded time per check.
constexpr std::uint32_t kMatchLimit = 5'000'000;
constexpr std::uint32_t kHeapLimitKib = 20'000;
constexpr int kMaxLimitHits = 3;

// XPath steps per element of the page, and a floor, before an evaluation
// is given up as matching nothing.
constexpr unsigned long kXPathOpsPerElement = 200;
constexpr unsigned long kXPathOpsFloor = 10'000'000;

void IgnoreGenericError(void*, const char*, ...) {}
void IgnoreStructuredError(void*, xmlErrorPtr) {}

void InitLibxml() {
    static const bool done = [] {
        Libxml().xmlInitParser();
        return true;
    }();
    (void)done;
}

// libxml2's error handlers are the calling thread's; ours discard its
// reports for as long as the guard lives, then the thread's own return.
class CQuietLibxml {
public:
    CQuietLibxml()
        : generic((*Libxml().genericError())), genericContext((*Libxml().genericErrorContext())),
          structured((*Libxml().structuredError())), structuredContext((*Libxml().structuredErrorContext())) {
        InitLibxml();
        Libxml().xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
        Libxml().xmlSetStructuredErrorFunc(nullptr, IgnoreStructuredError);
    }
    ~CQuietLibxml() {
        Libxml().xmlSetGenericErrorFunc(genericContext, generic);
        Libxml().xmlSetStructuredErrorFunc(structuredContext, structured);
    }
    CQuietLibxml(const CQuietLibxml&) = delete;
    CQuietLibxml& operator=(const CQuietLibxml&) = delete;

private:
    xmlGenericErrorFunc generic;
    void* genericContext;
    xmlStructuredErrorFunc structured;
    void* structuredContext;
};

struct CDocFree {
    void operator()(xmlDocPtr doc) const { Libxml().xmlFreeDoc(doc); }
};
using CDocPtr = std::unique_ptr<xmlDoc, CDocFree>;

struct CXPathContextFree {
    void operator()(xmlXPathContextPtr ctx) const { Libxml().xmlXPathFreeContext(ctx); }
};
using CXPathContextPtr = std::unique_ptr<xmlXPathContext, CXPathContextFree>;

struct CXPathObjectFree {
    void operator()(xmlXPathObjectPtr obj) const { Libxml().xmlXPathFreeObject(obj); }
};
using CXPathObjectPtr = std::unique_ptr<xmlXPathObject, CXPathObjectFree>;

// ---- Parsing ---------------------------------------------------------------

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

bool StartsWithNoCase(std::string_view text, std::size_t at, std::string_view lowerWord) {
    if (text.size() - at < lowerWord.size()) return false;
    for (std::size_t i = 0; i < lowerWord.size(); ++i) {
        char c = text[at + i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != lowerWord[i]) return false;
    }
    return true;
}

// Where the raw text of a script or style element that starts at `from`
// ends: at its end tag, as libxml2 reads it.
std::size_t SkipRawText(std::string_view text, std::size_t from, std::string_view endTag) {
    for (std::size_t at = text.find("</", from); at != std::string_view::npos;
         at = text.find("</", at + 2))
        if (StartsWithNoCase(text, at + 2, endTag)) return at;
    return text.size();
}

bool IsAsciiAlnum(char c) { return IsAsciiLetter(c) || (c >= '0' && c <= '9'); }

// Where each tag name (lower case) first shows as "<name" anywhere in the
// text, in markup or not.
class CFirstStartTags {
public:
    explicit CFirstStartTags(std::string_view text) {
        for (std::size_t i = text.find('<'); i != std::string_view::npos; i = text.find('<', i + 1)) {
            std::size_t end = i + 1;
            while (end < text.size() && IsAsciiAlnum(text[end])) ++end;
            if (end > i + 1) first.try_emplace(Lower(text.substr(i + 1, end - i - 1)), i);
        }
    }
    bool SeenBefore(const std::string& name, std::size_t at) const {
        const auto found = first.find(name);
        return found != first.end() && found->second < at;
    }
    static std::string Lower(std::string_view name) {
        std::string lower(name);
        for (char& c : lower)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        return lower;
    }

private:
    std::unordered_map<std::string, std::size_t> first;
};

// An end tag "</name>" whose element cannot be open: no "<name" anywhere
// before it. libxml2 looks each such tag up through all the open elements
// and then passes over it, so that a page of unclosed tags followed by
// stray end tags costs their product; taking them out first changes
// nothing else. The elements the parser opens by itself are kept.
bool IsStrayEndTag(std::string_view text, std::size_t at, std::size_t& length,
                   std::unique_ptr<CFirstStartTags>& starts) {
    // A name as libxml2 reads one starts with a letter ("</0x>" is text).
    if (!IsAsciiLetter(text[at + 2])) return false;
    std::size_t end = at + 3;
    while (end < text.size() && IsAsciiAlnum(text[end])) ++end;
    if (end >= text.size() || text[end] != '>') return false;
    const std::string name = CFirstStartTags::Lower(text.substr(at + 2, end - at - 2));
    if (name == "html" || name == "head" || name == "body" || name == "p" || name == "br")
        return false;
    if (!starts) starts = std::make_unique<CFirstStartTags>(text);
    if (starts->SeenBefore(name, at)) return false;
    length = end + 1 - at;
    return true;
}

// The byte ranges the parser is not given, read the way libxml2 reads
// tags (comments, other "<!" and "<?" constructs, quoted values and the
// raw text of script and style skipped): the attributes past
// kMaxAttributes in each start tag, and stray end tags. Usually none.
std::vector<std::pair<std::size_t, std::size_t>> UnparsedRanges(std::string_view text,
                                                               bool strayEndTags) {
    std::vector<std::pair<std::size_t, std::size_t>> cuts;
    std::unique_ptr<CFirstStartTags> starts;  // made when first needed
    std::size_t afterConstruct = std::string_view::npos;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while ((i = text.find('<', i)) != std::string_view::npos) {
        if (text.compare(i, 4, "<!--") == 0) {
            const std::size_t end = text.find("-->", i + 4);
            if (end == std::string_view::npos) break;
            i = end + 3;
            continue;
        }
        if (i + 1 < n && (text[i + 1] == '!' || text[i + 1] == '?')) {
            // A doctype, processing instruction or bogus "<!": no end tag
            // is taken out of it, nor anywhere after it when it is not
            // closed, nor right after it (libxml2 reads an end tag after a
            // doctype in the body as text).
            const std::size_t end = text.find('>', i + 2);
            if (end == std::string_view::npos) break;
            i = end + 1;
            afterConstruct = i;
            continue;
        }
        std::size_t length = 0;
        // Only right after another tag's '>', so that what was on either
        // side cannot join into something else once the tag is out ("<",
        // "&" before it).
        if (strayEndTags && i != afterConstruct && i > 0 && text[i - 1] == '>' && i + 2 < n &&
            text[i + 1] == '/' && IsStrayEndTag(text, i, length, starts)) {
            cuts.emplace_back(i, i + length);
            i += length;
            continue;
        }
        if (i + 1 >= n || !IsAsciiLetter(text[i + 1])) {
            ++i;
            continue;
        }
        const std::size_t nameStart = i + 1;
        i = nameStart;
        while (i < n && !IsBlank(text[i]) && text[i] != '>' && text[i] != '/') ++i;
        const std::string_view name = text.substr(nameStart, i - nameStart);
        std::size_t count = 0, cutFrom = std::string_view::npos;
        while (i < n && text[i] != '>') {
            if (IsBlank(text[i]) || text[i] == '/') {
                ++i;
                continue;
            }
            if (++count == kMaxAttributes + 1) cutFrom = i;
            while (i < n && !IsBlank(text[i]) && text[i] != '>' && text[i] != '=') ++i;
            if (i < n && text[i] == '=') {
                ++i;
                while (i < n && IsBlank(text[i])) ++i;
                if (i < n && (text[i] == '"' || text[i] == '\'')) {
                    const std::size_t close = text.find(text[i], i + 1);
                    i = close == std::string_view::npos ? n : close + 1;
                } else {
                    while (i < n && !IsBlank(text[i]) && text[i] != '>') ++i;
                }
            }
        }
        if (cutFrom != std::string_view::npos) cuts.emplace_back(cutFrom, i);
        if (i < n) ++i;
        if (name.size() == 6 && StartsWithNoCase(name, 0, "script"))
            i = SkipRawText(text, i, "script");
        else if (name.size() == 5 && StartsWithNoCase(name, 0, "style"))
            i = SkipRawText(text, i, "style");
    }
    return cuts;
}

// The page parsed as UTF-8. With `forXPath`, its elements are numbered in
// document order (which makes libxml2's node-set ordering constant time a
// comparison) and counted. Null only for a page with nothing in it.
// The page as the parser reads it: UTF-8, without excess attributes.
std::string ParserInput(std::string_view page, std::string_view headerCharset,
                        bool strayEndTags = true) {
    std::string utf8 = DecodeToUtf8(page, headerCharset);
    const auto cuts = UnparsedRanges(utf8, strayEndTags);
    if (!cuts.empty()) {
        std::string kept;
        kept.reserve(utf8.size());
        std::size_t from = 0;
        for (const auto& [begin, end] : cuts) {
            kept.append(utf8, from, begin - from);
            from = end;
        }
        kept.append(utf8, from, std::string::npos);
        utf8.swap(kept);
    }
    return utf8;
}

CDocPtr ParsePage(std::string_view page, std::string_view headerCharset, bool forXPath,
                  long& elementCount, bool strayEndTags = true) {
    const std::string utf8 = ParserInput(page, headerCharset, strayEndTags);
    // The parser takes an int size; a page past 2 GB is read to there.
    const int size = int(std::min<std::size_t>(utf8.size(), INT_MAX));
    CDocPtr doc(Libxml().htmlReadMemory(utf8.data(), size, nullptr, "UTF-8", kParseOptions));
    elementCount = doc && forXPath ? Libxml().xmlXPathOrderDocElems(doc.get()) : 0;
    return doc;
}

// ---- Element kinds ---------------------------------------------------------

enum ElementFlags : unsigned {
    kBlock = 1,      // on lines of its own
    kInvisible = 2,  // its content is not shown
    kCell = 4,       // a table cell: " | " between cells of a row
    kBreak = 8,      // <br>
    kPreformatted = 16,
    kVoid = 32,      // no end tag
    kRawText = 64,   // content not escaped when written back
};

unsigned ElementKind(const xmlChar* rawName) {
    static const std::pair<std::string_view, unsigned> kKinds[] = {
        {"address", kBlock}, {"article", kBlock}, {"aside", kBlock}, {"blockquote", kBlock},
        {"body", kBlock}, {"caption", kBlock}, {"center", kBlock}, {"dd", kBlock},
        {"details", kBlock}, {"dialog", kBlock}, {"dir", kBlock}, {"div", kBlock},
        {"dl", kBlock}, {"dt", kBlock}, {"fieldset", kBlock}, {"figcaption", kBlock},
        {"figure", kBlock}, {"footer", kBlock}, {"form", kBlock}, {"h1", kBlock},
        {"h2", kBlock}, {"h3", kBlock}, {"h4", kBlock}, {"h5", kBlock}, {"h6", kBlock},
        {"header", kBlock}, {"hgroup", kBlock}, {"hr", kBlock | kVoid}, {"html", kBlock},
        {"legend", kBlock}, {"li", kBlock}, {"main", kBlock}, {"menu", kBlock},
        {"nav", kBlock}, {"ol", kBlock}, {"option", kBlock}, {"p", kBlock},
        {"section", kBlock}, {"summary", kBlock}, {"table", kBlock}, {"tbody", kBlock},
        {"thead", kBlock}, {"tfoot", kBlock}, {"tr", kBlock}, {"ul", kBlock},
        {"pre", kBlock | kPreformatted}, {"listing", kBlock | kPreformatted},
        {"xmp", kBlock | kPreformatted}, {"plaintext", kBlock | kPreformatted},
        {"textarea", kBlock | kPreformatted}, {"td", kCell}, {"th", kCell},
        {"br", kBreak | kVoid}, {"head", kBlock | kInvisible}, {"title", kBlock | kInvisible},
        {"script", kBlock | kInvisible | kRawText}, {"style", kBlock | kInvisible | kRawText},
        {"noscript", kInvisible}, {"template", kInvisible}, {"svg", kInvisible},
        {"math", kInvisible}, {"iframe", kInvisible}, {"canvas", kInvisible},
        {"video", kInvisible}, {"audio", kInvisible}, {"datalist", kInvisible},
        {"area", kVoid}, {"base", kVoid}, {"col", kVoid}, {"embed", kVoid}, {"img", kVoid},
        {"input", kVoid}, {"link", kVoid | kInvisible}, {"meta", kVoid | kInvisible},
        {"param", kVoid}, {"source", kVoid}, {"track", kVoid}, {"wbr", kVoid},
        {"basefont", kVoid}, {"frame", kVoid}, {"keygen", kVoid},
    };
    static const std::unordered_map<std::string_view, unsigned> kByName(std::begin(kKinds),
                                                                      std::end(kKinds));
    const auto found = kByName.find(reinterpret_cast<const char*>(rawName));
    return found == kByName.end() ? 0 : found->second;
}

std::string_view AttributeValue(const xmlAttr* attr) {
    // The HTML parser gives an attribute at most one text child.
    if (!attr->children || !attr->children->content) return {};
    return reinterpret_cast<const char*>(attr->children->content);
}

bool NameIs(const xmlChar* name, const char* lower) {
    return std::strcmp(reinterpret_cast<const char*>(name), lower) == 0;
}

bool StyleHidesElement(std::string_view style) {
    std::string compact;
    for (char c : style)
        if (!IsBlank(c)) compact += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    return compact.find("display:none") != std::string::npos;
}

// Hidden by its own markup: the `hidden` attribute, an inline
// display:none, or an <input type=hidden>.
bool AttributeHides(bool input, const xmlChar* name, std::string_view value) {
    if (NameIs(name, "hidden")) return true;
    if (NameIs(name, "style") && StyleHidesElement(value)) return true;
    return input && NameIs(name, "type") && StartsWithNoCase(value, 0, "hidden");
}

bool IsHiddenByAttributes(const xmlNode* element) {
    const bool input = NameIs(element->name, "input");
    for (const xmlAttr* attr = element->properties; attr; attr = attr->next)
        if (AttributeHides(input, attr->name, AttributeValue(attr))) return true;
    return false;
}

// The same, from a start tag's attributes as the parser reports them:
// name and value pairs, a value null when the attribute has none.
bool IsHiddenByAttributes(const xmlChar* element, const xmlChar** attributes) {
    if (!attributes) return false;
    const bool input = NameIs(element, "input");
    for (const xmlChar** at = attributes; at[0]; at += 2) {
        const std::string_view value =
            at[1] ? std::string_view(reinterpret_cast<const char*>(at[1])) : std::string_view();
        if (AttributeHides(input, at[0], value)) return true;
    }
    return false;
}

std::uintptr_t Marks(const void* privateField) { return reinterpret_cast<std::uintptr_t>(privateField); }
void AddMark(void*& privateField, std::uintptr_t mark) {
    privateField = reinterpret_cast<void*>(Marks(privateField) | mark);
}
void ClearMark(void*& privateField, std::uintptr_t mark) {
    privateField = reinterpret_cast<void*>(Marks(privateField) & ~mark);
}

// ---- Ignored text ----------------------------------------------------------

// Removes the matches of the filter's patterns from pieces of text, and
// keeps what it removed when asked (the preview).
class CTextScrubber {
public:
    CTextScrubber(const std::vector<pcre2_code*>& patterns, bool keepRemoved)
        : patterns(patterns), keep(keepRemoved), removed(patterns.size()),
          limitHits(patterns.size(), 0) {
        context = pcre2_match_context_create(nullptr);
        pcre2_set_match_limit(context, kMatchLimit);
        pcre2_set_heap_limit(context, kHeapLimitKib);
        for (pcre2_code* code : patterns)
            data.push_back(pcre2_match_data_create_from_pattern(code, nullptr));
    }
    ~CTextScrubber() {
        for (pcre2_match_data* d : data) pcre2_match_data_free(d);
        pcre2_match_context_free(context);
    }
    CTextScrubber(const CTextScrubber&) = delete;
    CTextScrubber& operator=(const CTextScrubber&) = delete;

    bool Empty() const { return patterns.empty(); }

    // `text` without every pattern's matches; true when something went.
    bool Scrub(std::string& text) {
        bool changed = false;
        for (std::size_t i = 0; i < patterns.size() && !text.empty(); ++i)
            changed |= ScrubWith(i, text);
        return changed;
    }

    std::vector<std::string>& Removed() { return removed; }

private:
    bool ScrubWith(std::size_t index, std::string& text) {
        if (limitHits[index] >= kMaxLimitHits || !context || !data[index]) return false;
        const auto* subject = reinterpret_cast<PCRE2_SPTR>(text.data());
        std::string kept;
        std::size_t start = 0, copied = 0;
        std::uint32_t options = 0;
        while (start <= text.size()) {
            const int rc = pcre2_match(patterns[index], subject, text.size(), start, options,
                                       data[index], context);
            if (rc == PCRE2_ERROR_NOMATCH) break;
            if (rc < 0) {  // a limit, or bytes the matcher refuses: the text stays
                ++limitHits[index];
                return false;
            }
            const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data[index]);
            const std::size_t begin = std::max<std::size_t>(ovector[0], copied);
            const std::size_t end = std::max<std::size_t>(ovector[1], begin);
            kept.append(text, copied, begin - copied);
            if (keep && end > begin) removed[index].append(text, begin, end - begin) += '\n';
            copied = end;
            start = end;
            if (ovector[1] <= ovector[0]) {  // empty: step over one character
                if (start >= text.size()) break;
                ++start;
                while (start < text.size() && (text[start] & 0xC0) == 0x80) ++start;
            }
            options = PCRE2_NO_UTF_CHECK;
        }
        if (copied == 0) return false;
        kept.append(text, copied, std::string::npos);
        text.swap(kept);
        return true;
    }

    const std::vector<pcre2_code*>& patterns;
    const bool keep;
    std::vector<std::string> removed;
    std::vector<int> limitHits;
    std::vector<pcre2_match_data*> data;
    pcre2_match_context* context = nullptr;
};

// What is escaped: a watched line escapes '&' and '<' only (the change
// detector's text outputs are unescaped by UnescapeWatchedText); markup
// text escapes '>' too, an attribute value '"'.
enum class Escape { Line, Text, Attribute };

void AppendEscaped(std::string& out, std::string_view text, Escape what) {
    const char other = what == Escape::Text ? '>' : what == Escape::Attribute ? '"' : '&';
    std::size_t from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        // Most bytes are none of the three: one range test passes them.
        if (c > '>' || (c != '&' && c != '<' && c != other)) continue;
        std::string_view escape;
        switch (c) {
        case '&': escape = "&amp;"; break;
        case '<': escape = "&lt;"; break;
        case '>': escape = "&gt;"; break;
        default: escape = "&quot;"; break;
        }
        out.append(text.data() + from, i - from);
        out.append(escape);
        from = i + 1;
    }
    out.append(text.data() + from, text.size() - from);
}

// ---- Visible text ----------------------------------------------------------

void CollapseWhiteSpace(std::string& line) {
    std::string out;
    bool space = false;
    for (char c : line) {
        if (IsBlank(c)) {
            space = !out.empty();
            continue;
        }
        if (space) out += ' ';
        space = false;
        out += c;
    }
    line.swap(out);
}

// The bytes that may start collapsible white space: the ASCII blanks, and
// the first of U+00A0's two.
constexpr auto kMaybeSpace = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : {' ', '\t', '\n', '\r', '\f'}) table[c] = true;
    table[0xC2] = true;
    return table;
}();

// Gathers visible text into lines: white space collapsed to single spaces
// and trimmed (kept inside preformatted elements, where only line ends
// are trimmed), empty lines dropped, each line scrubbed of ignored text.
class CLineBuilder {
public:
    explicit CLineBuilder(CTextScrubber* scrubber) : scrubber(scrubber) {}
    // Lines written straight into a watched document instead, each
    // escaped and ended with "<br>".
    CLineBuilder(CTextScrubber* scrubber, std::string& document)
        : scrubber(scrubber), document(&document) {}

    void AddText(std::string_view text) {
        if (preformatted > 0) {
            AddPreformatted(text);
            return;
        }
        // White space that collapses: ASCII blanks, and U+00A0, which
        // pages use as a spacer. Written in place: the text collapses to
        // at most its own length, plus a cell's " | " in front.
        const std::size_t size = text.size();
        std::size_t n = line.size();
        line.resize(n + size + 3);
        char* out = line.data();
        for (std::size_t i = 0; i < size;) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            if (kMaybeSpace[c]) {
                const bool nbsp = c == 0xC2;
                if (!nbsp || (i + 1 < size && text[i + 1] == '\xA0')) {
                    pendingSpace = pendingSpace || n != 0;
                    i += nbsp ? 2 : 1;
                    continue;
                }
            }
            if ((pendingSpace || pendingCell) && n != 0) {
                if (pendingCell) {
                    std::memcpy(out + n, " | ", 3);
                    n += 3;
                } else {
                    out[n++] = ' ';
                }
            }
            pendingSpace = pendingCell = false;
            std::size_t end = i + 1;
            while (end < size && !kMaybeSpace[static_cast<unsigned char>(text[end])]) ++end;
            std::memcpy(out + n, text.data() + i, end - i);
            n += end - i;
            i = end;
        }
        line.resize(n);
    }

    void StartCell() {
        if (!line.empty()) pendingCell = true;
    }
    void EndLine() {
        while (!line.empty() && IsBlank(line.back())) line.pop_back();
        if (!line.empty() && scrubber && !scrubber->Empty() && scrubber->Scrub(line))
            CollapseWhiteSpace(line);
        if (line.empty()) {
        } else if (document) {
            AppendEscaped(*document, line, Escape::Line);
            *document += "<br>\n";
        } else {
            lines.push_back(std::move(line));
        }
        line.clear();
        pendingSpace = pendingCell = false;
    }
    void EnterPreformatted() { ++preformatted; }
    void LeavePreformatted() {
        if (preformatted > 0) --preformatted;
    }

    std::vector<std::string>& Lines() {
        EndLine();
        return lines;
    }

private:

    void AddPreformatted(std::string_view text) {
        for (char c : text) {
            if (c == '\n')
                EndLine();
            else if (c != '\r')
                line += c;
        }
    }

    CTextScrubber* scrubber;
    std::string* document = nullptr;
    std::vector<std::string> lines;
    std::string line;
    bool pendingSpace = false;
    bool pendingCell = false;
    int preformatted = 0;
};

// ---- Markup ----------------------------------------------------------------

// Writes markup back as HTML, each block element's start tag at the
// beginning of a line, so that comparing line by line compares blocks.
class CMarkupWriter {
public:
    CMarkupWriter(CTextScrubber* scrubber, std::uintptr_t skipMask)
        : scrubber(scrubber), skipMask(skipMask) {}

    void StartElement(const xmlNode* element, unsigned kind) {
        if (kind & kBlock) StartLine();
        out += '<';
        out += reinterpret_cast<const char*>(element->name);
        for (const xmlAttr* attr = element->properties; attr; attr = attr->next) {
            if (Marks(attr->_private) & skipMask) continue;
            out += ' ';
            out += reinterpret_cast<const char*>(attr->name);
            if (!attr->children) continue;
            out += "=\"";
            AppendEscaped(out, AttributeValue(attr), Escape::Attribute);
            out += '"';
        }
        out += '>';
        if (kind & kRawText) ++rawText;
    }
    void EndElement(const xmlNode* element, unsigned kind) {
        if (kind & kRawText) --rawText;
        if (kind & kVoid) return;
        out += "</";
        out += reinterpret_cast<const char*>(element->name);
        out += '>';
    }
    void Text(std::string_view text) {
        if (scrubber && !scrubber->Empty()) {
            std::string scrubbed(text);
            scrubber->Scrub(scrubbed);
            Write(scrubbed);
        } else {
            Write(text);
        }
    }
    void Comment(std::string_view text) {
        out += "<!--";
        out += text;
        out += "-->";
    }
    void StartLine() {
        while (!out.empty() && IsBlank(out.back())) out.pop_back();
        if (!out.empty()) out += '\n';
    }
    std::string& Output() { return out; }

private:
    void Write(std::string_view text) {
        if (rawText > 0)
            out += text;
        else
            AppendEscaped(out, text, Escape::Text);
    }

    CTextScrubber* scrubber;
    std::uintptr_t skipMask;
    std::string out;
    int rawText = 0;
};

// ---- Walking the page ------------------------------------------------------

std::string_view NodeText(const xmlNode* node) {
    return node->content ? std::string_view(reinterpret_cast<const char*>(node->content))
                         : std::string_view();
}

// Visits the page in document order without recursion. Only what lies
// inside a selected node (marked with selectMask; with 0, the whole
// page) is given to the builder or the writer; nodes marked with
// skipMask are passed over with everything in them. In text form,
// invisible elements are passed over too, except a selected node itself:
// a region the user chose is watched even when it is, say, the title.
class CPageWalker {
public:
    CPageWalker(std::uintptr_t selectMask, std::uintptr_t skipMask, bool hasSelectedAttributes)
        : selectMask(selectMask), skipMask(skipMask), selectedAttributes(hasSelectedAttributes) {}

    void Walk(xmlDocPtr doc, CLineBuilder* text, CMarkupWriter* markup) {
        lines = text;
        writer = markup;
        xmlNodePtr root = reinterpret_cast<xmlNodePtr>(doc);
        selection = selectMask == 0 ? root : nullptr;
        xmlNodePtr node = doc->children;
        while (node) {
            if (Enter(node) && node->children) {
                node = node->children;
                continue;
            }
            // Every ancestor on the way up was gone into.
            while (!node->next) {
                node = node->parent;
                if (!node || node == root) return;
                Leave(node);
                if (node == selection) EndSelection();
            }
            node = node->next;
        }
    }

private:
    // True when the walk goes into the node's children.
    bool Enter(xmlNodePtr node) {
        const std::uintptr_t marks = Marks(node->_private);
        if (marks & skipMask) return false;
        bool selectedHere = false;
        if (!selection && (marks & selectMask)) {
            selection = node;
            selectedHere = true;
            if (lines) lines->EndLine();
            if (writer) writer->StartLine();
        }
        if (!selection) {
            if (node->type != XML_ELEMENT_NODE) return false;
            if (selectedAttributes) EmitSelectedAttributes(node);
            return true;
        }
        switch (node->type) {
        case XML_ELEMENT_NODE: return EnterElement(node, selectedHere);
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
            if (lines) lines->AddText(NodeText(node));
            if (writer) writer->Text(NodeText(node));
            break;
        case XML_COMMENT_NODE:
            if (writer) writer->Comment(NodeText(node));
            break;
        default: break;
        }
        if (selectedHere) EndSelection();
        return false;
    }

    bool EnterElement(xmlNodePtr node, bool selectedHere) {
        const unsigned kind = ElementKind(node->name);
        if (lines) {
            if (!selectedHere && ((kind & kInvisible) || IsHiddenByAttributes(node))) return false;
            if (kind & (kBlock | kBreak)) lines->EndLine();
            if (kind & kCell) lines->StartCell();
            if (kind & kPreformatted) lines->EnterPreformatted();
        }
        if (writer) writer->StartElement(node, kind);
        if (!node->children) {
            Leave(node);
            if (selectedHere) EndSelection();
            return false;
        }
        return true;
    }

    void Leave(xmlNodePtr element) {
        if (!selection) return;
        const unsigned kind = ElementKind(element->name);
        if (lines) {
            if (kind & kBlock) lines->EndLine();
            if (kind & kPreformatted) lines->LeavePreformatted();
        }
        if (writer) writer->EndElement(element, kind);
    }

    void EndSelection() {
        if (selection && selectMask != 0) {
            selection = nullptr;
            if (lines) lines->EndLine();
            if (writer) writer->StartLine();
        }
    }

    // An attribute selected by itself (a region such as //a/@href): its
    // value, on a line of its own.
    void EmitSelectedAttributes(const xmlNode* element) {
        for (const xmlAttr* attr = element->properties; attr; attr = attr->next) {
            const std::uintptr_t marks = Marks(attr->_private);
            if (!(marks & selectMask) || (marks & skipMask)) continue;
            if (lines) {
                lines->EndLine();
                lines->AddText(AttributeValue(attr));
                lines->EndLine();
            }
            if (writer) {
                writer->StartLine();
                writer->Text(AttributeValue(attr));
                writer->StartLine();
            }
        }
    }

    const std::uintptr_t selectMask;
    const std::uintptr_t skipMask;
    const bool selectedAttributes;
    xmlNodePtr selection = nullptr;
    CLineBuilder* lines = nullptr;
    CMarkupWriter* writer = nullptr;
};

// ---- Reading the page as a stream -----------------------------------------

// The visible text of a whole page from the parser's events, without
// building its tree: what CPageWalker gives for a page with nothing marked,
// in a fraction of the time and memory. The parser makes the same events
// either way (the tree is built from them), so keeping the tree's rules
// for where the events put things keeps the text the same.
class CTextStream {
public:
    explicit CTextStream(CLineBuilder& lines) : lines(lines) {}

    void Read(const std::string& utf8) {
        if (utf8.empty()) return;  // as Libxml().htmlReadMemory: no document at all
        const int size = int(std::min<std::size_t>(utf8.size(), INT_MAX));
        htmlParserCtxtPtr ctxt = Libxml().htmlCreateMemoryParserCtxt(utf8.data(), size);
        if (!ctxt) return;
        // The handlers get the parser (its default user data), which
        // carries this stream.
        *ctxt->sax = Handler();
        ctxt->_private = this;
        // What Libxml().htmlReadMemory does with the same options and encoding.
        Libxml().htmlCtxtUseOptions(ctxt, kParseOptions);
        if (xmlCharEncodingHandlerPtr utf8Handler = Libxml().xmlFindCharEncodingHandler("UTF-8")) {
            Libxml().xmlSwitchToEncoding(ctxt, utf8Handler);
            if (ctxt->input->encoding) (*Libxml().xmlFree)(const_cast<xmlChar*>(ctxt->input->encoding));
            ctxt->input->encoding = Libxml().xmlStrdup(BAD_CAST "UTF-8");
        }
        Libxml().htmlParseDocument(ctxt);
        if (ctxt->myDoc) Libxml().xmlFreeDoc(ctxt->myDoc);
        ctxt->myDoc = nullptr;
        Libxml().htmlFreeParserCtxt(ctxt);
        Flush();
    }

private:
    static xmlSAXHandler Handler() {
        xmlSAXHandler defaults{};
        Libxml().xmlSAX2InitHtmlDefaultSAXHandler(&defaults);
        xmlSAXHandler h{};
        // The document itself and its doctype, which the parser looks at
        // when it decides what white space is ignorable.
        h.startDocument = defaults.startDocument;
        h.internalSubset = [](void* ctxt, const xmlChar* name, const xmlChar* externalId,
                              const xmlChar* systemId) {
            Libxml().xmlSAX2InternalSubset(ctxt, name, externalId, systemId);
            Self(ctxt)->top = Top::Other;
        };
        h.startElement = [](void* self, const xmlChar* name, const xmlChar** attributes) {
            Self(self)->Start(name, attributes);
        };
        h.endElement = [](void* self, const xmlChar*) { Self(self)->End(); };
        h.characters = [](void* self, const xmlChar* text, int length) {
            Self(self)->Characters(text, length);
        };
        h.cdataBlock = h.characters;
        h.ignorableWhitespace =
            defaults.ignorableWhitespace == defaults.characters ? h.characters : nullptr;
        h.comment = [](void* self, const xmlChar*) { Self(self)->TopLevelNode(); };
        h.processingInstruction = [](void* self, const xmlChar*, const xmlChar*) {
            Self(self)->TopLevelNode();
        };
        return h;
    }
    static CTextStream* Self(void* ctxt) {
        return static_cast<CTextStream*>(static_cast<htmlParserCtxtPtr>(ctxt)->_private);
    }

    // Where the tree puts an element that starts with none open (after
    // the root was closed): inside the root when the root was the
    // document's first node, else after it. Inside a root that was not
    // shown, it is not shown either.
    enum class Top : std::uint8_t { None, Root, Other };

    void TopLevelNode() {
        Flush();
        if (depth == 0 && top == Top::None) top = Top::Other;
    }

    void Start(const xmlChar* name, const xmlChar** attributes) {
        Flush();
        ++depth;
        if (skipFrom) return;
        if (depth == 1 && top == Top::Root && rootHidden) {
            skipFrom = 1;
            return;
        }
        const xmlChar* local = LocalName(name);
        const unsigned kind = CachedKind(name, local);
        const bool hidden = (kind & kInvisible) || IsHiddenByAttributes(local, attributes);
        if (depth == 1 && top == Top::None) {
            top = Top::Root;
            rootHidden = hidden;
        }
        if (hidden) {
            skipFrom = depth;
            return;
        }
        if (kind & (kBlock | kBreak)) lines.EndLine();
        if (kind & kCell) lines.StartCell();
        if (kind & kPreformatted) lines.EnterPreformatted();
        open.push_back(kind);
    }

    void End() {
        Flush();
        if (depth == 0) return;
        if (skipFrom) {
            if (depth-- == skipFrom) skipFrom = 0;
            return;
        }
        --depth;
        const unsigned kind = open.back();
        open.pop_back();
        if (kind & kBlock) lines.EndLine();
        if (kind & kPreformatted) lines.LeavePreformatted();
    }

    // The parser gives each name as one pointer into its dictionary for
    // the whole page (or one of its own constants): kinds are looked up
    // by pointer first.
    unsigned CachedKind(const xmlChar* name, const xmlChar* local) {
        auto& slot = kinds[(reinterpret_cast<std::uintptr_t>(name) >> 3) % std::size(kinds)];
        if (slot.first != name) slot = {name, ElementKind(local)};
        return slot.second;
    }

    // The name the tree gives an element: a prefix up to the first colon
    // is taken off (xmlSplitQName), except when the name starts or ends
    // with that colon. <xml:div> is a div there.
    static const xmlChar* LocalName(const xmlChar* name) {
        if (name[0] == ':') return name;
        const char* colon = std::strchr(reinterpret_cast<const char*>(name), ':');
        if (!colon || colon[1] == '\0') return name;
        return reinterpret_cast<const xmlChar*>(colon + 1);
    }

    // The tree joins text that comes in pieces into one node; so does
    // this, and text with no element open is dropped, as there.
    void Characters(const xmlChar* text, int length) {
        if (depth == 0 || skipFrom) return;
        pending.append(reinterpret_cast<const char*>(text), std::size_t(length));
    }

    void Flush() {
        if (pending.empty()) return;
        lines.AddText(pending);
        pending.clear();
    }

    CLineBuilder& lines;
    std::vector<unsigned> open;  // the kinds of the open elements shown
    std::size_t depth = 0;       // open elements, shown or not
    std::size_t skipFrom = 0;    // the depth of the element not shown, 0: none
    Top top = Top::None;
    bool rootHidden = false;
    std::string pending;
    std::pair<const xmlChar*, unsigned> kinds[64] = {};
};

// ---- Selecting -------------------------------------------------------------

// The nodes an expression selects; null when it selects none or gives
// something else than nodes (that was refused at compile time when it
// could be seen), or when it runs past its step limit.
CXPathObjectPtr Evaluate(xmlXPathCompExprPtr expr, xmlDocPtr doc, long elementCount) {
    CXPathContextPtr ctx(Libxml().xmlXPathNewContext(doc));
    if (!ctx) return nullptr;
    ctx->error = IgnoreStructuredError;
    ctx->node = reinterpret_cast<xmlNodePtr>(doc);
    ctx->opLimit = kXPathOpsFloor + kXPathOpsPerElement * static_cast<unsigned long>(elementCount);
    CXPathObjectPtr result(Libxml().xmlXPathCompiledEval(expr, ctx.get()));
    if (!result || result->type != XPATH_NODESET || !result->nodesetval) return nullptr;
    return result;
}

struct CMarkCount {
    bool any = false;
    bool attributes = false;
};

// Sets or clears `mark` on each node of a node set; the document itself
// stands for everything in it. Namespace nodes are not tree nodes in
// libxml2 (and carry no text): they are passed over.
CMarkCount MarkNodes(const xmlXPathObject* nodes, std::uintptr_t mark, bool set) {
    CMarkCount count;
    if (!nodes) return count;
    const xmlNodeSet* list = nodes->nodesetval;
    for (int i = 0; i < list->nodeNr; ++i) {
        xmlNodePtr node = list->nodeTab[i];
        switch (node->type) {
        case XML_NAMESPACE_DECL: continue;
        case XML_DOCUMENT_NODE:
        case XML_HTML_DOCUMENT_NODE:
            for (xmlNodePtr child = node->children; child; child = child->next)
                set ? AddMark(child->_private, mark) : ClearMark(child->_private, mark);
            break;
        case XML_ATTRIBUTE_NODE:
            count.attributes = true;
            [[fallthrough]];
        default: set ? AddMark(node->_private, mark) : ClearMark(node->_private, mark);
        }
        count.any = true;
    }
    return count;
}

// One version of the page with the filter's selections marked on it.
struct CMarkedPage {
    CDocPtr doc;
    bool regionMatched = true;
    bool regionAttributes = false;
    std::vector<CXPathObjectPtr> ignored;  // per ignored region, its nodes
};

CMarkedPage MarkPage(std::string_view page, std::string_view headerCharset,
                     const CCompiledFilter::CImpl& impl, bool strayEndTags = true) {
    CMarkedPage marked;
    long elementCount = 0;
    const bool forXPath = impl.region || !impl.ignoreRegions.empty();
    marked.doc = ParsePage(page, headerCharset, forXPath, elementCount, strayEndTags);
    if (!marked.doc) {
        marked.regionMatched = impl.region == nullptr;
        marked.ignored.resize(impl.ignoreRegions.size());
        return marked;
    }
    if (impl.region) {
        CXPathObjectPtr region = Evaluate(impl.region, marked.doc.get(), elementCount);
        const CMarkCount count = MarkNodes(region.get(), kRegionMark, true);
        marked.regionMatched = count.any;
        marked.regionAttributes = count.attributes;
    }
    for (xmlXPathCompExprPtr expr : impl.ignoreRegions) {
        marked.ignored.push_back(Evaluate(expr, marked.doc.get(), elementCount));
        MarkNodes(marked.ignored.back().get(), kIgnoredMark, true);
    }
    return marked;
}

constexpr char kDeclaration[] = "<meta charset=\"utf-8\">\n";

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) (out += line) += '\n';
    return out;
}

// The watched lines (text form) or markup (source form) of a marked page.
std::string WatchedForm(const CMarkedPage& marked, const CCompiledFilter& filter,
                        CTextScrubber& scrubber, bool document) {
    const bool hasRegion = filter.Impl().region != nullptr;
    if (!marked.doc || !marked.regionMatched) return document ? kDeclaration : "";
    CPageWalker walker(hasRegion ? kRegionMark : 0, kIgnoredMark, marked.regionAttributes);
    std::string out = document ? kDeclaration : "";
    if (filter.Filter().compare == CompareWhat::Text) {
        CLineBuilder lines(&scrubber);
        walker.Walk(marked.doc.get(), &lines, nullptr);
        for (const std::string& line : lines.Lines()) {
            if (!document) {
                (out += line) += '\n';
                continue;
            }
            AppendEscaped(out, line, Escape::Line);
            out += "<br>\n";
        }
        return out;
    }
    CMarkupWriter writer(&scrubber, kIgnoredMark);
    walker.Walk(marked.doc.get(), nullptr, &writer);
    out += writer.Output();
    if (!out.empty() && out.back() != '\n') out += '\n';
    return out;
}

std::string VisibleText(xmlDocPtr doc, std::uintptr_t selectMask, std::uintptr_t skipMask) {
    CLineBuilder lines(nullptr);
    CPageWalker(selectMask, skipMask, false).Walk(doc, &lines, nullptr);
    return JoinLines(lines.Lines());
}

// ---- Compiling -------------------------------------------------------------

std::string Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

std::string XPathErrorText(const xmlError& error) {
    std::string text = error.message ? error.message : "XPath error";
    while (!text.empty() && IsBlank(text.back())) text.pop_back();
    return text;
}

const char* ResultKind(xmlXPathObjectType type) {
    switch (type) {
    case XPATH_BOOLEAN: return "a true or false value";
    case XPATH_NUMBER: return "a number";
    case XPATH_STRING: return "a string";
    default: return "something other than elements";
    }
}

// `setting` is how messages name it: "region" or "ignored region".
xmlXPathCompExprPtr CompileSelector(const std::string& selector, const char* setting) {
    const std::string prefix = std::string("The ") + setting + " \"" + selector + "\" ";
    std::string xpath;
    try {
        xpath = SelectorToXPath(selector);
    } catch (const CFilterError& e) {
        throw CFilterError(prefix + "is not a valid selector: " + e.Message());
    }
    CQuietLibxml quiet;
    CXPathContextPtr ctx(Libxml().xmlXPathNewContext(nullptr));
    if (!ctx) throw CFilterError(prefix + "could not be compiled.");
    ctx->error = IgnoreStructuredError;
    xmlXPathCompExprPtr expr = Libxml().xmlXPathCtxtCompile(ctx.get(), BAD_CAST xpath.c_str());
    if (!expr) {
        std::string message = prefix + "is not a valid selector: " + XPathErrorText(ctx->lastError);
        if (IsXPathExpression(selector))
            message += " at offset " + std::to_string(ctx->lastError.int1);
        throw CFilterError(message + ".");
    }
    // What the expression gives shows on any page: try it on a small one,
    // which also finds unknown functions, found only when evaluating.
    static const char kProbePage[] = "<html><head><title>t</title></head><body><p>p</p></body></html>";
    CDocPtr probe(Libxml().htmlReadMemory(kProbePage, int(sizeof kProbePage - 1), nullptr, "UTF-8", kParseOptions));
    CXPathContextPtr evalCtx(Libxml().xmlXPathNewContext(probe.get()));
    if (probe && evalCtx) {
        evalCtx->error = IgnoreStructuredError;
        evalCtx->node = reinterpret_cast<xmlNodePtr>(probe.get());
        CXPathObjectPtr result(Libxml().xmlXPathCompiledEval(expr, evalCtx.get()));
        std::string problem;
        if (!result)
            problem = "is not a valid selector: " + XPathErrorText(evalCtx->lastError) + ".";
        else if (result->type != XPATH_NODESET)
            problem = std::string("gives ") + ResultKind(result->type) + ", not parts of the page.";
        if (!problem.empty()) {
            Libxml().xmlXPathFreeCompExpr(expr);
            throw CFilterError(prefix + problem);
        }
    }
    return expr;
}

pcre2_code* CompilePattern(const std::string& pattern) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                     PCRE2_UTF | PCRE2_UCP, &error, &offset, nullptr);
    if (!code) {
        PCRE2_UCHAR buffer[256];
        pcre2_get_error_message(error, buffer, sizeof buffer);
        throw CFilterError("The ignored text \"" + pattern + "\" is not a valid pattern: " +
                           reinterpret_cast<const char*>(buffer) + " at offset " +
                           std::to_string(offset) + ".");
    }
    // The JIT is a speed-up only: without it (no JIT on the platform, or
    // out of memory) the interpreter matches the same.
    pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
    return code;
}

}  // namespace

CCompiledFilter::~CCompiledFilter() {
    if (!impl) return;
    if (impl->region) Libxml().xmlXPathFreeCompExpr(impl->region);
    for (xmlXPathCompExprPtr expr : impl->ignoreRegions) Libxml().xmlXPathFreeCompExpr(expr);
    for (pcre2_code* code : impl->ignoreText) pcre2_code_free(code);
}

std::shared_ptr<const CCompiledFilter> CCompiledFilter::Compile(const CWatchFilter& filter) {
    std::shared_ptr<CCompiledFilter> compiled(new CCompiledFilter);
    compiled->filter = filter;
    compiled->impl = std::make_unique<CImpl>();
    CImpl& impl = *compiled->impl;
    // Settings are stored as typed; text from a Windows code page (bytes
    // that are not UTF-8) reads as windows-1252, as in every window, so that
    // it can match the page, which is read as UTF-8.
    auto utf8 = [](const std::string& entry) { return DecodeToUtf8(entry, ""); };
    // Blank entries are the empty rows of the settings' lists.
    if (!Trimmed(filter.region).empty()) impl.region = CompileSelector(utf8(filter.region), "region");
    for (const std::string& selector : filter.ignoreRegions)
        if (!Trimmed(selector).empty())
            impl.ignoreRegions.push_back(CompileSelector(utf8(selector), "ignored region"));
    for (const std::string& pattern : filter.ignoreText) {
        if (pattern.empty()) continue;
        impl.ignoreText.push_back(CompilePattern(utf8(pattern)));
        impl.ignoreTextSources.push_back(utf8(pattern));
    }
    return compiled;
}

namespace {

CWatchedVersion ExtractThroughTree(std::string_view page, std::string_view headerCharset,
                                   const CCompiledFilter& filter, bool strayEndTags) {
    CQuietLibxml quiet;
    const CMarkedPage marked = MarkPage(page, headerCharset, filter.Impl(), strayEndTags);
    CTextScrubber scrubber(filter.Impl().ignoreText, false);
    CWatchedVersion version;
    version.regionMatched = marked.regionMatched;
    version.document = WatchedForm(marked, filter, scrubber, true);
    return version;
}

}  // namespace

bool detail::ReadsAsStream(const CCompiledFilter& filter) {
    return filter.Filter().compare == CompareWhat::Text && !filter.Impl().region &&
           filter.Impl().ignoreRegions.empty();
}

CWatchedVersion ExtractWatched(std::string_view page, std::string_view headerCharset,
                               const CCompiledFilter& filter) {
    if (!detail::ReadsAsStream(filter)) return ExtractThroughTree(page, headerCharset, filter, true);
    CQuietLibxml quiet;
    CTextScrubber scrubber(filter.Impl().ignoreText, false);
    CWatchedVersion version;
    version.document = kDeclaration;
    const std::string utf8 = ParserInput(page, headerCharset);
    CLineBuilder lines(&scrubber, version.document);
    CTextStream(lines).Read(utf8);
    lines.EndLine();
    return version;
}

CWatchedVersion detail::ExtractWatchedFromTree(std::string_view page, std::string_view headerCharset,
                                               const CCompiledFilter& filter) {
    return ExtractThroughTree(page, headerCharset, filter, false);
}

std::string RegionMatchedNothing(const std::string& region) {
    return "The region \"" + region + "\" matched nothing on the page.";
}

std::string UnescapeWatchedText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 4, "&lt;") == 0) {
            out += '<';
            i += 3;
        } else if (text.compare(i, 5, "&amp;") == 0) {
            out += '&';
            i += 4;
        } else {
            out += text[i];
        }
    }
    return out;
}

CWatchPreview PreviewWatched(std::string_view page, std::string_view headerCharset,
                             const CCompiledFilter& filter) {
    CQuietLibxml quiet;
    CMarkedPage marked = MarkPage(page, headerCharset, filter.Impl());
    CTextScrubber scrubber(filter.Impl().ignoreText, true);
    CWatchPreview preview;
    preview.regionMatched = marked.regionMatched;
    preview.watchedText = WatchedForm(marked, filter, scrubber, false);
    preview.ignoredText = std::move(scrubber.Removed());
    for (std::string& removed : preview.ignoredText)
        if (!removed.empty() && removed.back() == '\n') removed.pop_back();
    preview.ignoredRegions.resize(marked.ignored.size());
    if (!marked.doc) return preview;
    if (filter.Impl().region) preview.outsideRegion = VisibleText(marked.doc.get(), 0, kRegionMark);
    for (std::size_t i = 0; i < marked.ignored.size(); ++i) {
        if (!MarkNodes(marked.ignored[i].get(), kProbeMark, true).any) continue;
        preview.ignoredRegions[i] = VisibleText(marked.doc.get(), kProbeMark, 0);
        MarkNodes(marked.ignored[i].get(), kProbeMark, false);
    }
    return preview;
}

}  // namespace tallyhawk
