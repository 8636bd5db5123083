// CChangeDetector checked against the plain reference implementation: first
// on hand-written pairs whose expected bytes are written out here (these pin
// the reference down too), then on thousands of seeded random pairs.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "diff/ChangeDetector.h"
#include "diff/ReferenceDetector.h"

namespace tallyhawk {
namespace {

const std::string kStart = "<b style=\"background:#FFFF64\">";
const std::string kEnd = "</b>";

std::string Hl(std::string_view text) {
    return kStart + std::string(text) + kEnd;
}

// The highlighted page without the removed text shown in it, which the
// reference leaves out: each "<del ...>" up to its "</del>". The removed
// text is escaped, so the first "<" after the start tag must be the end
// tag's; when it is not, a note is left that no reference output has.
std::string WithoutRemovals(const std::string& page) {
    std::string out;
    std::size_t copied = 0;
    for (std::size_t at = page.find("<del style="); at != std::string::npos;
         at = page.find("<del style=", copied)) {
        out.append(page, copied, at - copied);
        const std::size_t text = page.find('>', at) + 1;
        if (page.compare(page.find('<', text), 6, "</del>") != 0) out += "[markup in removed text]";
        copied = page.find("</del>", text) + 6;
    }
    return out.append(page, copied);
}

ReferenceResult RunDetectorTuned(std::string_view previous, std::string_view current,
                                 int ignoreFirst, int ignoreLast, bool windowTablesAtOnce,
                                 std::uint32_t outputs = CChangeDetector::kAllOutputs) {
    CChangeDetector detector;
    // The block search switches to window tables only on large ranges; small
    // pages reach that path only when the switch is forced.
    if (windowTablesAtOnce) detector.Matcher().SetTableThreshold(0, 0);
    detector.SetOutputs(outputs);
    detector.SetIgnoreFirst(ignoreFirst);
    detector.SetIgnoreLast(ignoreLast);
    ReferenceResult result;
    result.flags = detector.Compare(previous, current);
    result.addedText = detector.AddedText();
    result.deletedText = detector.DeletedText();
    result.addedHtml = detector.AddedHtml();
    result.deletedHtml = detector.DeletedHtml();
    result.highlightedHtml = WithoutRemovals(detector.HighlightedHtml());
    return result;
}

std::string Differences(const ReferenceResult& expected, const ReferenceResult& actual);

struct StringSink : COutputSink {
    std::string bytes;
    void Write(const char* data, std::size_t size) override {
        EXPECT_GT(size, 0u);  // no empty pieces
        bytes.append(data, size);
    }
};

// The detector's result, which must not depend on when the search switches
// to window tables, nor on which outputs are composed: with one output or
// none, the flags come from the cheaper tests that stop scanning early, and
// must still be the same.
ReferenceResult RunDetector(std::string_view previous, std::string_view current,
                            int ignoreFirst = 0, int ignoreLast = 0) {
    ReferenceResult plain = RunDetectorTuned(previous, current, ignoreFirst, ignoreLast, false);
    ReferenceResult tabled = RunDetectorTuned(previous, current, ignoreFirst, ignoreLast, true);
    if (plain.flags != tabled.flags || plain.addedHtml != tabled.addedHtml ||
        plain.deletedHtml != tabled.deletedHtml || plain.highlightedHtml != tabled.highlightedHtml)
        plain.addedHtml += "\n[differs when window tables are used at once]";
    const ReferenceResult flagsOnly =
        RunDetectorTuned(previous, current, ignoreFirst, ignoreLast, false, 0);
    if (flagsOnly.flags != plain.flags)
        plain.addedHtml +=
            "\n[flags " + std::to_string(flagsOnly.flags) + " when no output is composed]";
    std::string ReferenceResult::*const fields[] = {
        &ReferenceResult::addedText, &ReferenceResult::addedHtml, &ReferenceResult::deletedText,
        &ReferenceResult::deletedHtml, &ReferenceResult::highlightedHtml};
    for (std::uint32_t mode = 0; mode < 5; ++mode) {
        const ReferenceResult one =
            RunDetectorTuned(previous, current, ignoreFirst, ignoreLast, false,
                             CChangeDetector::OutputBit(static_cast<OutputMode>(mode)));
        bool othersEmpty = true;
        for (std::uint32_t other = 0; other < 5; ++other)
            othersEmpty = othersEmpty && (other == mode || (one.*fields[other]).empty());
        if (one.flags != plain.flags || one.*fields[mode] != plain.*fields[mode] || !othersEmpty)
            plain.addedHtml +=
                "\n[differs when only output " + std::to_string(mode) + " is composed]";
        // Written to a sink piece by piece instead.
        CChangeDetector detector;
        detector.SetIgnoreFirst(ignoreFirst);
        detector.SetIgnoreLast(ignoreLast);
        StringSink sink;
        const std::uint32_t flags =
            detector.CompareInto(previous, current, static_cast<OutputMode>(mode), sink);
        if (mode == 4) sink.bytes = WithoutRemovals(sink.bytes);
        if (flags != plain.flags || sink.bytes != plain.*fields[mode] ||
            !detector.Output(static_cast<OutputMode>(mode)).empty())
            plain.addedHtml +=
                "\n[differs when output " + std::to_string(mode) + " goes to a sink]";
    }
    return plain;
}

std::string Escape(std::string_view bytes) {
    std::string out = "\"";
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// The names of the outputs that differ, empty when all agree.
std::string Differences(const ReferenceResult& expected, const ReferenceResult& actual) {
    std::ostringstream out;
    auto field = [&](const char* name, const std::string& want, const std::string& got) {
        if (want != got)
            out << "  " << name << ": expected " << Escape(want) << "\n    got " << Escape(got)
                << "\n";
    };
    if (expected.flags != actual.flags) {
        out << "  flags: expected " << expected.flags << ", got " << actual.flags << "\n";
    }
    field("addedText", expected.addedText, actual.addedText);
    field("deletedText", expected.deletedText, actual.deletedText);
    field("addedHtml", expected.addedHtml, actual.addedHtml);
    field("deletedHtml", expected.deletedHtml, actual.deletedHtml);
    field("highlightedHtml", expected.highlightedHtml, actual.highlightedHtml);
    return out.str();
}

// A pair checked against literal bytes, by the reference and by the detector.
struct Case {
    std::string previous;
    std::string current;
    int ignoreFirst = 0;
    int ignoreLast = 0;
};

void ExpectBoth(const Case& c, const ReferenceResult& expected) {
    const std::string where = "previous " + Escape(c.previous) + ", current " + Escape(c.current) +
                              ", ignoreFirst " + std::to_string(c.ignoreFirst) + ", ignoreLast " +
                              std::to_string(c.ignoreLast) + "\n";
    EXPECT_EQ(
        Differences(expected, ReferenceCompare(c.previous, c.current, c.ignoreFirst, c.ignoreLast)),
        "")
        << "reference, " << where;
    EXPECT_EQ(
        Differences(expected, RunDetector(c.previous, c.current, c.ignoreFirst, c.ignoreLast)), "")
        << "detector, " << where;
}

// With an empty previous version everything in the new one is added, so the
// highlighted page shows exactly the text ranges of the page.
std::string HighlightWholePage(const std::string& page) {
    EXPECT_EQ(RunDetector("", page).highlightedHtml, ReferenceCompare("", page).highlightedHtml)
        << "page " << Escape(page);
    return ReferenceCompare("", page).highlightedHtml;
}

TEST(TextRangeTest, MarkupCommentsAndTitleAreNotText) {
    EXPECT_EQ(HighlightWholePage("<html><title>Old</title><body>Hi</body></html>"),
              "<html><title>Old</title><body>" + Hl("Hi") + "</body></html>");
    // Text before an opening title is dropped along with the title's own text.
    EXPECT_EQ(HighlightWholePage("x<title>T</title>y"), "x<title>T</title>" + Hl("y"));
    // The title's exclusion ends at the next tag of any kind.
    EXPECT_EQ(HighlightWholePage("<title>T<b>U</b></title>"),
              "<title>T<b>" + Hl("U") + "</b></title>");
    EXPECT_EQ(HighlightWholePage("a <!-- c --> b"), Hl("a ") + "<!-- c -->" + Hl(" b"));
    EXPECT_EQ(HighlightWholePage("a<title>T"), "a<title>T");
}

TEST(TextRangeTest, TagAndCommentBoundaries) {
    // An unterminated comment is no tag: its "<" is ordinary text.
    EXPECT_EQ(HighlightWholePage("a<!-- open"), Hl("a<!-- open"));
    // The opening dashes count, so "<!-->" is a whole comment.
    EXPECT_EQ(HighlightWholePage("<!-->x"), "<!-->" + Hl("x"));
    EXPECT_EQ(HighlightWholePage("<!-- a > b -->c"), "<!-- a > b -->" + Hl("c"));
    // Without "-->" the comment ends at its first ">".
    EXPECT_EQ(HighlightWholePage("<!-- a > b"), "<!-- a >" + Hl(" b"));
    EXPECT_EQ(HighlightWholePage("<>x</>y"), "<>" + Hl("x") + "</>" + Hl("y"));
    EXPECT_EQ(HighlightWholePage("a < b"), Hl("a < b"));
}

TEST(TextRangeTest, TagNamesAreTrimmedLowerCasedAndEndAtSpaceOrBracket) {
    EXPECT_EQ(HighlightWholePage("<TITLE x>T</TITLE >y"), "<TITLE x>T</TITLE >" + Hl("y"));
    // A newline does not end a name: "title\nx" is not the title.
    EXPECT_EQ(HighlightWholePage("<title\nx>T</title>y"),
              "<title\nx>" + Hl("T") + "</title>" + Hl("y"));
    // A space right after "<" leaves the name empty, so the next space ends it.
    EXPECT_EQ(HighlightWholePage("< title x>T</title>y"), "< title x>T</title>" + Hl("y"));
    // Counters go below zero: after two closings an opening title counts 0,
    // and the closing one after it (-1) is what starts the exclusion.
    EXPECT_EQ(HighlightWholePage("</title></title><title>T<p>y"),
              "</title></title><title>" + Hl("T") + "<p>" + Hl("y"));
    EXPECT_EQ(HighlightWholePage("</title></title><title>T</title>y"),
              "</title></title><title>T</title>y");
}

TEST(ChangeDetectorEdgeTest, IdenticalAndEmptyVersions) {
    const std::string page = "<p>Hi</p>\n<p>There</p>\n";
    ExpectBoth({page, page}, {1, "", "", "", "", page});
    ExpectBoth({page, ""}, {4 | 16, "", "Hi\r\nThere\r\n", "", page, ""});
    // The first check of a page: flags say no change, the outputs show it all.
    ExpectBoth({"", page}, {1, "Hi\r\nThere\r\n", "", page, "",
                            "<p>" + Hl("Hi") + "</p>\n<p>" + Hl("There") + "</p>\n"});
    ExpectBoth({"", ""}, {1, "", "", "", "", ""});
}

TEST(ChangeDetectorEdgeTest, FirstBlockReachingTheEndStopsTheSearch) {
    ExpectBoth({"x\ny\ny\ny\n", "y\ny\ny\nx\n"},
               {30, "y\r\ny\r\ny\r\n", "y\r\ny\r\ny\r\n", "y\ny\ny\n", "y\ny\ny\n",
                Hl("y\ny\ny\n") + "x\n"});
}

TEST(ChangeDetectorEdgeTest, ChangedAndAppendedLines) {
    ExpectBoth({"a\nb\nc\nd\n", "a\nX\nc\nd\nE\n"}, {30, "X\r\nE\r\n", "b\r\n", "X\nE\n", "b\n",
                                                     "a\n" + Hl("X\n") + "c\nd\n" + Hl("E\n")});
}

TEST(ChangeDetectorEdgeTest, ChangesInsideMarkupAreNotText) {
    ExpectBoth(
        {"<p>Hi</p>\n<img src=a.png>\n", "<p>Hi</p>\n<img src=b.png>\n"},
        {8 | 16, "", "", "<img src=b.png>\n", "<img src=a.png>\n", "<p>Hi</p>\n<img src=b.png>\n"});
    ExpectBoth({"<title>A</title>\n<p>x</p>\n", "<title>B</title>\n<p>x</p>\n"},
               {8 | 16, "", "", "<title>B</title>\n", "<title>A</title>\n",
                "<title>B</title>\n<p>x</p>\n"});
}

TEST(ChangeDetectorEdgeTest, IgnoredChanges) {
    // One change, ignored as the first: text, lines and highlight all drop it.
    ExpectBoth({"x\na\n", "x\nb\n", 1, 0}, {1, "", "", "", "", "x\nb\n"});
    // The zero-length range where the changed line meets "Hello" is the first
    // change, so ignoring one change leaves the texts as they were.
    const Case hello{"Hello\n<b>x</b>\n", "Hello\n<b>y</b>\n"};
    const std::string highlighted = "Hello\n<b>" + Hl("y") + "</b>\n";
    ExpectBoth(hello, {30, "y\r\n", "x\r\n", "<b>y</b>\n", "<b>x</b>\n", highlighted});
    ExpectBoth({hello.previous, hello.current, 1, 0},
               {2 | 4, "y\r\n", "x\r\n", "", "", highlighted});
    // The last range and the last line left out; the range is copied plain.
    ExpectBoth(
        {"<h1>T</h1>\n", "<h1>T</h1>\n<p>New</p>\nMore\n", 0, 1},
        {2 | 8, "New", "", "<p>New</p>\n", "", "<h1>T</h1>\n<p>" + Hl("New") + "</p>\nMore\n"});
}

TEST(ChangeRenderingTest, LineBreaksInChangedText) {
    ExpectBoth({"", "Hello\n\r\n\n\n\nWorld"},
               {1, "Hello\r\n\r\n\r\nWorld", "", "Hello\n\r\n\n\n\nWorld", "",
                Hl("Hello\n\r\n\n\n\nWorld")});
    ExpectBoth({"", "\n\nHi"}, {1, "Hi", "", "\n\nHi", "", Hl("\n\nHi")});
    ExpectBoth({"", "Price: 10<b>EUR</b>"}, {1, "Price: 10EUR", "", "Price: 10<b>EUR</b>", "",
                                             Hl("Price: 10") + "<b>" + Hl("EUR") + "</b>"});
}

TEST(ChangeRenderingTest, AddedLinesKeepTheirBytes) {
    ExpectBoth({"<h1>T</h1>\n", "<h1>T</h1>\n<p>New</p>\n<p>More</p>\n"},
               {2 | 8, "New\r\nMore\r\n", "", "<p>New</p>\n<p>More</p>\n", "",
                "<h1>T</h1>\n<p>" + Hl("New") + "</p>\n<p>" + Hl("More") + "</p>\n"});
}

TEST(ChangeRenderingTest, OnlyPrintableRangesAreHighlighted) {
    ExpectBoth({"<i>x</i>\n", "<i>x</i>\n<i> </i>\n<i>\t\n</i>\n"},
               {2 | 8, " \r\n\t\r\n\r\n", "", "<i> </i>\n<i>\t\n</i>\n", "",
                "<i>x</i>\n<i>" + Hl(" ") + "</i>\n<i>\t\n</i>\n"});
    // Bytes from 0x80 up count as printable, so UTF-8 text is highlighted.
    ExpectBoth({"<p>a</p>\n", "<p>\xC3\xA9</p>\n"},
               {30, "\xC3\xA9\r\n", "a\r\n", "<p>\xC3\xA9</p>\n", "<p>a</p>\n",
                "<p>" + Hl("\xC3\xA9") + "</p>\n"});
}

TEST(ChangeRenderingTest, SingleByteAfterTheLastRangeIsCopied) {
    ExpectBoth({"a\nZ", "b\nZ"}, {30, "b\r\n", "a\r\n", "b\n", "a\n", Hl("b\n") + "Z"});
}

TEST(ChangeRenderingTest, ColorsFormatTheStartTag) {
    CChangeDetector detector;
    EXPECT_EQ(detector.AddedStartTag(), kStart);
    EXPECT_EQ(detector.DeletedStartTag(), "<b style=\"background:#FF6464\">");
    detector.SetColors(0x00123456, 0x00ABCDEF);
    EXPECT_EQ(detector.AddedStartTag(), "<b style=\"background:#563412\">");
    EXPECT_EQ(detector.DeletedStartTag(), "<b style=\"background:#EFCDAB\">");
    detector.Compare("a\n", "b\n");
    // The removed text, before the added, in the second colour.
    EXPECT_EQ(detector.HighlightedHtml(),
              "<del style=\"background:#EFCDAB;text-decoration:line-through\">a\n</del>"
              "<b style=\"background:#563412\">b\n</b>");
    EXPECT_EQ(WithoutRemovals(detector.HighlightedHtml()),
              ReferenceCompare("a\n", "b\n", 0, 0, 0x00123456).highlightedHtml);
}

// ---- Random pairs -------------------------------------------------------------

// Pieces of lines: words, tags, comments (one left open, one closing later),
// title elements whole and split, stray brackets, tabs, CRs, UTF-8.
const std::vector<std::string> kPieces = {
    "Hello world",
    "The quick brown fox.",
    "x",
    "Price: 10",
    "<p>",
    "</p>",
    "</div>",
    "<div class=a>",
    "<b>x</b>",
    "<B>y</B>",
    "<!-- c -->",
    "<!-- open",
    "-->",
    "<!-->",
    "<title>T</title>",
    "<title>",
    "</title>",
    "<TITLE >",
    "<",
    ">",
    " ",
    "\t",
    "a\tb",
    "\r",
    "\xC3\xA9t\xC3\xA9",
    "\xE2\x82\xAC",
    "<>",
    "</>",
    "<img src=1>",
    "<img src=2>",
    "-- >",
};

// How big random pages get: lines are drawn from a pool of 2 to maxPool
// distinct lines, pages have up to maxLines lines, and the new version is
// made by up to maxEdits edits.
struct Shape {
    int maxPool;
    int maxLines;
    int maxEdits;
    bool site = false;  // lines like a site's (SiteLine), and one-byte edits in long lines
};
constexpr Shape kSmallPages{11, 40, 5};
// Long pages from very few distinct lines: many candidates and long runs,
// where a search that skips candidates has the most room to go wrong.
constexpr Shape kRepetitivePages{3, 300, 12};
// Pages shaped like a site's: indented markup lines that repeat, long lines
// of text (hashed in several lanes, scanned in blocks) that an edit may
// change by a single byte anywhere, and long stretches between edits.
constexpr Shape kSitePages{60, 500, 8, true};

const std::vector<std::string> kMarkup = {
    "<div class=\"card\">",
    "</div>",
    "<p>",
    "</p>",
    "<li><a href=\"/item/7\">Item</a></li>",
    "</li>",
    "<td>12</td>",
    "</tr>",
    "<h3 class=\"title\"><a href=\"/p/1\">A</a></h3>",
    "<span class=\"price\">&euro; 9.99</span>",
    "<!-- card -->",
    "<title>Shop</title>",
};

struct PairMaker {
    std::mt19937 rng;
    Shape shape;

    PairMaker(std::uint32_t seed, Shape pageShape) : rng(seed), shape(pageShape) {}

    int Below(int n) { return static_cast<int>(rng() % static_cast<std::uint32_t>(n)); }

    // An indented markup line, or (one in five) a long line of text with
    // pieces of markup, brackets and UTF-8 in it.
    std::string SiteLine() {
        std::string line(static_cast<std::size_t>(Below(9)), Below(4) == 0 ? '\t' : ' ');
        if (Below(5) != 0)
            return line + kMarkup[static_cast<std::size_t>(Below(int(kMarkup.size())))];
        const int length = 40 + Below(1500);
        while (static_cast<int>(line.size()) < length) {
            line += Below(4) == 0
                        ? kPieces[static_cast<std::size_t>(Below(static_cast<int>(kPieces.size())))]
                        : std::string(Below(2) ? "word " : "text, ");
        }
        return line;
    }

    std::string Line() {
        if (shape.site) return SiteLine();
        if (Below(6) == 0) return "";  // a blank line
        std::string line;
        const int pieces = 1 + Below(3);
        for (int p = 0; p < pieces; ++p)
            line += kPieces[static_cast<std::size_t>(Below(static_cast<int>(kPieces.size())))];
        return line;
    }

    // A small pool of lines, so that pages repeat lines as real ones do.
    std::vector<std::string> Pool() {
        std::vector<std::string> pool;
        const int size = 2 + Below(shape.maxPool - 1);
        for (int i = 0; i < size; ++i) pool.push_back(Line());
        return pool;
    }

    std::vector<std::string> Lines(const std::vector<std::string>& pool) {
        std::vector<std::string> lines;
        const int count = Below(shape.maxLines + 1);
        for (int i = 0; i < count; ++i)
            lines.push_back(pool[static_cast<std::size_t>(Below(static_cast<int>(pool.size())))]);
        return lines;
    }

    std::vector<std::string> Edit(std::vector<std::string> lines,
                                  const std::vector<std::string>& pool) {
        const int edits = Below(shape.maxEdits + 1);
        for (int e = 0; e < edits; ++e) {
            const int at = Below(static_cast<int>(lines.size()) + 1);
            const auto pos = lines.begin() + at;
            const bool inside = at < static_cast<int>(lines.size());
            if (shape.site && inside && Below(3) == 0) {
                // One byte of the line changed, anywhere in it.
                std::string& line = *pos;
                if (!line.empty())
                    line[static_cast<std::size_t>(Below(static_cast<int>(line.size())))] ^= 1;
                continue;
            }
            switch (Below(4)) {
                case 0:
                    lines.insert(
                        pos,
                        Below(2)
                            ? Line()
                            : pool[static_cast<std::size_t>(Below(static_cast<int>(pool.size())))]);
                    break;
                case 1:
                    if (inside) lines.erase(pos);
                    break;
                case 2:
                    if (inside) *pos = Line();
                    break;
                default:  // move a run of lines elsewhere
                    if (inside) {
                        const int length = 1 + Below(static_cast<int>(lines.size()) - at);
                        std::vector<std::string> run(pos, pos + length);
                        lines.erase(pos, pos + length);
                        const int to = Below(static_cast<int>(lines.size()) + 1);
                        lines.insert(lines.begin() + to, run.begin(), run.end());
                    }
                    break;
            }
        }
        return lines;
    }

    std::string Join(const std::vector<std::string>& lines) {
        std::string page;
        for (const std::string& line : lines) page += line + "\n";
        if (!page.empty() && Below(3) == 0) page.pop_back();
        return page;
    }
};

Case MakeCase(std::uint32_t seed, Shape shape) {
    PairMaker maker(seed, shape);
    const std::vector<std::string> pool = maker.Pool();
    const std::vector<std::string> oldLines = maker.Lines(pool);
    Case c;
    c.previous = maker.Join(oldLines);
    c.current = maker.Below(8) == 0 ? maker.Join(maker.Lines(maker.Pool()))
                                    : maker.Join(maker.Edit(oldLines, pool));
    if (maker.Below(3) == 0) {
        c.ignoreFirst = maker.Below(3);
        c.ignoreLast = maker.Below(3);
    }
    return c;
}

bool Disagree(const Case& c) {
    return !Differences(ReferenceCompare(c.previous, c.current, c.ignoreFirst, c.ignoreLast),
                        RunDetector(c.previous, c.current, c.ignoreFirst, c.ignoreLast))
                .empty();
}

// Drops lines from either page while the two implementations still disagree,
// to report a small case.
Case Shrink(Case c) {
    auto shrinkPage = [&](std::string Case::*page) {
        bool progress = false;
        std::vector<std::string_view> lines = ReferenceSplitLines(c.*page);
        for (std::size_t drop = 0; drop < lines.size();) {
            std::string smaller;
            for (std::size_t n = 0; n < lines.size(); ++n) {
                if (n != drop) smaller += lines[n];
            }
            Case candidate = c;
            candidate.*page = smaller;
            if (Disagree(candidate)) {
                c = candidate;
                lines = ReferenceSplitLines(c.*page);
                progress = true;
            } else {
                ++drop;
            }
        }
        return progress;
    };
    bool progress = true;
    while (progress) {
        progress = shrinkPage(&Case::previous);
        progress = shrinkPage(&Case::current) || progress;
    }
    for (int* count : {&c.ignoreFirst, &c.ignoreLast}) {
        while (*count > 0) {
            --*count;
            if (!Disagree(c)) {
                ++*count;
                break;
            }
        }
    }
    return c;
}

// Compares the detector with the reference on `count` pairs of the shape,
// reporting at most five mismatches, each with its seed and a shrunk pair.
void CheckRandomPairs(Shape shape, std::uint32_t count) {
    int failures = 0;
    for (std::uint32_t seed = 1; seed <= count && failures < 5; ++seed) {
        const Case c = MakeCase(seed, shape);
        const std::string differences =
            Differences(ReferenceCompare(c.previous, c.current, c.ignoreFirst, c.ignoreLast),
                        RunDetector(c.previous, c.current, c.ignoreFirst, c.ignoreLast));
        if (differences.empty()) continue;
        ++failures;
        const Case small = Shrink(c);
        ADD_FAILURE() << "seed " << seed << ": previous " << Escape(c.previous) << "\ncurrent "
                      << Escape(c.current) << "\nignoreFirst " << c.ignoreFirst << ", ignoreLast "
                      << c.ignoreLast << "\n"
                      << differences << "smallest pair found: previous " << Escape(small.previous)
                      << ", current " << Escape(small.current) << ", ignoreFirst "
                      << small.ignoreFirst << ", ignoreLast " << small.ignoreLast << "\n"
                      << Differences(ReferenceCompare(small.previous, small.current,
                                                      small.ignoreFirst, small.ignoreLast),
                                     RunDetector(small.previous, small.current, small.ignoreFirst,
                                                 small.ignoreLast));
    }
}

TEST(RandomizedCompareTest, DetectorMatchesReferenceOnSmallPages) {
    CheckRandomPairs(kSmallPages, 20000);
}

TEST(RandomizedCompareTest, DetectorMatchesReferenceOnLongRepetitivePages) {
    CheckRandomPairs(kRepetitivePages, 1000);
}

TEST(RandomizedCompareTest, DetectorMatchesReferenceOnSiteLikePages) {
    CheckRandomPairs(kSitePages, 300);
}

}  // namespace
}  // namespace tallyhawk
