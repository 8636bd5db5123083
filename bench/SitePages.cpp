#include "SitePages.h"

#include <algorithm>
#include <cctype>
#include <random>
#include <string_view>
#include <vector>

namespace tallyhawk::bench {
namespace {

constexpr std::string_view kVocabulary[] = {
    "harbour",
    "festival",
    "ticket",
    "concert",
    "weekend",
    "garden",
    "recipe",
    "bakery",
    "cycling",
    "route",
    "school",
    "holiday",
    "campaign",
    "election",
    "budget",
    "housing",
    "energy",
    "prices",
    "rise",
    "fall",
    "local",
    "national",
    "report",
    "survey",
    "shows",
    "says",
    "plans",
    "new",
    "old",
    "first",
    "last",
    "week",
    "year",
    "the",
    "a",
    "of",
    "to",
    "and",
    "in",
    "on",
    "for",
    "with",
    "after",
    "before",
    "over",
    "under",
    "near",
    "city",
    "council",
    "museum",
    "opening",
    "hours",
    "changed",
    "because",
    "of",
    "works",
    "\xC3\xA9t\xC3\xA9",
    "caf\xC3\xA9",
    "na\xC3\xAFve",
    "M\xC3\xBCnchen",
};
constexpr std::string_view kClasses[] = {
    "card",     "card-body", "card-title", "meta",     "badge",    "price", "btn btn-primary",
    "col-md-4", "row",       "container",  "nav-item", "nav-link", "thumb", "lazy",
};

class SiteWriter {
public:
    explicit SiteWriter(std::uint32_t seed) : rng(seed) {
        indentUnit = Below(3) == 0 ? "\t" : (Below(2) ? "  " : "    ");
        lineEnd = Below(4) == 0 ? "\r\n" : "\n";
    }

    int Below(int n) { return static_cast<int>(rng() % static_cast<std::uint32_t>(n)); }

    std::string_view Word() { return kVocabulary[std::size_t(Below(int(std::size(kVocabulary))))]; }
    std::string_view Class() { return kClasses[std::size_t(Below(int(std::size(kClasses))))]; }

    std::string Words(int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            if (i) text += ' ';
            text += Word();
        }
        return text;
    }

    // One long line of running text, with some inline markup.
    std::string Prose(int minBytes, int maxBytes) {
        const int target = minBytes + Below(maxBytes - minBytes + 1);
        std::string text;
        while (int(text.size()) < target) {
            std::string sentence = Words(5 + Below(15));
            sentence[0] = char(std::toupper(static_cast<unsigned char>(sentence[0])));
            if (Below(6) == 0)
                sentence += " <a href=\"/story/" + std::to_string(rng() % 900000) + "\">" +
                            Words(2) + "</a>";
            if (Below(8) == 0) sentence = "<em>" + sentence + "</em>";
            text += sentence + (Below(10) == 0 ? "! " : ". ");
        }
        text.pop_back();
        return text;
    }

    std::string Price() {
        return std::to_string(1 + Below(400)) + "." + std::to_string(10 + Below(90));
    }
    std::string Date() {
        return "2024-" + std::to_string(10 + Below(3)) + "-" + std::to_string(10 + Below(18)) +
               "T" + std::to_string(10 + Below(13)) + ":" + std::to_string(10 + Below(50));
    }

    void Line(int depth, std::string_view text) {
        for (int i = 0; i < depth; ++i) out += indentUnit;
        out += text;
        out += lineEnd;
    }

    void Head() {
        Line(0, "<!DOCTYPE html>");
        Line(0, "<html lang=\"en\" class=\"no-js\">");
        Line(0, "<head>");
        Line(1, "<meta charset=\"utf-8\">");
        Line(1, "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">");
        Line(1, "<title>" + Words(5) + " | The Daily " + std::string(Word()) + "</title>");
        for (int i = 0; i < 8; ++i)
            Line(1,
                 "<meta property=\"og:" + std::string(Word()) + "\" content=\"" + Words(4) + "\">");
        for (int i = 0; i < 4; ++i)
            Line(1, "<link rel=\"stylesheet\" href=\"/assets/" + std::string(Word()) + "." +
                        std::to_string(rng() % 100000) + ".css\">");
        Line(1, "<style>");
        for (int i = 0; i < 30; ++i) {
            std::string rule = ".";
            rule += Class();
            rule += " { margin: " + std::to_string(Below(20)) + "px; color: #" +
                    std::to_string(100 + Below(800)) + "; }";
            Line(2, rule);
        }
        Line(1, "</style>");
        Script(1, 4000 + Below(8000));
        Line(0, "</head>");
    }

    // An inline script holding one long line of JSON.
    void Script(int depth, int bytes) {
        Line(depth, "<script type=\"application/json\" id=\"state-" + std::to_string(rng() % 1000) +
                        "\">");
        std::string json = "{\"items\":[";
        while (int(json.size()) < bytes) {
            json += "{\"id\":" + std::to_string(rng() % 1000000) + ",\"title\":\"" + Words(4) +
                    "\",\"price\":" + Price() + ",\"updated\":\"" + Date() + "\"},";
        }
        json.back() = ']';
        json += '}';
        Line(depth, json);
        Line(depth, "</script>");
    }

    void Navigation() {
        Line(1, "<header class=\"site-header\">");
        Line(2, "<nav>");
        Line(3, "<ul class=\"nav\">");
        const int items = 20 + Below(30);
        for (int i = 0; i < items; ++i)
            Line(4, "<li class=\"nav-item\"><a class=\"nav-link\" href=\"/" + std::string(Word()) +
                        "/\">" + Words(1 + Below(2)) + "</a></li>");
        Line(3, "</ul>");
        Line(2, "</nav>");
        Line(1, "</header>");
    }

    void Icon(int depth) {
        std::string path = "<svg viewBox=\"0 0 24 24\"><path d=\"M";
        const int points = 20 + Below(60);
        for (int i = 0; i < points; ++i)
            path +=
                std::to_string(Below(24)) + "." + std::to_string(Below(100)) + (i % 2 ? " " : ",");
        path += "z\"/></svg>";
        Line(depth, path);
    }

    void Card(int depth) {
        const std::string id = std::to_string(rng() % 10000000);
        Line(depth, "<article class=\"" + std::string(Class()) + "\" id=\"item-" + id + "\">");
        Line(depth + 1, "<div class=\"card-body\">");
        Line(depth + 2, "<a href=\"/p/" + id + "\">");
        Line(depth + 3, "<img class=\"thumb lazy\" src=\"/img/" + id + ".jpg\" alt=\"\">");
        Line(depth + 2, "</a>");
        Line(depth + 2, "<h3 class=\"card-title\"><a href=\"/p/" + id + "\">" +
                            Words(3 + Below(6)) + "</a></h3>");
        Line(depth + 2, "<p class=\"meta\"><time datetime=\"" + Date() + "\">" + Words(2) +
                            "</time> &middot; <span class=\"author\">" + Words(2) + "</span></p>");
        if (Below(3) == 0) Icon(depth + 2);
        if (Below(2) == 0) {
            Line(depth + 2, "<p>" + Prose(150, 1500) + "</p>");
        } else {
            Line(depth + 2, "<p>");
            Line(depth + 3, Prose(80, 400));
            Line(depth + 2, "</p>");
        }
        if (Below(2) == 0) {
            Line(depth + 2, "<div class=\"price\">");
            Line(depth + 3, "<span class=\"amount\">&euro; " + Price() + "</span>");
            Line(depth + 3, "<button class=\"btn btn-primary\" type=\"button\">Add</button>");
            Line(depth + 2, "</div>");
        }
        Line(depth + 1, "</div>");
        Line(depth, "</article>");
    }

    void Listing(std::size_t bytes) {
        Line(1, "<main id=\"content\">");
        Line(2, "<div class=\"container\">");
        while (out.size() < bytes) {
            Line(3, "<section class=\"row\">");
            Line(4, "<h2>" + Words(2 + Below(3)) + "</h2>");
            out += lineEnd;
            const int cards = 3 + Below(12);
            for (int c = 0; c < cards; ++c) Card(4);
            Line(3, "</section>");
            if (Below(4) == 0) out += lineEnd;
            if (Below(12) == 0) Script(3, 500 + Below(3000));
            if (Below(10) == 0) Line(3, "<!-- " + Words(4) + " -->");
        }
        Line(2, "</div>");
        Line(1, "</main>");
    }

    void Footer() {
        Line(1, "<footer>");
        for (int i = 0; i < 12; ++i)
            Line(2, "<a href=\"/" + std::string(Word()) + "\">" + Words(2) + "</a>");
        Line(2, "<p>&copy; 2024 " + Words(3) + "</p>");
        Line(1, "</footer>");
        Line(0, "</body>");
        Line(0, "</html>");
    }

    std::mt19937 rng;
    std::string indentUnit;
    std::string lineEnd;
    std::string out;
};

struct Line {
    std::size_t start, length;
};

std::vector<Line> Lines(const std::string& page) {
    std::vector<Line> lines;
    for (std::size_t start = 0; start < page.size();) {
        std::size_t end = page.find('\n', start);
        end = end == std::string::npos ? page.size() : end + 1;
        lines.push_back({start, end - start});
        start = end;
    }
    return lines;
}

// One edit of the line `text` (its line end included); returns the lines
// that replace it.
std::string EditOne(SiteWriter& writer, std::string_view text, int kind) {
    std::string line(text);
    auto replaceNumber = [&](std::string_view after) {
        std::size_t at = line.find(after);
        if (at == std::string::npos) return false;
        at += after.size();
        std::size_t end = at;
        while (end < line.size() && (std::isdigit(static_cast<unsigned char>(line[end])) ||
                                     line[end] == '.' || line[end] == '-'))
            ++end;
        line.replace(at, end - at, writer.Price());
        return true;
    };
    switch (kind % 6) {
        case 0:  // a price or a number in the line changes
            if (replaceNumber("&euro; ") || replaceNumber("\"price\":") || replaceNumber("px"))
                return line;
            [[fallthrough]];
        case 1: {  // a word of the line's text changes
            const std::size_t text = line.find_first_not_of(" \t");
            std::size_t at = line.find(' ', std::max(text, line.size() / 2));
            if (at != std::string::npos) {
                line.insert(at, " " + std::string(writer.Word()));
                return line;
            }
            return line + "<p>" + writer.Words(6) + "</p>" + writer.lineEnd;
        }
        case 2:  // a new card before the line
            writer.out.clear();
            writer.Card(4);
            return writer.out + line;
        case 3:  // the line goes
            return {};
        case 4: {  // an attribute changes: markup only
            std::size_t at = line.find("\"/");
            if (at != std::string::npos) {
                line.insert(at + 2, "v2/");
                return line;
            }
            return line + writer.indentUnit + "<hr>" + writer.lineEnd;
        }
        default:  // a new text line
            return "<p>" + writer.Prose(40, 300) + "</p>" + writer.lineEnd + line;
    }
}

}  // namespace

std::string GenerateSitePage(std::size_t bytes, std::uint32_t seed) {
    SiteWriter writer(seed);
    writer.Head();
    writer.Line(0, "<body class=\"home\">");
    writer.Navigation();
    writer.Listing(bytes);
    writer.Footer();
    return std::move(writer.out);
}

std::string EditSitePage(const std::string& page, int edits, std::uint32_t seed) {
    SiteWriter writer(seed);
    const std::vector<Line> lines = Lines(page);
    std::vector<std::size_t> positions;
    for (int e = 0; e < edits; ++e) {
        const std::size_t from = lines.size() * std::size_t(e) / std::size_t(edits);
        const std::size_t to = lines.size() * std::size_t(e + 1) / std::size_t(edits);
        positions.push_back(from +
                            std::size_t(writer.Below(int(std::max<std::size_t>(1, to - from)))));
    }
    std::string edited;
    edited.reserve(page.size() + page.size() / 16);
    std::size_t copied = 0;
    int kind = writer.Below(6);
    for (std::size_t at : positions) {
        const Line& line = lines[at];
        if (line.start < copied) continue;
        edited.append(page, copied, line.start - copied);
        edited += EditOne(writer, std::string_view(page).substr(line.start, line.length), kind++);
        copied = line.start + line.length;
    }
    edited.append(page, copied, std::string::npos);
    return edited;
}

}  // namespace tallyhawk::bench
