#include "content/Selector.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tallyhawk {

namespace {

// ":not(" inside ":not(" is parsed by recursion; nothing sensible needs more.
constexpr int kMaxNotDepth = 32;
// Larger numbers in :nth-child() would not match any page and could
// overflow the arithmetic.
constexpr std::int64_t kMaxNthNumber = 999'999'999;
// Selectors quoted in messages are cut to their last characters.
constexpr std::size_t kShownCharacters = 40;
constexpr char32_t kReplacement = 0xFFFD;

bool IsWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) {
    return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    return (c | 0x20) - 'a' + 10;
}
bool IsAsciiLetter(char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; }
char ToLowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c | 0x20) : c; }
bool IsNameChar(char c) {
    return IsAsciiLetter(c) || IsDigit(c) || c == '_' || c == '-' || (unsigned char)(c) >= 0x80;
}
bool IsCombinator(char c) { return c == '>' || c == '+' || c == '~'; }

// The characters an XPath literal may hold: XML's Char production.
bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// Appends `c` in UTF-8. Characters no XML document can hold cannot match
// anything and would make the XPath invalid, so they become U+FFFD.
void AppendUtf8(std::string& out, char32_t c) {
    if (!IsXmlChar(c)) c = kReplacement;
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// The length of the well-formed UTF-8 sequence at `at` (shortest form, no
// surrogates, at most U+10FFFF), or 0.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return (unsigned char)(text[at + i]); };
    const auto continuation = [&](std::size_t i) {
        return at + i < text.size() && (byte(i) & 0xC0) == 0x80;
    };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!continuation(1) || !continuation(2)) return 0;
        if (lead == 0xE0 && byte(1) < 0xA0) return 0;   // overlong
        if (lead == 0xED && byte(1) >= 0xA0) return 0;  // surrogate
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!continuation(1) || !continuation(2) || !continuation(3)) return 0;
        if (lead == 0xF0 && byte(1) < 0x90) return 0;   // overlong
        if (lead == 0xF4 && byte(1) >= 0x90) return 0;  // past U+10FFFF
        return 4;
    }
    return 0;
}

// Decodes the sequence at `at`, which Utf8Length has accepted.
char32_t DecodeUtf8(std::string_view text, std::size_t at, std::size_t length) {
    const auto byte = [&](std::size_t i) { return char32_t((unsigned char)(text[at + i])); };
    switch (length) {
    case 1: return byte(0);
    case 2: return ((byte(0) & 0x1F) << 6) | (byte(1) & 0x3F);
    case 3: return ((byte(0) & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
    default:
        return ((byte(0) & 0x07) << 18) | ((byte(1) & 0x3F) << 12) | ((byte(2) & 0x3F) << 6) |
               (byte(3) & 0x3F);
    }
}

std::size_t FindInvalidUtf8(std::string_view text) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8Length(text, at);
        if (length == 0) return at;
        at += length;
    }
    return std::string_view::npos;
}

std::size_t CountCharacters(std::string_view utf8) {
    std::size_t count = 0;
    for (char c : utf8)
        if (((unsigned char)(c) & 0xC0) != 0x80) ++count;
    return count;
}

// Text from the selector made safe to quote in a message: white space as
// spaces, control characters as "?".
std::string Printable(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (IsWhitespace(c)) out += ' ';
        else if ((unsigned char)(c) < 0x20 || c == 0x7F) out += '?';
        else out += c;
    }
    return out;
}

// An XPath 1.0 string literal for `value`. XPath has no escapes, so a
// value with both kinds of quote is put together with concat().
std::string Literal(std::string_view value) {
    if (value.find('\'') == std::string_view::npos) return "'" + std::string(value) + "'";
    if (value.find('"') == std::string_view::npos) return "\"" + std::string(value) + "\"";
    std::string out = "concat(";
    bool first = true;
    const auto add = [&](std::string_view piece) {
        if (!first) out += ", ";
        first = false;
        out += piece;
    };
    std::size_t from = 0;
    for (std::size_t quote; (quote = value.find('\'', from)) != std::string_view::npos;
         from = quote + 1) {
        if (quote > from) add("'" + std::string(value.substr(from, quote - from)) + "'");
        add("\"'\"");
    }
    if (from < value.size()) add("'" + std::string(value.substr(from)) + "'");
    return out + ")";
}

// A name XPath can take as it is; anything else (escaped punctuation, a
// leading digit or hyphen, letters beyond ASCII) is compared with name().
bool IsPlainXPathName(std::string_view name) {
    if (name.empty() || !(IsAsciiLetter(name[0]) || name[0] == '_')) return false;
    for (char c : name)
        if (!(IsAsciiLetter(c) || IsDigit(c) || c == '_' || c == '-' || c == '.')) return false;
    return true;
}

std::string ElementTest(const std::string& name) {
    return IsPlainXPathName(name) ? name : "*[name() = " + Literal(name) + "]";
}

std::string AttributeNode(const std::string& name) {
    return IsPlainXPathName(name) ? "@" + name : "@*[name() = " + Literal(name) + "]";
}

bool HasWhitespace(std::string_view text) {
    for (char c : text)
        if (IsWhitespace(c)) return true;
    return false;
}

// True for a word in the space-separated list held by `attribute`.
std::string HasWord(const std::string& attribute, const std::string& word) {
    // A word with white space in it is never one of the list's words.
    if (word.empty() || HasWhitespace(word)) return "false()";
    return "contains(concat(' ', normalize-space(" + attribute + "), ' '), " +
           Literal(" " + word + " ") + ")";
}

std::string AttributeCondition(const std::string& attribute, char operation,
                               const std::string& value) {
    // [a^=""], [a$=""] and [a*=""] match nothing.
    const bool empty = value.empty();
    switch (operation) {
    case '=': return attribute + " = " + Literal(value);
    case '~': return HasWord(attribute, value);
    case '|':
        return attribute + " = " + Literal(value) + " or starts-with(" + attribute + ", " +
               Literal(value + "-") + ")";
    case '^': return empty ? "false()" : "starts-with(" + attribute + ", " + Literal(value) + ")";
    case '*': return empty ? "false()" : "contains(" + attribute + ", " + Literal(value) + ")";
    default: {
        // XPath 1.0 has no ends-with(): compare the last characters.
        if (empty) return "false()";
        const std::size_t shorter = CountCharacters(value) - 1;
        std::string start = "string-length(" + attribute + ")";
        if (shorter > 0) start += " - " + std::to_string(shorter);
        return "substring(" + attribute + ", " + start + ") = " + Literal(value);
    }
    }
}

// :nth-child(an+b) for the element's position p (from 1) among its
// siblings: true when p = a*n + b for some n >= 0.
std::string NthChildCondition(std::int64_t a, std::int64_t b) {
    const std::string before = "count(preceding-sibling::*)";  // p - 1
    const std::string last = std::to_string(b - 1);
    if (a == 0) return b >= 1 ? "[" + before + " = " + last + "]" : "[false()]";
    if (a > 0) {
        if (b <= 1 && a == 1) return "";
        if (a == 1) return "[" + before + " >= " + last + "]";
        std::string shifted = before;
        if (b < 1) shifted += " + " + std::to_string(1 - b);
        if (b > 1) shifted += " - " + last;
        std::string condition = "(" + shifted + ") mod " + std::to_string(a) + " = 0";
        if (b > 1) condition = before + " >= " + last + " and " + condition;
        return "[" + condition + "]";
    }
    if (b < 1) return "[false()]";
    return "[" + before + " <= " + last + " and (" + last + " - " + before + ") mod " +
           std::to_string(-a) + " = 0]";
}

// A recursive-descent reader of the selector, one pass from left to
// right; only :not() recurses, to a bounded depth.
class CTranslator {
public:
    explicit CTranslator(std::string_view text) : text(text) {}

    std::string Translate() {
        const std::size_t invalid = FindInvalidUtf8(text);
        if (invalid != std::string_view::npos)
            Fail("The selector has a byte at " + Position(invalid) + " that is not UTF-8 text.");
        SkipWhitespace();
        if (AtEnd()) Fail("The selector is empty.");
        std::string xpath = Complex();
        while (!AtEnd()) {  // Complex stops only at the end or at ","
            ++at;
            xpath += " | ";
            xpath += Complex();
        }
        return xpath;
    }

private:
    std::string_view text;
    std::size_t at = 0;

    bool AtEnd() const { return at >= text.size(); }
    // The byte at `at` + `ahead`, or 0 past the end (a 0 in the text is
    // never expected anywhere, so the two are not confused).
    char Peek(std::size_t ahead = 0) const {
        return at + ahead < text.size() ? text[at + ahead] : '\0';
    }

    bool SkipWhitespace() {
        const std::size_t from = at;
        while (!AtEnd() && IsWhitespace(text[at])) ++at;
        return at > from;
    }

    [[noreturn]] static void Fail(std::string message) { throw CFilterError(std::move(message)); }

    std::string Position(std::size_t offset) const {
        return "position " + std::to_string(CountCharacters(text.substr(0, offset)) + 1);
    }

    // The selector as typed, for messages about its end.
    std::string Shown() const {
        std::string_view shown = text;
        while (!shown.empty() && IsWhitespace(shown.back())) shown.remove_suffix(1);
        while (!shown.empty() && IsWhitespace(shown.front())) shown.remove_prefix(1);
        std::string prefix;
        if (CountCharacters(shown) > kShownCharacters) {
            std::size_t cut = shown.size();
            for (std::size_t kept = 0; kept < kShownCharacters; ++kept) {
                do --cut;
                while (((unsigned char)(shown[cut]) & 0xC0) == 0x80);
            }
            shown.remove_prefix(cut);
            prefix = "...";
        }
        return "\"" + prefix + Printable(shown) + "\"";
    }

    [[noreturn]] void FailUnexpected() const {
        if (AtEnd()) Fail("The selector " + Shown() + " ends too soon.");
        const std::size_t length = Utf8Length(text, at);
        const char32_t c = DecodeUtf8(text, at, length);
        std::string what = "\"" + std::string(text.substr(at, length)) + "\"";
        if (c < 0x20 || c == 0x7F || !IsXmlChar(c)) {
            char code[16];
            std::snprintf(code, sizeof code, "U+%04X", unsigned(c));
            what = std::string("character ") + code;
        }
        Fail("Unexpected " + what + " at " + Position(at) + ".");
    }

    // One selector of a group, up to the end or the next ",".
    std::string Complex() {
        SkipWhitespace();
        if (AtEnd()) Fail("The selector " + Shown() + " ends after \",\".");
        if (Peek() == ',') Fail("Nothing before \",\" at " + Position(at) + ".");
        if (IsCombinator(Peek()))
            Fail("Combinator \"" + std::string(1, Peek()) + "\" at " + Position(at) +
                 " has nothing before it.");
        std::string path = "//" + Compound(0);
        for (;;) {
            const bool spaced = SkipWhitespace();
            if (AtEnd() || Peek() == ',') return path;
            char combinator = ' ';
            if (IsCombinator(Peek())) {
                combinator = Peek();
                const std::size_t where = at++;
                SkipWhitespace();
                if (AtEnd()) Fail("The selector " + Shown() + " ends after a combinator.");
                if (Peek() == ',' || IsCombinator(Peek()))
                    Fail("Combinator \"" + std::string(1, combinator) + "\" at " +
                         Position(where) + " has nothing after it.");
            } else if (!spaced) {
                FailUnexpected();
            }
            const std::string step = Compound(0);
            switch (combinator) {
            case '>': path += "/" + step; break;
            case '+': path += "/following-sibling::*[1]/self::" + step; break;
            case '~': path += "/following-sibling::" + step; break;
            default: path += "//" + step; break;
            }
        }
    }

    // A type selector or "*" and what follows it without white space, as
    // one XPath step: the element test and a predicate for each condition.
    std::string Compound(int depth) {
        const std::size_t start = at;
        std::string test = "*";
        std::string conditions;
        if (Peek() == '*') {
            ++at;
        } else if (StartsName(false)) {
            test = ElementTest(ReadName(true));
        }
        for (bool more = true; more && !AtEnd();) {
            switch (Peek()) {
            case '#': conditions += "[@id = " + Literal(NameAfterSign()) + "]"; break;
            case '.': conditions += "[" + HasWord("@class", NameAfterSign()) + "]"; break;
            case '[': conditions += "[" + Attribute() + "]"; break;
            case ':': conditions += PseudoClass(depth); break;
            default: more = false; break;
            }
        }
        if (at == start) FailUnexpected();
        return test + conditions;
    }

    // An identifier starts here: a name character or an escape. Ids and
    // classes may start with a digit, as pages use them.
    bool StartsName(bool digitFirst) const {
        if (AtEnd()) return false;
        const char c = Peek();
        if (c == '\\') return true;  // ReadName reports an escape of nothing
        return IsNameChar(c) && (digitFirst || !IsDigit(c));
    }

    bool StartsCompound() const {
        return StartsName(false) || std::string_view("*#.[:").find(Peek()) != std::string_view::npos;
    }

    std::string NameAfterSign() {
        const char sign = Peek();
        ++at;
        if (!StartsName(true))
            Fail("Expected a name after \"" + std::string(1, sign) + "\" at " + Position(at - 1) +
                 ".");
        return ReadName(false);
    }

    // An identifier with its escapes resolved; ASCII lower-cased when
    // `lower` (HTML's element and attribute names).
    std::string ReadName(bool lower) {
        std::string name;
        while (!AtEnd()) {
            const char c = Peek();
            if (c == '\\') {
                const char next = Peek(1);
                if (next == '\n' || next == '\r' || next == '\f') break;
                const std::size_t before = name.size();
                ReadEscape(name);
                if (lower)
                    for (std::size_t i = before; i < name.size(); ++i)
                        name[i] = ToLowerAscii(name[i]);
            } else if ((unsigned char)(c) >= 0x80) {
                CopyCharacter(name);
            } else if (IsNameChar(c)) {
                name += lower ? ToLowerAscii(c) : c;
                ++at;
            } else {
                break;
            }
        }
        if (name.empty()) FailUnexpected();
        return name;
    }

    void CopyCharacter(std::string& out) {
        const std::size_t length = Utf8Length(text, at);
        AppendUtf8(out, DecodeUtf8(text, at, length));
        at += length;
    }

    // "\" and up to six hex digits (and one white space after them), or
    // "\" and the character it stands for.
    void ReadEscape(std::string& out) {
        const std::size_t slash = at++;
        if (AtEnd()) Fail("The \"\\\" at " + Position(slash) + " escapes nothing.");
        if (!IsHexDigit(Peek())) {
            CopyCharacter(out);
            return;
        }
        char32_t value = 0;
        for (int digits = 0; digits < 6 && IsHexDigit(Peek()); ++digits, ++at)
            value = value * 16 + char32_t(HexValue(Peek()));
        if (Peek() == '\r' && Peek(1) == '\n') at += 2;
        else if (IsWhitespace(Peek())) ++at;
        if (value == 0 || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
            value = kReplacement;
        AppendUtf8(out, value);
    }

    // "[name]" or "[name op value]", as an XPath condition.
    std::string Attribute() {
        const std::size_t open = at++;
        const auto failUnclosed = [&] {
            Fail("The attribute test at " + Position(open) + " has no closing \"]\".");
        };
        SkipWhitespace();
        if (AtEnd()) failUnclosed();
        if (!StartsName(false)) Fail("Expected an attribute name at " + Position(at) + ".");
        const std::string attribute = AttributeNode(ReadName(true));
        SkipWhitespace();
        if (AtEnd()) failUnclosed();
        if (Peek() == ']') {
            ++at;
            return attribute;
        }
        char operation = Peek();
        if (operation == '=') {
            ++at;
        } else if (std::string_view("~|^$*").find(operation) != std::string_view::npos &&
                   Peek(1) == '=') {
            at += 2;
        } else {
            FailUnexpected();
        }
        SkipWhitespace();
        if (AtEnd()) failUnclosed();
        std::string value;
        if (Peek() == '"' || Peek() == '\'') value = ReadString();
        else if (StartsName(true)) value = ReadName(false);
        else Fail("Expected a value at " + Position(at) + ".");
        SkipWhitespace();
        if (AtEnd()) failUnclosed();
        if (Peek() != ']') Fail("Expected \"]\" at " + Position(at) + ".");
        ++at;
        return AttributeCondition(attribute, operation, value);
    }

    std::string ReadString() {
        const std::size_t open = at;
        const char quote = text[at++];
        std::string value;
        for (;;) {
            if (AtEnd())
                Fail("The quoted value at " + Position(open) + " has no closing quote.");
            const char c = Peek();
            if (c == quote) {
                ++at;
                return value;
            }
            if (c == '\n' || c == '\r' || c == '\f')
                Fail("The quoted value at " + Position(open) + " runs across a line break.");
            if (c != '\\') {
                CopyCharacter(value);
            } else if (Peek(1) == '\r' && Peek(2) == '\n') {
                at += 3;  // an escaped line break continues the value
            } else if (Peek(1) == '\n' || Peek(1) == '\r' || Peek(1) == '\f') {
                at += 2;
            } else if (at + 1 >= text.size()) {
                Fail("The quoted value at " + Position(open) + " has no closing quote.");
            } else {
                ReadEscape(value);
            }
        }
    }

    // ":name" or ":name(...)", as predicates.
    std::string PseudoClass(int depth) {
        const std::size_t colon = at++;
        if (Peek() == ':') {
            ++at;
            if (StartsName(false)) ReadName(true);
            Fail("Pseudo-element \"" + Printable(text.substr(colon, at - colon)) + "\" at " +
                 Position(colon) + " cannot be watched; select its element instead.");
        }
        if (!StartsName(false)) Fail("Expected a pseudo-class after \":\" at " + Position(colon) + ".");
        const std::string name = ReadName(true);
        const std::string shown = "\":" + Printable(text.substr(colon + 1, at - colon - 1)) + "\"";
        const std::string where = " at " + Position(colon);
        const bool isFunction = Peek() == '(';
        const bool known = name == "first-child" || name == "last-child" || name == "not" ||
                           name == "nth-child";
        if (name == "before" || name == "after" || name == "first-line" || name == "first-letter")
            Fail("Pseudo-element " + shown + where + " cannot be watched; select its element instead.");
        if (!known) Fail("Unknown pseudo-class " + shown + where + ".");
        const bool wantsArgument = name == "not" || name == "nth-child";
        if (wantsArgument && !isFunction)
            Fail(shown + where + " needs an argument in parentheses.");
        if (!wantsArgument && isFunction) Fail(shown + where + " takes no argument.");
        if (name == "first-child") return "[not(preceding-sibling::*)]";
        if (name == "last-child") return "[not(following-sibling::*)]";
        ++at;  // "("
        const auto failUnclosed = [&] { Fail(shown + where + " has no closing \")\"."); };
        if (name == "nth-child") return NthChild(shown + where, failUnclosed);
        return "[" + Not(depth + 1, shown + where, failUnclosed) + "]";
    }

    // The argument of :not(): compound selectors separated by ",".
    template <typename FailUnclosed>
    std::string Not(int depth, const std::string& named, FailUnclosed failUnclosed) {
        if (depth > kMaxNotDepth)
            Fail(named + " is nested more than " + std::to_string(kMaxNotDepth) + " deep.");
        std::string alternatives;
        for (;;) {
            SkipWhitespace();
            if (AtEnd()) failUnclosed();
            if (Peek() == ')' || Peek() == ',') Fail(named + " has an empty argument.");
            if (!alternatives.empty()) alternatives += " | ";
            alternatives += "self::" + Compound(depth);
            const bool spaced = SkipWhitespace();
            if (AtEnd()) failUnclosed();
            if (Peek() == ')') {
                ++at;
                return "not(" + alternatives + ")";
            }
            if (Peek() == ',') {
                ++at;
                continue;
            }
            if (IsCombinator(Peek()) || (spaced && StartsCompound()))
                Fail("Combinators inside " + named + " are not supported.");
            FailUnexpected();
        }
    }

    // "an+b", "odd" or "even" up to the closing ")".
    template <typename FailUnclosed>
    std::string NthChild(const std::string& named, FailUnclosed failUnclosed) {
        const auto failForm = [&] { Fail(named + " needs an+b, odd or even, as in \"2n+1\"."); };
        SkipWhitespace();
        std::int64_t a = 0, b = 0;
        if (MatchWord("odd")) {
            a = 2;
            b = 1;
        } else if (MatchWord("even")) {
            a = 2;
        } else {
            std::int64_t sign = 1;
            if (Peek() == '+' || Peek() == '-') sign = text[at++] == '-' ? -1 : 1;
            const bool digits = IsDigit(Peek());
            const std::int64_t number = digits ? ReadNumber() : 0;
            if (Peek() == 'n' || Peek() == 'N') {
                ++at;
                a = sign * (digits ? number : 1);
                SkipWhitespace();
                if (Peek() == '+' || Peek() == '-') {
                    const std::int64_t offsetSign = text[at++] == '-' ? -1 : 1;
                    SkipWhitespace();
                    if (!IsDigit(Peek())) failForm();
                    b = offsetSign * ReadNumber();
                }
            } else if (digits) {
                b = sign * number;
            } else {
                failForm();
            }
        }
        SkipWhitespace();
        if (AtEnd()) failUnclosed();
        if (Peek() != ')') failForm();
        ++at;
        return NthChildCondition(a, b);
    }

    bool MatchWord(std::string_view word) {
        if (text.size() - at < word.size()) return false;
        for (std::size_t i = 0; i < word.size(); ++i)
            if (ToLowerAscii(text[at + i]) != word[i]) return false;
        at += word.size();
        return true;
    }

    std::int64_t ReadNumber() {
        const std::size_t start = at;
        std::int64_t number = 0;
        for (; IsDigit(Peek()); ++at) {
            number = number * 10 + (Peek() - '0');
            if (number > kMaxNthNumber)
                Fail("The number at " + Position(start) + " is too large.");
        }
        return number;
    }
};

}  // namespace

bool IsXPathExpression(std::string_view selector) {
    std::size_t at = 0;
    while (at < selector.size() && (IsWhitespace(selector[at]) || selector[at] == '\v')) ++at;
    return at < selector.size() && (selector[at] == '/' || selector[at] == '(');
}

std::string CssToXPath(std::string_view selector) {
    return CTranslator(selector).Translate();
}

std::string SelectorToXPath(std::string_view selector) {
    return IsXPathExpression(selector) ? std::string(selector) : CssToXPath(selector);
}

}  // namespace tallyhawk
