#include "PageGenerator.h"

#include <algorithm>
#include <random>
#include <set>
#include <string_view>

namespace tallyhawk::bench {
namespace {

constexpr std::string_view kWords[] = {
    "the",     "page",    "watch",   "change",  "price",    "update",  "news",    "market",
    "report",  "weather", "today",   "city",    "council",  "meeting", "opens",   "closed",
    "season",  "results", "team",    "player",  "record",   "new",     "old",     "library",
    "service", "train",   "delayed", "station", "museum",   "exhibit", "summer",  "winter",
    "account", "login",   "search",  "archive", "contact",  "about",   "privacy", "terms",
    "product", "review",  "rating",  "stock",   "delivery", "order",   "cart",    "shipping",
    "a",       "of",      "and",     "to",      "in",       "for",     "with",    "on",
    "river",   "bridge",  "repairs", "begin",   "monday",   "friday",  "evening", "morning",
};

class Writer {
public:
    explicit Writer(std::uint32_t seed) : rng(seed) {}

    int Below(int n) { return static_cast<int>(rng() % static_cast<std::uint32_t>(n)); }

    std::string Words(int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            if (i > 0) text += ' ';
            text += kWords[static_cast<std::size_t>(Below(static_cast<int>(std::size(kWords))))];
        }
        return text;
    }

    std::string Sentence() {
        std::string text = Words(6 + Below(12));
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
        return text + '.';
    }

    void Line(int depth, std::string_view text) {
        out.append(static_cast<std::size_t>(2 * depth), ' ');
        out += text;
        out += '\n';
    }

    void Paragraph(int depth) {
        if (Below(2) == 0) {
            Line(depth, "<p>" + Sentence() + " " + Sentence() + "</p>");
            return;
        }
        Line(depth, "<p>");
        const int lines = 1 + Below(4);
        for (int i = 0; i < lines; ++i) Line(depth + 1, Sentence());
        Line(depth, "</p>");
    }

    void List(int depth) {
        Line(depth, "<ul class=\"links\">");
        const int items = 2 + Below(8);
        for (int i = 0; i < items; ++i) {
            Line(depth + 1, "<li><a href=\"/item/" + std::to_string(Below(100000)) + "\">" +
                                Words(1 + Below(4)) + "</a></li>");
        }
        Line(depth, "</ul>");
    }

    void Table(int depth) {
        Line(depth, "<table>");
        const int rows = 2 + Below(6);
        for (int r = 0; r < rows; ++r) {
            Line(depth + 1, "<tr>");
            for (int c = 0; c < 3; ++c) {
                Line(depth + 2,
                     "<td>" + (c == 0 ? Words(2) : std::to_string(Below(1000))) + "</td>");
            }
            Line(depth + 1, "</tr>");
        }
        Line(depth, "</table>");
    }

    void Section(int depth) {
        Line(depth, "<div class=\"section\">");
        Line(depth + 1, "<h2>" + Words(2 + Below(4)) + "</h2>");
        out += '\n';
        const int blocks = 1 + Below(4);
        for (int b = 0; b < blocks; ++b) {
            switch (depth < 5 ? Below(5) : Below(3)) {
                case 0:
                    List(depth + 1);
                    break;
                case 1:
                    Table(depth + 1);
                    break;
                case 2:
                    Paragraph(depth + 1);
                    break;
                default:
                    Section(depth + 1);
                    break;
            }
            out += '\n';
        }
        Line(depth, "</div>");
    }

    std::mt19937 rng;
    std::string out;
};

std::vector<std::string> SplitLines(const std::string& page) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < page.size()) {
        const std::size_t end = std::min(page.find('\n', start), page.size() - 1);
        lines.push_back(page.substr(start, end + 1 - start));
        start = end + 1;
    }
    return lines;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string page;
    for (const std::string& line : lines) page += line;
    return page;
}

std::string KiB(std::size_t bytes) {
    return bytes % (1024 * 1024) == 0 ? std::to_string(bytes / (1024 * 1024)) + "MiB"
                                      : std::to_string(bytes / 1024) + "KiB";
}

}  // namespace

std::string GenerateHtmlPage(std::size_t bytes, std::uint32_t seed) {
    Writer writer(seed);
    writer.Line(0, "<!DOCTYPE html>");
    writer.Line(0, "<html lang=\"en\">");
    writer.Line(0, "<head>");
    writer.Line(1, "<meta charset=\"utf-8\">");
    writer.Line(1, "<title>" + writer.Words(4) + "</title>");
    writer.Line(1, "<link rel=\"stylesheet\" href=\"/style.css\">");
    writer.Line(0, "</head>");
    writer.Line(0, "<body>");
    writer.Line(1, "<div id=\"page\">");
    while (writer.out.size() < bytes) {
        writer.Section(2);
        writer.out += '\n';
    }
    writer.Line(1, "</div>");
    writer.Line(0, "</body>");
    writer.Line(0, "</html>");
    return writer.out;
}

std::string EditLines(const std::string& page, int edits, std::uint32_t seed) {
    std::vector<std::string> lines = SplitLines(page);
    Writer writer(seed);
    const int count = static_cast<int>(lines.size());
    // One edit in each of `edits` equal slices, at a random place in its slice.
    std::set<int, std::greater<>> positions;
    for (int e = 0; e < edits; ++e) {
        const int sliceStart = static_cast<int>(static_cast<long long>(count) * e / edits);
        const int sliceEnd = static_cast<int>(static_cast<long long>(count) * (e + 1) / edits);
        positions.insert(sliceStart + writer.Below(std::max(1, sliceEnd - sliceStart)));
    }
    int kind = 0;
    for (int at : positions) {  // from the end, so earlier positions stay valid
        const auto pos = lines.begin() + at;
        switch (kind++ % 3) {
            case 0:
                *pos = "      <p>" + writer.Sentence() + "</p>\n";
                break;
            case 1:
                lines.insert(pos, "      <p>" + writer.Sentence() + "</p>\n");
                break;
            default:
                lines.erase(pos);
                break;
        }
    }
    return Join(lines);
}

PagePair RealisticPair(std::size_t bytes, int edits) {
    PagePair pair;
    pair.previous = GenerateHtmlPage(bytes, static_cast<std::uint32_t>(bytes));
    pair.current = EditLines(pair.previous, edits, static_cast<std::uint32_t>(bytes + edits));
    return pair;
}

PagePair IdenticalLinesPair(int lines) {
    PagePair pair;
    pair.adversarial = true;
    const std::string line = "<p>The same line of text.</p>\n";
    for (int i = 0; i < lines; ++i) {
        pair.previous += line;
        pair.current += i == lines / 2 ? "<p>The one changed line.</p>\n" : line;
    }
    return pair;
}

PagePair ClosingTagsPair(int lines) {
    constexpr std::string_view kTags[] = {"</div>\n", "</p>\n", "</li>\n", "</td>\n", "</tr>\n"};
    PagePair pair;
    pair.adversarial = true;
    std::mt19937 rng(12345);
    for (std::string* page : {&pair.previous, &pair.current}) {
        for (int i = 0; i < lines; ++i) *page += kTags[rng() % std::size(kTags)];
    }
    return pair;
}

PagePair AlternatingPair(int lines) {
    PagePair pair;
    pair.adversarial = true;
    for (int i = 0; i < lines; ++i) {
        if (i % 2 == 0) {
            pair.previous += "</div>\n";
            pair.current += "</div>\n";
        } else {
            pair.previous += "<p>Old text of line " + std::to_string(i) + "</p>\n";
            pair.current += "<p>New text of line " + std::to_string(i) + "</p>\n";
        }
    }
    return pair;
}

std::string PairRecipe::Name() const {
    switch (kind) {
        case Kind::Realistic:
            return "html-" + KiB(bytes) + "/" + std::to_string(count) +
                   (count == 1 ? "-edit" : "-edits");
        case Kind::Identical:
            return "identical-lines-" + std::to_string(count) + "/one-change";
        case Kind::ClosingTags:
            return "closing-tags-" + std::to_string(count) + "/random";
        case Kind::Alternating:
            return "alternating-" + std::to_string(count) + "/every-other-changed";
    }
    return {};
}

PagePair PairRecipe::Make() const {
    PagePair pair;
    switch (kind) {
        case Kind::Realistic:
            pair = RealisticPair(bytes, count);
            break;
        case Kind::Identical:
            pair = IdenticalLinesPair(count);
            break;
        case Kind::ClosingTags:
            pair = ClosingTagsPair(count);
            break;
        case Kind::Alternating:
            pair = AlternatingPair(count);
            break;
    }
    pair.name = Name();
    return pair;
}

std::vector<PairRecipe> BenchmarkPairs() {
    std::vector<PairRecipe> recipes;
    for (std::size_t bytes :
         {std::size_t{100} * 1024, std::size_t{1024} * 1024, std::size_t{8} * 1024 * 1024}) {
        for (int edits : {1, 10, 100})
            recipes.push_back({PairRecipe::Kind::Realistic, bytes, edits});
    }
    recipes.push_back({PairRecipe::Kind::Identical, 0, 100000});
    recipes.push_back({PairRecipe::Kind::ClosingTags, 0, 100000});
    recipes.push_back({PairRecipe::Kind::Alternating, 0, 200000});
    return recipes;
}

}  // namespace tallyhawk::bench
