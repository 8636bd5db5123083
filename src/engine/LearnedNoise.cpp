#include "engine/LearnedNoise.h"

#include <algorithm>
#include <optional>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "diff/LineMatcher.h"

namespace tallyhawk {
namespace {

constexpr std::string_view kBreak = "<br>";
// Lines with more tokens than this are templated from their common start
// and end alone: the token alignment is quadratic.
constexpr std::size_t kMostAlignedTokens = 300;
// A changing block found by two downloads is at most this many lines, or
// a quarter of the page when that is more: two downloads that differ
// nearly everywhere are not one page with a block of noise.
constexpr std::size_t kLongestBlock = 20;
// How far a block's edge moves to reach a line found once on the page.
constexpr std::size_t kAnchorReach = 5;
// At most this many pairs of lines are aligned at one learning, and only
// in runs of changed lines up to kLongestBlock: noise changes a few lines,
// and two unrelated pages must not cost millions of alignments.
constexpr std::size_t kMostAlignedPairs = 256;
// The most lines a block stands for: a page that repeats a block's first
// line costs at most this many comparisons for each repeat.
constexpr std::size_t kLongestPlaced = 512;

bool IsWordByte(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c >= 0x80;
}
bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsSpace(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

bool OneOf(std::string_view word, std::initializer_list<std::string_view> words) {
    for (std::string_view candidate : words) {
        if (EqualsIgnoringCase(word, candidate)) return true;
    }
    return false;
}

bool AllDigits(std::string_view word) {
    return !word.empty() && std::all_of(word.begin(), word.end(),
                                        [](char c) { return IsDigit(static_cast<unsigned char>(c)); });
}

bool IsTimeUnit(std::string_view word) {
    return OneOf(word, {"second", "seconds", "sec", "secs", "minute", "minutes", "min", "mins",
                        "hour", "hours", "hr", "hrs", "day", "days", "week", "weeks", "wk", "wks",
                        "month", "months", "mo", "mos", "year", "years", "yr", "yrs"});
}

// "5m", "3h", "2d", "10min", "4hrs": a count glued to its unit.
bool IsCompactAge(std::string_view word) {
    std::size_t digits = 0;
    while (digits < word.size() && IsDigit(static_cast<unsigned char>(word[digits]))) ++digits;
    if (digits == 0 || digits == word.size()) return false;
    const std::string_view unit = word.substr(digits);
    return OneOf(unit, {"s", "m", "h", "d", "w", "y"}) || IsTimeUnit(unit);
}

bool IsCount(std::string_view word) { return AllDigits(word) || OneOf(word, {"a", "an", "one", "few", "several"}); }

struct CWord {
    std::size_t begin;
    std::size_t end;
};

// A hexadecimal id: seven digits or more of one letter case, figures and
// letters mixed ("8f3a2c1", "3F9A2C7B").
bool IsHexId(std::string_view word) {
    if (word.size() < 7) return false;
    bool digit = false, lower = false, upper = false;
    for (char c : word) {
        if (IsDigit(static_cast<unsigned char>(c))) digit = true;
        else if (c >= 'a' && c <= 'f') lower = true;
        else if (c >= 'A' && c <= 'F') upper = true;
        else return false;
    }
    return digit && (lower != upper);
}

// Words separated by nothing but white space.
bool Adjacent(std::string_view line, const CWord& first, const CWord& second) {
    if (second.begin <= first.end) return false;
    for (std::size_t i = first.end; i < second.begin; ++i) {
        if (!IsSpace(static_cast<unsigned char>(line[i]))) return false;
    }
    return true;
}

// hh:mm:ss (with a fraction) at `i`, not inside a longer run of figures.
std::size_t ClockTimeEnd(std::string_view line, std::size_t i) {
    if (i > 0 && IsDigit(static_cast<unsigned char>(line[i - 1]))) return 0;
    std::size_t p = i;
    auto digits = [&](std::size_t least, std::size_t most) {
        std::size_t n = 0;
        while (p < line.size() && n < most && IsDigit(static_cast<unsigned char>(line[p]))) ++p, ++n;
        return n >= least;
    };
    if (!digits(1, 2)) return 0;
    for (int field = 0; field < 2; ++field) {
        if (p >= line.size() || line[p] != ':') return 0;
        ++p;
        if (!digits(2, 2)) return 0;
    }
    if (p < line.size() && IsDigit(static_cast<unsigned char>(line[p]))) return 0;
    if (p + 1 < line.size() && line[p] == '.' && IsDigit(static_cast<unsigned char>(line[p + 1]))) {
        ++p;
        while (p < line.size() && IsDigit(static_cast<unsigned char>(line[p]))) ++p;
    }
    return p;
}

// Tokens of a line for aligning two lines: runs of word bytes (figures
// joined by "." "," ":" stay one token: "1,234", "19.99", "14:02"), runs
// of white space, and every other byte alone.
std::vector<std::string_view> Tokens(std::string_view line) {
    std::vector<std::string_view> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        std::size_t j = i + 1;
        if (IsWordByte(c)) {
            for (;;) {
                while (j < line.size() && IsWordByte(static_cast<unsigned char>(line[j]))) ++j;
                const bool figures = AllDigits(line.substr(i, j - i)) ||
                                     IsDigit(static_cast<unsigned char>(line[j - 1]));
                if (figures && j + 1 < line.size() &&
                    (line[j] == '.' || line[j] == ',' || line[j] == ':') &&
                    IsDigit(static_cast<unsigned char>(line[j + 1]))) {
                    j += 1;
                    continue;
                }
                break;
            }
        } else if (IsSpace(c)) {
            while (j < line.size() && IsSpace(static_cast<unsigned char>(line[j]))) ++j;
        }
        tokens.push_back(line.substr(i, j - i));
        i = j;
    }
    return tokens;
}

std::size_t WordBytes(std::string_view text) {
    return static_cast<std::size_t>(std::count_if(
        text.begin(), text.end(), [](char c) { return IsWordByte(static_cast<unsigned char>(c)); }));
}

bool IsMonth(std::string_view word) {
    return OneOf(word, {"january", "february", "march", "april", "may", "june", "july", "august",
                        "september", "october", "november", "december", "jan", "feb", "mar", "apr",
                        "jun", "jul", "aug", "sep", "sept", "oct", "nov", "dec"});
}

// Text that changes with time and counts alone: figures, white space,
// punctuation, and the names of months and days, am and pm, ordinal ends.
// `dated` (when given) tells whether the text names a date or a time: a
// month or a day, a clock time, a time already taken out ("…").
bool IsTimely(std::string_view text, bool* dated = nullptr) {
    if (dated) *dated = false;
    for (std::string_view token : Tokens(text)) {
        const unsigned char c = static_cast<unsigned char>(token[0]);
        if (!IsWordByte(c)) continue;
        if (token == CLearnedNoise::kMark) {
            if (dated) *dated = true;
            continue;
        }
        if (IsDigit(c)) {
            if (dated && token.find(':') != std::string_view::npos) *dated = true;
            std::size_t digits = 0;
            while (digits < token.size() &&
                   (IsDigit(static_cast<unsigned char>(token[digits])) || token[digits] == '.' ||
                    token[digits] == ',' || token[digits] == ':'))
                ++digits;
            const std::string_view rest = token.substr(digits);
            if (rest.empty() || OneOf(rest, {"st", "nd", "rd", "th", "am", "pm", "k", "m"})) continue;
            return false;
        }
        if (IsMonth(token) ||
            OneOf(token, {"monday", "tuesday", "wednesday", "thursday", "friday", "saturday",
                          "sunday", "mon", "tue", "tues", "wed", "thu", "thurs", "fri", "sat",
                          "sun", "am", "pm", "utc", "gmt"})) {
            if (dated) *dated = true;
            continue;
        }
        return false;
    }
    return true;
}

enum class Learning { FromRepeat, FromCheck };

// A template of a clock or a calendar: a date or a time changes, and its
// fixed parts name no day, only perhaps a year ("Last updated …", "…,
// … December 2026"), so that it is not one dated item among many (an event
// on "Mon 15 February, …").
bool IsClock(const CLearnedNoise::CTemplate& line) {
    if (line.gaps.find('@') == std::string::npos) return false;
    for (const std::string& part : line.parts) {
        for (std::size_t i = 0; i < part.size();) {
            if (!IsDigit(static_cast<unsigned char>(part[i]))) {
                ++i;
                continue;
            }
            std::size_t end = i;
            while (end < part.size() && IsDigit(static_cast<unsigned char>(part[end]))) ++end;
            const std::string_view run(part.data() + i, end - i);
            if (run.size() != 4 || (run.substr(0, 2) != "19" && run.substr(0, 2) != "20")) return false;
            i = end;
        }
    }
    return true;
}

// The template of two versions of one line: their common parts in order,
// a changing part wherever either has something the other lacks. Nothing
// when the lines are equal or too little of them is common to say that
// they are one line that changed.
std::optional<CLearnedNoise::CTemplate> TemplateOf(std::string_view a, std::string_view b,
                                                   Learning learning) {
    if (a == b || a.size() > CLearnedNoise::kLongestLine || b.size() > CLearnedNoise::kLongestLine)
        return std::nullopt;
    const std::vector<std::string_view> ta = Tokens(a), tb = Tokens(b);
    // Pairs of equal tokens, in order.
    std::vector<std::pair<std::size_t, std::size_t>> pairs;
    if (ta.size() <= kMostAlignedTokens && tb.size() <= kMostAlignedTokens) {
        const std::size_t n = ta.size(), m = tb.size();
        std::vector<std::uint16_t> table((n + 1) * (m + 1), 0);
        auto at = [&](std::size_t i, std::size_t j) -> std::uint16_t& { return table[i * (m + 1) + j]; };
        for (std::size_t i = n; i-- > 0;) {
            for (std::size_t j = m; j-- > 0;) {
                at(i, j) = ta[i] == tb[j] ? static_cast<std::uint16_t>(at(i + 1, j + 1) + 1)
                                          : std::max(at(i + 1, j), at(i, j + 1));
            }
        }
        std::size_t i = 0, j = 0;
        while (i < n && j < m) {
            if (ta[i] == tb[j]) {
                pairs.emplace_back(i++, j++);
            } else if (at(i + 1, j) >= at(i, j + 1)) {
                ++i;
            } else {
                ++j;
            }
        }
    } else {
        std::size_t front = 0;
        while (front < ta.size() && front < tb.size() && ta[front] == tb[front]) {
            pairs.emplace_back(front, front);
            ++front;
        }
        std::size_t back = 0;
        while (back < ta.size() - front && back < tb.size() - front &&
               ta[ta.size() - 1 - back] == tb[tb.size() - 1 - back])
            ++back;
        for (std::size_t k = back; k-- > 0;) pairs.emplace_back(ta.size() - 1 - k, tb.size() - 1 - k);
    }

    // Byte offsets of the tokens.
    auto offset = [](std::string_view line, std::string_view token) {
        return static_cast<std::size_t>(token.data() - line.data());
    };
    auto tokenEnd = [&](std::string_view line, const std::vector<std::string_view>& tokens,
                        std::size_t index) {
        return index < tokens.size() ? offset(line, tokens[index]) : line.size();
    };
    CLearnedNoise::CTemplate result;
    result.parts.emplace_back();
    std::vector<std::string_view> gapsA, gapsB;  // what each line has in each changing part
    std::size_t ia = 0, ib = 0;                  // the first token of each not yet placed
    for (std::size_t k = 0;;) {
        const std::size_t nextA = k < pairs.size() ? pairs[k].first : ta.size();
        const std::size_t nextB = k < pairs.size() ? pairs[k].second : tb.size();
        if (nextA > ia || nextB > ib) {
            const std::size_t fromA = tokenEnd(a, ta, ia), fromB = tokenEnd(b, tb, ib);
            gapsA.push_back(a.substr(fromA, tokenEnd(a, ta, nextA) - fromA));
            gapsB.push_back(b.substr(fromB, tokenEnd(b, tb, nextB) - fromB));
            result.parts.emplace_back();
        }
        if (k == pairs.size()) break;
        // A run of pairs that follow each other in both lines.
        std::size_t end = k + 1;
        while (end < pairs.size() && pairs[end].first == pairs[end - 1].first + 1 &&
               pairs[end].second == pairs[end - 1].second + 1)
            ++end;
        const std::size_t from = offset(a, ta[pairs[k].first]);
        result.parts.back().append(a.substr(from, tokenEnd(a, ta, pairs[end - 1].first + 1) - from));
        ia = pairs[end - 1].first + 1;
        ib = pairs[end - 1].second + 1;
        k = end;
    }
    if (result.parts.size() < 2) return std::nullopt;  // no changing part: equal lines

    // Fixed parts between two changing parts that are too small to tell
    // anything (white space, punctuation, a word common to any two lines)
    // join the changing parts around them.
    for (std::size_t i = 1; i + 1 < result.parts.size();) {
        if (WordBytes(result.parts[i]) < 3) {
            result.parts.erase(result.parts.begin() + static_cast<std::ptrdiff_t>(i));
            // The two changing parts are one now.
            const auto join = [](std::vector<std::string_view>& gaps, std::size_t at,
                                 std::string_view line) {
                const char* begin = gaps[at - 1].data();
                const char* end = gaps[at].data() + gaps[at].size();
                gaps[at - 1] = line.substr(static_cast<std::size_t>(begin - line.data()),
                                           static_cast<std::size_t>(end - begin));
                gaps.erase(gaps.begin() + static_cast<std::ptrdiff_t>(at));
            };
            join(gapsA, i, a);
            join(gapsB, i, b);
        } else {
            ++i;
        }
    }
    std::size_t fixedBytes = 0, fixedWordBytes = 0;
    for (const std::string& part : result.parts) {
        fixedBytes += part.size();
        fixedWordBytes += WordBytes(part);
    }
    const std::size_t longer = std::max(a.size(), b.size());
    if (fixedWordBytes < 3) return std::nullopt;
    // A changing part that held figures alone in both lines takes figures
    // alone: a counter's template does not hide the words around it.
    // One that named a date or a time on either side is a date or a time.
    for (std::size_t i = 0; i < gapsA.size(); ++i) {
        bool datedA = false, datedB = false;
        const bool timely = IsTimely(gapsA[i], &datedA) && IsTimely(gapsB[i], &datedB);
        result.gaps += !timely ? '*' : (datedA || datedB) ? '@' : '#';
    }
    if (learning == Learning::FromRepeat) {
        if (fixedBytes * 10 < longer * 3) return std::nullopt;
    } else {
        if (fixedBytes * 2 < longer) return std::nullopt;
        if (result.gaps.find('*') != std::string::npos) return std::nullopt;
    }
    return result;
}

std::vector<std::string_view> SplitLines(std::string_view document) {
    std::vector<std::string_view> lines;
    std::size_t begin = 0;
    while (begin < document.size()) {
        std::size_t end = document.find('\n', begin);
        if (end == std::string_view::npos) end = document.size();
        lines.push_back(document.substr(begin, end - begin));
        begin = end + 1;
    }
    return lines;
}

// A run of lines that differ between two versions: [a, aEnd) of the one,
// [b, bEnd) of the other.
struct CHunk {
    std::size_t a, aEnd, b, bEnd;
};

std::vector<CHunk> Hunks(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::string joinedA, joinedB;
    // Lines joined by line feeds, none after the last, so that the matcher
    // counts the lines these have.
    auto join = [](const std::vector<std::string>& lines) {
        std::string joined;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (i) joined += '\n';
            joined += lines[i];
        }
        return joined;
    };
    joinedA = join(a);
    joinedB = join(b);
    CLineMatcher matcher;
    matcher.Match(joinedA, joinedB, '\n');
    const CLineMarks& pairedA = matcher.OldPaired();
    const CLineMarks& pairedB = matcher.NewPaired();
    auto isPaired = [](const CLineMarks& marks, std::size_t i) {
        return static_cast<std::int32_t>(i) < marks.Count() && marks.IsMarked(static_cast<std::int32_t>(i));
    };
    std::vector<CHunk> hunks;
    std::size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (i < a.size() && j < b.size() && isPaired(pairedA, i) && isPaired(pairedB, j)) {
            ++i, ++j;
            continue;
        }
        CHunk hunk{i, i, j, j};
        while (hunk.aEnd < a.size() && !isPaired(pairedA, hunk.aEnd)) ++hunk.aEnd;
        while (hunk.bEnd < b.size() && !isPaired(pairedB, hunk.bEnd)) ++hunk.bEnd;
        if (hunk.aEnd == i && hunk.bEnd == j) break;  // cannot happen with an ordered pairing
        hunks.push_back(hunk);
        i = hunk.aEnd;
        j = hunk.bEnd;
    }
    return hunks;
}

std::size_t CountOf(const std::vector<std::string>& lines, const std::string& line) {
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

void AppendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        if (c == '\\') out += "\\\\";
        else if (c == '\t') out += "\\t";
        else if (c == '\n') out += "\\n";
        else out += c;
    }
}

// A stored field back: its escapes undone, "\*" and "\#" splitting it
// into parts (`gaps` receives which).
std::vector<std::string> Unescape(std::string_view field, std::string* gaps = nullptr) {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            parts.back() += field[i];
            continue;
        }
        const char next = field[++i];
        if (next == '*' || next == '#' || next == '@') {
            parts.emplace_back();
            if (gaps) *gaps += next;
        }
        else if (next == 't') parts.back() += '\t';
        else if (next == 'n') parts.back() += '\n';
        else parts.back() += next;
    }
    return parts;
}

void AppendTemplate(std::string& out, const CLearnedNoise::CTemplate& line) {
    for (std::size_t i = 0; i < line.parts.size(); ++i) {
        if (i) {
            out += '\\';
            out += line.gaps[i - 1];
        }
        AppendEscaped(out, line.parts[i]);
    }
}

// A line as a reader sees it: without the watched text's line break, and
// shortened.
std::string Shown(std::string_view line) {
    if (line.size() >= kBreak.size() && line.substr(line.size() - kBreak.size()) == kBreak)
        line.remove_suffix(kBreak.size());
    std::string text(line);
    if (text.size() > 80) {
        std::size_t cut = 77;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        text.resize(cut);
        text += "...";
    }
    return text;
}

}  // namespace

bool CLearnedNoise::CTemplate::Matches(std::string_view line) const {
    if (parts.size() < 2 || gaps.size() + 1 != parts.size()) return false;
    const std::string& first = parts.front();
    const std::string& last = parts.back();
    if (line.size() < first.size() + last.size()) return false;
    if (line.compare(0, first.size(), first) != 0) return false;
    if (line.compare(line.size() - last.size(), last.size(), last) != 0) return false;
    std::size_t position = first.size();
    const std::size_t end = line.size() - last.size();
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::size_t found =
            i + 1 < parts.size() ? line.substr(0, end).find(parts[i], position) : end;
        if (found == std::string_view::npos) return false;
        if (gaps[i - 1] != '*' && !IsTimely(line.substr(position, found - position))) return false;
        position = found + parts[i].size();
    }
    return true;
}

std::string CLearnedNoise::CTemplate::Masked() const {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) text += kMark;
        text += parts[i];
    }
    return text;
}

namespace {

// A day of the month: 1 to 31, perhaps with its ordinal ending.
bool IsMonthDay(std::string_view word) {
    std::size_t digits = 0;
    while (digits < word.size() && digits < 2 && IsDigit(static_cast<unsigned char>(word[digits]))) ++digits;
    if (digits == 0) return false;
    const int day = std::stoi(std::string(word.substr(0, digits)));
    const std::string_view rest = word.substr(digits);
    return day >= 1 && day <= 31 && (rest.empty() || OneOf(rest, {"st", "nd", "rd", "th"}));
}

std::vector<CWord> WordsOf(std::string_view line) {
    std::vector<CWord> words;
    for (std::size_t i = 0; i < line.size();) {
        if (!IsWordByte(static_cast<unsigned char>(line[i]))) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < line.size() && IsWordByte(static_cast<unsigned char>(line[j]))) ++j;
        words.push_back({i, j});
        i = j;
    }
    return words;
}

std::string Replaced(std::string_view line, const std::vector<std::pair<std::size_t, std::size_t>>& spans) {
    if (spans.empty()) return std::string(line);
    std::string masked;
    masked.reserve(line.size());
    std::size_t at = 0;
    for (const auto& [begin, end] : spans) {
        masked.append(line.substr(at, begin - at));
        masked += CLearnedNoise::kMark;
        at = end;
    }
    masked.append(line.substr(at));
    return masked;
}

}  // namespace

std::string CLearnedNoise::MaskDates(std::string_view line) {
    const std::vector<CWord> words = WordsOf(line);
    auto word = [&](std::size_t k) { return line.substr(words[k].begin, words[k].end - words[k].begin); };
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    for (std::size_t k = 0; k < words.size(); ++k) {
        if (!IsMonth(word(k))) continue;
        std::size_t first = k, last = k;
        if (k > 0 && Adjacent(line, words[k - 1], words[k]) && IsMonthDay(word(k - 1))) {
            first = k - 1;  // "6 December"
        } else if (k + 1 < words.size() && Adjacent(line, words[k], words[k + 1]) && IsMonthDay(word(k + 1))) {
            last = k + 1;  // "December 6"
        } else {
            continue;
        }
        // The year, when one follows ("6 December 2026", "December 6, 2026").
        if (last + 1 < words.size() && word(last + 1).size() == 4 && AllDigits(word(last + 1))) {
            std::size_t gap = words[last].end;
            if (gap < line.size() && line[gap] == ',') ++gap;
            while (gap < words[last + 1].begin && IsSpace(static_cast<unsigned char>(line[gap]))) ++gap;
            if (gap == words[last + 1].begin) ++last;
        }
        if (!spans.empty() && spans.back().second > words[first].begin) continue;
        spans.emplace_back(words[first].begin, words[last].end);
        k = last;
    }
    return Replaced(line, spans);
}

namespace {

// Whether a line may hold a shape at all: every shape has a figure or one
// of the words "ago", "now" and "yesterday". Most lines have none, and
// this look is far quicker than the words.
bool MayHoldShapes(std::string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c >= '0' && c <= '9') return true;
        if ((c == 'o' || c == 'O') && i >= 2) {
            const char a = Lower(line[i - 2]), b = Lower(line[i - 1]);
            if ((a == 'a' && b == 'g') || (a == 'n' && b == 'o') || (a == 'w' && b == 'o')) return true;
        }
        if ((c == 'w' || c == 'W') && i >= 2 && Lower(line[i - 2]) == 'n' && Lower(line[i - 1]) == 'o') return true;
        if ((c == 'y' || c == 'Y') && i >= 8 && EqualsIgnoringCase(line.substr(i - 8, 9), "yesterday")) return true;
    }
    return false;
}

}  // namespace

std::string CLearnedNoise::MaskShapes(std::string_view line) {
    if (!MayHoldShapes(line)) return std::string(line);
    const std::vector<CWord> words = WordsOf(line);
    auto word = [&](std::size_t k) { return line.substr(words[k].begin, words[k].end - words[k].begin); };
    bool namesBuild = false;  // a line with a build id: its version numbers go with it
    // The spans to take out, in order, not overlapping.
    std::vector<std::pair<std::size_t, std::size_t>> spans;
    auto take = [&](std::size_t begin, std::size_t end) {
        while (!spans.empty() && spans.back().second > begin) {
            begin = std::min(begin, spans.back().first);
            end = std::max(end, spans.back().second);
            spans.pop_back();
        }
        spans.emplace_back(begin, end);
    };
    for (std::size_t k = 0; k < words.size(); ++k) {
        const std::string_view w = word(k);
        if (EqualsIgnoringCase(w, "ago") && k > 0 && Adjacent(line, words[k - 1], words[k])) {
            const std::string_view unit = word(k - 1);
            std::size_t first = k;
            if (IsTimeUnit(unit) && k > 1 && Adjacent(line, words[k - 2], words[k - 1]) &&
                IsCount(word(k - 2))) {
                first = k - 2;
            } else if (EqualsIgnoringCase(unit, "moment") && k > 1 &&
                       Adjacent(line, words[k - 2], words[k - 1]) && IsCount(word(k - 2))) {
                first = k - 2;
            } else if (IsCompactAge(unit) || OneOf(unit, {"moments", "seconds", "minutes"})) {
                first = k - 1;
            }
            // "a few minutes ago": the article before the count.
            if (first < k && first > 0 && OneOf(word(first), {"few", "several"}) &&
                Adjacent(line, words[first - 1], words[first]) && OneOf(word(first - 1), {"a"}))
                --first;
            if (first < k) take(words[first].begin, words[k].end);
        } else if (EqualsIgnoringCase(w, "now") && k > 0 && Adjacent(line, words[k - 1], words[k]) &&
                   OneOf(word(k - 1), {"just", "right"})) {
            take(words[k - 1].begin, words[k].end);
        } else if (EqualsIgnoringCase(w, "yesterday")) {
            take(words[k].begin, words[k].end);
        } else if (OneOf(w, {"updated", "generated", "refreshed", "rendered", "served", "fetched",
                             "retrieved", "modified", "cached"}) ||
                   (EqualsIgnoringCase(w, "of") && k > 0 && EqualsIgnoringCase(word(k - 1), "as"))) {
            // The page's own time: "Last updated 14:02", "as of 9 Dec, 2:15 pm".
            std::size_t next = k + 1;
            if (next < words.size() && OneOf(word(next), {"at", "on"})) ++next;
            std::size_t last = next;
            while (last < words.size() && last < next + 8 &&
                   IsTimely(line.substr(words[last].begin, words[last].end - words[last].begin)) &&
                   (last == next || words[last].begin - words[last - 1].end <= 3))
                ++last;
            const bool clock = last > next && std::any_of(line.begin() + static_cast<std::ptrdiff_t>(words[next].begin),
                                                          line.begin() + static_cast<std::ptrdiff_t>(words[last - 1].end),
                                                          [](char c) { return c == ':'; });
            if (clock) {
                take(words[next].begin, words[last - 1].end);
                k = last - 1;
            }
        } else if (IsHexId(w)) {
            take(words[k].begin, words[k].end);
            namesBuild = true;
        } else if (IsDigit(static_cast<unsigned char>(w[0]))) {
            if (const std::size_t end = ClockTimeEnd(line, words[k].begin)) {
                take(words[k].begin, end);
                while (k + 1 < words.size() && words[k + 1].begin < end) ++k;
            }
        }
    }
    if (namesBuild) {
        // "v2.14.3", "2.14": a release's number beside its build.
        for (std::size_t k = 0; k < words.size(); ++k) {
            std::string_view w = word(k);
            if (!w.empty() && (w[0] == 'v' || w[0] == 'V')) w.remove_prefix(1);
            if (!AllDigits(w)) continue;
            std::size_t end = words[k].end, last = k;
            while (last + 1 < words.size() && words[last + 1].begin == end + 1 && line[end] == '.' &&
                   AllDigits(word(last + 1))) {
                end = words[++last].end;
            }
            if (last == k) continue;
            spans.emplace_back(words[k].begin, end);
            k = last;
        }
        std::sort(spans.begin(), spans.end());
        std::vector<std::pair<std::size_t, std::size_t>> merged;
        for (const auto& span : spans) {
            if (!merged.empty() && span.first < merged.back().second) {
                merged.back().second = std::max(merged.back().second, span.second);
            } else {
                merged.push_back(span);
            }
        }
        spans = std::move(merged);
    }
    return Replaced(line, spans);
}

template <class Visit>
void CLearnedNoise::ForEachMaskedLine(std::string_view document, Visit&& visit) const {
    // Templates by the first four bytes of their first part; those whose
    // first part is shorter are tried on every line.
    std::unordered_map<std::string_view, std::vector<const CTemplate*>> byStart;
    std::vector<const CTemplate*> anyStart;
    for (const CTemplate& line : templates) {
        if (line.parts.front().size() >= 4) byStart[std::string_view(line.parts.front()).substr(0, 4)].push_back(&line);
        else anyStart.push_back(&line);
    }
    std::size_t begin = 0;
    // This line and the one before, with the shapes taken out: views of the
    // document itself when there were none (most lines), else of a store.
    std::string stores[2], masked;
    std::string_view previous, shaped;
    int store = 0;
    while (begin < document.size()) {
        std::size_t end = document.find('\n', begin);
        if (end == std::string_view::npos) end = document.size();
        const std::string_view raw = document.substr(begin, end - begin);
        begin = end + 1;
        previous = shaped;
        if (raw.size() > kLongestLine || !MayHoldShapes(raw)) {
            shaped = raw;
        } else {
            // The other store may hold the line before.
            store ^= 1;
            stores[store] = MaskShapes(raw);
            shaped = stores[store];
        }
        // Templates are learned from lines with the built-in shapes taken
        // out, and match such lines.
        const CTemplate* matched = nullptr;
        if (!templates.empty()) {
            if (shaped.size() >= 4) {
                if (auto found = byStart.find(shaped.substr(0, 4)); found != byStart.end()) {
                    for (const CTemplate* candidate : found->second) {
                        if (candidate->Matches(shaped)) {
                            matched = candidate;
                            break;
                        }
                    }
                }
            }
            for (std::size_t i = 0; !matched && i < anyStart.size(); ++i) {
                if (anyStart[i]->Matches(shaped)) matched = anyStart[i];
            }
        }
        if (matched) {
            masked = matched->Masked();
            visit(shaped, std::string_view(masked));
        } else if (agingDates && raw.size() <= kLongestLine &&
                   !std::binary_search(stable.begin(), stable.end(), LineHash(previous, shaped))) {
            // A page whose times turn into dates as they age: its dates are
            // times too, but not those of a line that stood still.
            masked = MaskDates(shaped);
            visit(shaped, std::string_view(masked));
        } else {
            visit(shaped, shaped);
        }
    }
}

std::vector<std::string> CLearnedNoise::MaskLines(std::string_view document,
                                                  std::vector<std::string>* shaped) const {
    std::vector<std::string> lines;
    ForEachMaskedLine(document, [&](std::string_view shapedLine, std::string_view line) {
        if (shaped) shaped->emplace_back(shapedLine);
        lines.emplace_back(line);
    });
    return lines;
}

std::string CLearnedNoise::Mask(std::string_view document) const {
    if (blocks.empty()) {
        // Line by line, without keeping the lines.
        std::string masked;
        masked.reserve(document.size());
        ForEachMaskedLine(document, [&masked](std::string_view, std::string_view line) {
            masked += line;
            masked += '\n';
        });
        if (!document.empty() && document.back() != '\n' && !masked.empty()) masked.pop_back();
        return masked;
    }
    std::vector<std::string> lines = MaskLines(document);
    // Where the changing blocks are: [begin, end) of lines, each shown as one.
    std::vector<std::pair<std::size_t, std::size_t>> collapsed;
    std::vector<std::string> suffix;
    if (!blocks.empty()) {
        std::unordered_map<std::string_view, std::vector<const CBlock*>> byBefore;
        for (const CBlock& block : blocks) byBefore[block.before].push_back(&block);
        // Where a block that begins at `begin` ends (its closing line), if
        // it is there.
        auto reach = [&](const CBlock& block, std::size_t begin) -> std::optional<std::size_t> {
            const std::size_t last = std::min(lines.size(), begin + static_cast<std::size_t>(block.longest));
            for (std::size_t end = begin; end <= last; ++end) {
                if (block.after.empty() ? end == lines.size() : end < lines.size() && lines[end] == block.after)
                    return end;
            }
            return std::nullopt;
        };
        // Of the blocks after one line (the start of the document, when
        // `anchor` is null), the one that reaches farthest. The block's line
        // ends as its opening line does, or as its closing one at the start.
        auto place = [&](const std::vector<const CBlock*>& candidates, std::size_t begin,
                         const std::string* anchor) -> std::optional<std::size_t> {
            std::optional<std::size_t> farthest;
            for (const CBlock* block : candidates) {
                const auto end = reach(*block, begin);
                if (end && (!farthest || *end > *farthest)) farthest = end;
            }
            if (!farthest) return std::nullopt;
            if (!anchor) anchor = *farthest < lines.size() ? &lines[*farthest] : nullptr;
            const std::string_view line = anchor ? std::string_view(*anchor) : std::string_view();
            const bool breaks = line.size() >= kBreak.size() && line.substr(line.size() - kBreak.size()) == kBreak;
            collapsed.emplace_back(begin, *farthest);
            suffix.push_back(breaks ? std::string(kBreak) : std::string());
            return farthest;
        };
        std::size_t next = 0;  // lines before this are in a block already
        if (auto start = byBefore.find(std::string_view()); start != byBefore.end()) {
            if (const auto end = place(start->second, 0, nullptr)) next = *end;
        }
        for (std::size_t i = next; i < lines.size(); ++i) {
            auto found = byBefore.find(lines[i]);
            if (found == byBefore.end() || lines[i].empty()) continue;
            if (const auto end = place(found->second, i + 1, &lines[i])) i = *end - 1;
        }
    }
    std::string masked;
    masked.reserve(document.size());
    std::size_t block = 0;
    for (std::size_t i = 0; i <= lines.size(); ++i) {
        if (block < collapsed.size() && collapsed[block].first == i) {
            masked += kMark;
            masked += suffix[block];
            masked += '\n';
            i = collapsed[block].second;
            ++block;
            if (i >= lines.size()) break;
        }
        if (i == lines.size()) break;
        masked += lines[i];
        masked += '\n';
    }
    if (!document.empty() && document.back() != '\n' && !masked.empty()) masked.pop_back();
    return masked;
}

void CLearnedNoise::ForgetCandidates() {
    std::erase_if(candidates, [](const CTemplate& line) { return !IsClock(line); });
}

std::uint32_t CLearnedNoise::FigureShape(std::string_view line) {
    // FNV-1a of the line with each run of figures as one '#'.
    std::uint32_t hash = 2166136261u;
    bool inFigures = false;
    for (char c : line) {
        const bool figure = IsDigit(static_cast<unsigned char>(c));
        if (figure && inFigures) continue;
        inFigures = figure;
        hash = (hash ^ static_cast<unsigned char>(figure ? '#' : c)) * 16777619u;
    }
    return hash;
}

std::uint32_t CLearnedNoise::LineHash(std::string_view previous, std::string_view line) {
    // FNV-1a from another start than FigureShape's, so the two kinds of
    // hash share one set.
    std::uint32_t hash = 0x811c9dc5u ^ 0x5bd1e995u;
    for (char c : previous) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    hash = (hash ^ '\n') * 16777619u;
    for (char c : line) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

void CLearnedNoise::RememberStable(std::string_view previous, std::string_view line) {
    if (std::none_of(line.begin(), line.end(), [](char c) { return IsDigit(static_cast<unsigned char>(c)); }))
        return;
    // Its numbers as a shape (a price that stood still) and the line itself
    // (a date that stood still).
    for (const std::uint32_t hash : {FigureShape(line), LineHash(previous, line)}) {
        const auto at = std::lower_bound(stable.begin(), stable.end(), hash);
        if (at != stable.end() && *at == hash) continue;
        // Past the bound, one remembered at random goes (the hash picks it).
        if (stable.size() >= kMostStable) stable.erase(stable.begin() + static_cast<std::ptrdiff_t>(hash % stable.size()));
        stable.insert(std::lower_bound(stable.begin(), stable.end(), hash), hash);
    }
}

bool CLearnedNoise::AddTemplate(CTemplate added) {
    if (std::find(templates.begin(), templates.end(), added) != templates.end()) return false;
    templates.push_back(std::move(added));
    if (templates.size() > kMostRules) templates.erase(templates.begin());
    return true;
}

bool CLearnedNoise::AddBlock(CBlock added) {
    for (CBlock& block : blocks) {
        if (block.before == added.before && block.after == added.after) {
            if (block.longest >= added.longest) return false;
            block.longest = added.longest;
            return true;
        }
    }
    blocks.push_back(std::move(added));
    if (blocks.size() > kMostRules / 4) blocks.erase(blocks.begin());
    return true;
}

bool CLearnedNoise::LearnFromRepeat(std::string_view first, std::string_view second) {
    std::vector<std::string> shapedA, shapedB;
    const std::vector<std::string> a = MaskLines(first, &shapedA), b = MaskLines(second, &shapedB);
    const std::vector<CHunk> hunks = Hunks(a, b);
    bool learned = false;
    std::vector<CHunk> blockHunks;
    std::size_t aligned = 0;
    for (const CHunk& hunk : hunks) {
        std::vector<CTemplate> lines;
        const std::size_t length = hunk.aEnd - hunk.a;
        if (length == hunk.bEnd - hunk.b && length <= kLongestBlock && aligned + length <= kMostAlignedPairs) {
            aligned += length;
            for (std::size_t k = 0; k < length; ++k) {
                auto line = TemplateOf(shapedA[hunk.a + k], shapedB[hunk.b + k], Learning::FromRepeat);
                if (!line) break;
                lines.push_back(std::move(*line));
            }
        }
        if (!lines.empty() && lines.size() == hunk.aEnd - hunk.a) {
            for (CTemplate& line : lines) learned |= AddTemplate(std::move(line));
            continue;
        }
        // Lines that came and went: one block with those a line or two apart.
        if (!blockHunks.empty() && hunk.a <= blockHunks.back().aEnd + 2) {
            blockHunks.back().aEnd = hunk.aEnd;
            blockHunks.back().bEnd = hunk.bEnd;
        } else {
            blockHunks.push_back(hunk);
        }
    }
    const std::size_t longestBlock = std::max(kLongestBlock, std::max(a.size(), b.size()) / 4);
    for (CHunk hunk : blockHunks) {
        // The block's edges: lines found once in each download, so that the
        // block cannot be placed anywhere else.
        std::size_t reach = 0;
        while (hunk.a > 0 && hunk.b > 0 && reach < kAnchorReach &&
               (CountOf(a, a[hunk.a - 1]) != 1 || CountOf(b, a[hunk.a - 1]) != 1 ||
                a[hunk.a - 1] != b[hunk.b - 1])) {
            --hunk.a, --hunk.b, ++reach;
        }
        reach = 0;
        while (hunk.aEnd < a.size() && hunk.bEnd < b.size() && reach < kAnchorReach &&
               (CountOf(a, a[hunk.aEnd]) != 1 || CountOf(b, a[hunk.aEnd]) != 1 ||
                a[hunk.aEnd] != b[hunk.bEnd])) {
            ++hunk.aEnd, ++hunk.bEnd, ++reach;
        }
        CBlock block;
        // Both downloads have the block at their start, or neither has.
        if ((hunk.a == 0) != (hunk.b == 0)) continue;
        if (hunk.a > 0) {
            block.before = a[hunk.a - 1];
            if (CountOf(a, block.before) != 1 || block.before != b[hunk.b - 1]) continue;
        }
        if (hunk.aEnd < a.size()) {
            block.after = a[hunk.aEnd];
            if (hunk.bEnd >= b.size() || CountOf(a, block.after) != 1 || block.after != b[hunk.bEnd]) continue;
        }
        if (block.before.empty() && block.after.empty()) continue;  // the whole page
        const std::size_t length = std::max(hunk.aEnd - hunk.a, hunk.bEnd - hunk.b);
        if (length > longestBlock) continue;
        // As long as seen, no longer: a line added next to the block is
        // the page's, and a longer block seen later is learned then.
        block.longest = static_cast<std::int32_t>(std::min(length, kLongestPlaced));
        learned |= AddBlock(std::move(block));
    }
    return learned;
}

bool CLearnedNoise::LearnFromCheck(std::string_view before, std::string_view after) {
    std::vector<std::string> shapedA, shapedB;
    const std::vector<std::string> a = MaskLines(before, &shapedA), b = MaskLines(after, &shapedB);
    const std::vector<CHunk> hunks = Hunks(a, b);
    // The lines with figures that this check left alone have been stable:
    // a later change to them is never taken for noise.
    std::size_t next = 0;
    for (const CHunk& hunk : hunks) {
        for (; next < hunk.a; ++next) RememberStable(next ? shapedA[next - 1] : "", shapedA[next]);
        next = hunk.aEnd;
    }
    for (; next < a.size(); ++next) RememberStable(next ? shapedA[next - 1] : "", shapedA[next]);
    bool learned = false;
    // "3 hours ago" become "6 December" a day later: from then on the
    // page's dates count as times.
    for (const CHunk& hunk : hunks) {
        if (agingDates || hunk.aEnd - hunk.a != hunk.bEnd - hunk.b || hunk.aEnd - hunk.a > kLongestBlock) continue;
        for (std::size_t k = 0; k < hunk.aEnd - hunk.a; ++k) {
            const std::string& older = shapedA[hunk.a + k];
            const std::string& newer = shapedB[hunk.b + k];
            if (older.find(kMark) != std::string::npos && MaskDates(newer) == older) {
                agingDates = learned = true;
                break;
            }
        }
    }
    std::vector<CTemplate> found;
    std::size_t aligned = 0;
    for (const CHunk& hunk : hunks) {
        const std::size_t length = hunk.aEnd - hunk.a;
        // A line or two that changed between lines that did not: a page's
        // clock or counter. Longer runs pair lines of different items (an
        // event added shifts every event after it).
        if (length != hunk.bEnd - hunk.b || length > 2 || aligned + length > kMostAlignedPairs)
            continue;
        aligned += length;
        for (std::size_t k = 0; k < length && found.size() < kMostCandidates; ++k) {
            auto changing = TemplateOf(shapedA[hunk.a + k], shapedB[hunk.b + k], Learning::FromCheck);
            // A date or a time is noise however long it stood still.
            if (!changing || (!IsClock(*changing) && std::binary_search(stable.begin(), stable.end(),
                                                                        FigureShape(shapedA[hunk.a + k]))))
                continue;
            found.push_back(std::move(*changing));
        }
    }
    for (const CTemplate& line : found) {
        if (std::find(candidates.begin(), candidates.end(), line) != candidates.end())
            learned |= AddTemplate(line);
    }
    // Dates and times wait for their next change, at whichever check.
    for (CTemplate& line : candidates) {
        if (IsClock(line) && found.size() < kMostCandidates &&
            std::find(found.begin(), found.end(), line) == found.end() &&
            std::find(templates.begin(), templates.end(), line) == templates.end())
            found.push_back(std::move(line));
    }
    candidates = std::move(found);
    return learned;
}

std::vector<std::string> CLearnedNoise::Marks(std::string_view document) const {
    std::vector<std::string> original, masked;
    for (std::string_view line : SplitLines(document)) original.emplace_back(line);
    const std::string maskedDocument = Mask(document);
    for (std::string_view line : SplitLines(maskedDocument)) masked.emplace_back(line);
    std::vector<std::string> marks;
    for (const CHunk& hunk : Hunks(original, masked)) {
        // A block's line is the mark alone; the lines it stands for are the
        // hunk's, one block a hunk (two blocks meet only at a fixed line).
        const std::size_t lines = hunk.aEnd - hunk.a;
        for (std::size_t k = hunk.b; k < hunk.bEnd; ++k) {
            std::string mark = Shown(masked[k]);
            if (mark == kMark) mark += " (" + std::to_string(lines) + (lines == 1 ? " line)" : " lines)");
            marks.push_back(std::move(mark));
        }
    }
    return marks;
}

std::vector<std::string> CLearnedNoise::Describe() const {
    std::vector<std::string> lines;
    for (const CTemplate& line : templates) lines.push_back("Changing parts of a line: " + Shown(line.Masked()));
    if (agingDates) lines.push_back("Dates, as the page's times turn into dates (\"6 December\")");
    for (const CBlock& block : blocks) {
        if (block.before.empty()) {
            lines.push_back("Lines at the start, before \"" + Shown(block.after) + "\"");
        } else if (block.after.empty()) {
            lines.push_back("Lines after \"" + Shown(block.before) + "\", to the end");
        } else {
            lines.push_back("Lines between \"" + Shown(block.before) + "\" and \"" + Shown(block.after) + "\"");
        }
    }
    return lines;
}

std::string CLearnedNoise::Save() const {
    std::string text;
    for (const CTemplate& line : templates) {
        text += "T\t";
        AppendTemplate(text, line);
        text += '\n';
    }
    for (const CBlock& block : blocks) {
        text += "B\t";
        AppendEscaped(text, block.before);
        text += '\t';
        AppendEscaped(text, block.after);
        text += '\t' + std::to_string(block.longest) + '\n';
    }
    for (const CTemplate& line : candidates) {
        text += "C\t";
        AppendTemplate(text, line);
        text += '\n';
    }
    if (agingDates) text += "D\tdates age\n";
    if (!stable.empty()) {
        text += "S\t";
        char hex[9];
        for (std::size_t i = 0; i < stable.size(); ++i) {
            std::snprintf(hex, sizeof hex, "%08x", stable[i]);
            if (i) text += ',';
            text += hex;
        }
        text += '\n';
    }
    return text;
}

CLearnedNoise CLearnedNoise::Load(std::string_view text) {
    CLearnedNoise noise;
    for (std::string_view line : SplitLines(text)) {
        std::vector<std::string_view> fields;
        std::size_t begin = 0;
        for (;;) {
            const std::size_t tab = line.find('\t', begin);
            fields.push_back(line.substr(begin, tab == std::string_view::npos ? line.size() - begin : tab - begin));
            if (tab == std::string_view::npos) break;
            begin = tab + 1;
        }
        if (fields.size() == 2 && (fields[0] == "T" || fields[0] == "C") &&
            fields[1].size() <= 2 * kLongestLine) {
            CTemplate line;
            line.parts = Unescape(fields[1], &line.gaps);
            if (line.parts.size() < 2) continue;
            if (fields[0] == "T" && noise.templates.size() < kMostRules) noise.templates.push_back(std::move(line));
            if (fields[0] == "C" && noise.candidates.size() < kMostCandidates) noise.candidates.push_back(std::move(line));
        } else if (fields.size() == 4 && fields[0] == "B" && noise.blocks.size() < kMostRules / 4 &&
                   fields[1].size() <= 2 * kLongestLine && fields[2].size() <= 2 * kLongestLine) {
            std::vector<std::string> before = Unescape(fields[1]), after = Unescape(fields[2]);
            if (before.size() != 1 || after.size() != 1 || fields[3].empty() || fields[3].size() > 6 ||
                !AllDigits(fields[3]))
                continue;
            CBlock block{std::move(before[0]), std::move(after[0]), std::stoi(std::string(fields[3]))};
            if (block.longest <= 0 || block.longest > static_cast<std::int32_t>(kLongestPlaced) ||
                (block.before.empty() && block.after.empty()))
                continue;
            noise.blocks.push_back(std::move(block));
        } else if (fields.size() == 2 && fields[0] == "D") {
            noise.agingDates = true;
        } else if (fields.size() == 2 && fields[0] == "S") {
            for (std::size_t at = 0; at + 8 <= fields[1].size() && noise.stable.size() < kMostStable; at += 9) {
                std::uint32_t shape = 0;
                bool valid = true;
                for (char c : fields[1].substr(at, 8)) {
                    const int digit = IsDigit(static_cast<unsigned char>(c)) ? c - '0'
                                      : (c >= 'a' && c <= 'f')             ? c - 'a' + 10
                                                                           : -1;
                    if (digit < 0) valid = false;
                    shape = shape << 4 | static_cast<std::uint32_t>(digit & 15);
                }
                if (valid) noise.stable.push_back(shape);
            }
            std::sort(noise.stable.begin(), noise.stable.end());
            noise.stable.erase(std::unique(noise.stable.begin(), noise.stable.end()), noise.stable.end());
        }
    }
    return noise;
}

}  // namespace tallyhawk
