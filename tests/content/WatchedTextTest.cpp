#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "content/Charset.h"
#include "content/WatchedText.h"
#include "content/WatchedTextDetail.h"

namespace tallyhawk {
namespace {

constexpr char kDeclaration[] = "<meta charset=\"utf-8\">\n";

CWatchFilter TextFilter() {
    CWatchFilter filter;
    filter.compare = CompareWhat::Text;
    return filter;
}

// The watched lines of a Text document, without the declaration line and
// the "<br>" ends, unescaped.
std::vector<std::string> WatchedLines(std::string_view page, const CWatchFilter& filter,
                                      std::string_view headerCharset = {}) {
    const auto compiled = CCompiledFilter::Compile(filter);
    const std::string document = ExtractWatched(page, headerCharset, *compiled).document;
    EXPECT_EQ(document.rfind(kDeclaration, 0), 0u) << document;
    std::vector<std::string> lines;
    std::size_t at = sizeof kDeclaration - 1;
    while (at < document.size()) {
        const std::size_t end = document.find('\n', at);
        std::string line = document.substr(at, end - at);
        EXPECT_TRUE(line.size() >= 4 && line.ends_with("<br>")) << line;
        line.resize(line.size() - 4);
        lines.push_back(UnescapeWatchedText(line));
        at = end + 1;
    }
    return lines;
}

using Lines = std::vector<std::string>;

TEST(WatchedTextTest, VisibleTextOfARealisticPage) {
    const char* page = R"(<!DOCTYPE html>
<html><head><title>Shop</title><style>body { color: red }</style>
<script>var s = "<p>not text</p>";</script></head>
<body>
  <nav class="top"><ul><li><a href="/">Home</a></li><li>Deals &amp; offers</li></ul></nav>
  <!-- a comment -->
  <main>
    <h1>  Price   list </h1>
    <p>Tea&nbsp;costs <b>3&euro;</b>,
       coffee <i>4 &lt;5&gt;</i>.<br>New line</p>
    <div hidden>secret one</div><div style="color:red; DISPLAY : none">secret two</div>
    <input type="hidden" value="token"><noscript>enable js</noscript><template><p>later</p></template>
    <table><tr><th>Item</th><th>Price</th></tr><tr><td>Tea</td><td>3</td></tr></table>
    <pre>  line one
    line two</pre>
    <svg><text>drawing</text></svg><p>   </p>
  </main>
  <footer>&copy; 2026</footer>
</body></html>)";
    EXPECT_EQ(WatchedLines(page, TextFilter()),
              (Lines{"Home", "Deals & offers", "Price list", "Tea costs 3\u20AC, coffee 4 <5>.",
                     "New line", "Item | Price", "Tea | 3", "  line one", "    line two",
                     "\u00A9 2026"}));
    // The escapes of the document are the two the text outputs undo.
    const auto compiled = CCompiledFilter::Compile(TextFilter());
    EXPECT_NE(ExtractWatched("<p>a &lt;b&gt; &amp; c</p>", "", *compiled).document.find("a &lt;b> &amp; c<br>\n"),
              std::string::npos);
}

TEST(WatchedTextTest, CharsetRules) {
    // windows-1252 bytes, no declaration: not UTF-8, so windows-1252.
    EXPECT_EQ(WatchedLines("<p>caf\xE9 \x80 \x93</p>", TextFilter()), (Lines{"caf\u00E9 \u20AC \u201C"}));
    // The <meta> names iso-8859-1 (read as windows-1252)...
    const std::string latin = "<meta charset=\"iso-8859-1\"><p>\xC3\xA9</p>";
    EXPECT_EQ(WatchedLines(latin, TextFilter()), (Lines{"\u00C3\u00A9"}));
    // ...but the header's charset wins over it, and an unknown name in the
    // header falls through to the <meta>.
    EXPECT_EQ(WatchedLines(latin, TextFilter(), "utf-8"), (Lines{"\u00E9"}));
    EXPECT_EQ(WatchedLines(latin, TextFilter(), "no-such-set"), (Lines{"\u00C3\u00A9"}));
    const std::string httpEquiv =
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\"><p>\xC4\xE0</p>";
    EXPECT_EQ(WatchedLines(httpEquiv, TextFilter()), (Lines{"\u0414\u0430"}));
    // A UTF-16 byte-order mark wins over everything.
    const std::string utf16le("\xFF\xFE<\0p\0>\0\xE9\0<\0/\0p\0>\0", 18);
    EXPECT_EQ(WatchedLines(utf16le, TextFilter(), "iso-8859-1"), (Lines{"\u00E9"}));
    const std::string utf16be("\xFE\xFF\0<\0p\0>\x20\xAC\0<\0/\0p\0>", 18);
    EXPECT_EQ(WatchedLines(utf16be, TextFilter()), (Lines{"\u20AC"}));
}

// A byte that is not valid in the declared set must not cost the rest of
// the page (libxml2 stops at the first one when left to decode).
TEST(WatchedTextTest, BrokenBytesKeepTheRestOfThePage) {
    std::string page = "<meta charset=utf-8><p>before \xFF\xC3 after</p>";
    page.push_back('\0');
    page += "<p>and \xE2\x82 the rest</p>";
    for (int i = 0; i < 500; ++i) page += "<p>more " + std::to_string(i) + "</p>";
    const Lines lines = WatchedLines(page, TextFilter());
    ASSERT_EQ(lines.size(), 503u);
    EXPECT_EQ(lines[0], "before \uFFFD\uFFFD after");
    EXPECT_EQ(lines[1], "\uFFFD");
    EXPECT_EQ(lines[2].substr(0, 4), "and ");
    EXPECT_EQ(lines.back(), "more 499");
    // A set iconv reads, with bytes it cannot convert in it.
    EXPECT_EQ(DecodeToUtf8("a\x82\xA0z", "shift_jis").substr(0, 1), "a");
    EXPECT_EQ(DecodeToUtf8("a\x82\xA0z", "shift_jis").back(), 'z');
}

TEST(WatchedTextTest, RegionIgnoredRegionsAndIgnoredText) {
    const char* page = R"(<html><body>
      <div id="ad">Buy now</div>
      <div class="product"><h2>Kettle</h2><p>Price: 30</p><p class="stock">12 people are viewing</p>
        <div class="product"><p>Nested once</p></div></div>
      <div class="product"><h2>Mug</h2><span class="ad">Sponsored</span></div>
      <p>Outside</p></body></html>)";
    CWatchFilter filter = TextFilter();
    filter.region = ".product";
    filter.ignoreRegions = {"//span[@class='ad']", ""};
    filter.ignoreText = {R"(\d+ people are viewing)", "Price: "};
    EXPECT_EQ(WatchedLines(page, filter), (Lines{"Kettle", "30", "Nested once", "Mug"}));

    const auto compiled = CCompiledFilter::Compile(filter);
    const CWatchPreview preview = PreviewWatched(page, "", *compiled);
    EXPECT_TRUE(preview.regionMatched);
    EXPECT_EQ(preview.watchedText, "Kettle\n30\nNested once\nMug\n");
    EXPECT_EQ(preview.outsideRegion, "Buy now\nOutside\n");
    EXPECT_EQ(preview.ignoredRegions, (Lines{"Sponsored\n"}));
    EXPECT_EQ(preview.ignoredText, (Lines{"12 people are viewing", "Price: "}));

    // The same region in source form: markup, one block a line, the
    // ignored parts gone.
    filter.compare = CompareWhat::Source;
    filter.region = "//div[@class='product'][h2='Mug']";
    const auto source = CCompiledFilter::Compile(filter);
    EXPECT_EQ(ExtractWatched(page, "", *source).document,
              std::string(kDeclaration) + "<div class=\"product\">\n<h2>Mug</h2></div>\n");

    filter.region = "//article";
    const auto none = CCompiledFilter::Compile(filter);
    const CWatchedVersion missing = ExtractWatched(page, "", *none);
    EXPECT_FALSE(missing.regionMatched);
    EXPECT_EQ(missing.document, kDeclaration);
}

// What changes between two downloads without the page changing: a counter
// in the text and a token in an attribute. Ignored, both versions watch
// the same document, in either form.
TEST(WatchedTextTest, NoiseIgnoredGivesEqualDocuments) {
    auto page = [](int viewers, const char* token) {
        return std::string("<form><input type=hidden name=csrf value=\"") + token +
               "\"><p>Concert tickets</p><p>" + std::to_string(viewers) +
               " people are viewing</p></form>";
    };
    CWatchFilter filter = TextFilter();
    filter.ignoreText = {R"(\d+ people are viewing)"};
    auto text = CCompiledFilter::Compile(filter);
    EXPECT_EQ(ExtractWatched(page(12, "a1f"), "", *text).document,
              ExtractWatched(page(31, "9c0"), "", *text).document);
    filter.compare = CompareWhat::Source;
    filter.ignoreRegions = {"//input[@name='csrf']/@value"};
    auto source = CCompiledFilter::Compile(filter);
    const std::string first = ExtractWatched(page(12, "a1f"), "", *source).document;
    EXPECT_EQ(first, ExtractWatched(page(31, "9c0"), "", *source).document);
    EXPECT_NE(first.find("<input type=\"hidden\" name=\"csrf\">"), std::string::npos) << first;
}

TEST(WatchedTextTest, SettingsThatCannotBeUsedAreRefusedByName) {
    auto message = [](CWatchFilter filter) {
        try {
            CCompiledFilter::Compile(filter);
        } catch (const CFilterError& e) {
            return e.Message();
        }
        return std::string("compiled");
    };
    CWatchFilter filter = TextFilter();
    filter.region = "//p[";
    EXPECT_EQ(message(filter).rfind("The region \"//p[\" is not a valid selector: ", 0), 0u);
    filter.region = "(count(//p))";
    EXPECT_EQ(message(filter), "The region \"(count(//p))\" gives a number, not parts of the page.");
    filter.region = "//p[nosuch()]";
    EXPECT_EQ(message(filter).rfind("The region \"//p[nosuch()]\" is not a valid selector", 0), 0u);
    filter.region.clear();
    filter.ignoreRegions = {"p!"};
    EXPECT_EQ(message(filter).rfind("The ignored region \"p!\" is not a valid selector: ", 0), 0u);
    filter.ignoreRegions.clear();
    filter.ignoreText = {"a(b"};
    EXPECT_EQ(message(filter),
              "The ignored text \"a(b\" is not a valid pattern: missing closing parenthesis at offset 3.");
}

// Selections that are not elements: attributes are watched by their
// value, namespace nodes (not tree nodes in libxml2) select nothing.
TEST(WatchedTextTest, SelectionsOtherThanElements) {
    CWatchFilter filter = TextFilter();
    filter.region = "//a/@href";
    EXPECT_EQ(WatchedLines("<p><a href=\"/x\">X</a> <a href=\"/y\">Y</a></p>", filter),
              (Lines{"/x", "/y"}));
    filter.region = "//p/namespace::*";
    const auto compiled = CCompiledFilter::Compile(filter);
    EXPECT_FALSE(ExtractWatched("<p>x</p>", "", *compiled).regionMatched);
    filter.region = "//title";  // invisible, but chosen
    EXPECT_EQ(WatchedLines("<title>Shop</title><p>x</p>", filter), (Lines{"Shop"}));
}

// Tag soup from the pieces that decide where text goes: blocks, cells,
// preformatted text, elements not shown, end tags out of place, a second
// root, doctypes, comments and processing instructions anywhere.
std::string TagSoup(std::mt19937& rng, int pieces) {
    static const char* const kPieces[] = {
        "<p>", "</p>", "<div>", "</div>", "<b>", "</b>", "<i>", "</i>", "<span>", "</span>",
        "<table>", "<tr>", "<td>", "</td>", "<th>", "</tr>", "</table>", "<pre>", "</pre>",
        "<textarea>", "</textarea>", "<br>", "<br/>", "</br>", "<img src=x>", "<hr>",
        "<ul><li>", "<li>", "</ul>", "<select><option>o", "</select>", "<head>", "</head>",
        "<title>t", "</title>", "<body>", "</body>", "<html>", "</html>", "<html hidden>",
        "<script>var a = '<p>x</p>';</script>", "<style>p{}</style>", "<noscript>n</noscript>",
        "<div hidden>", "<p style=\"DISPLAY: none\">", "<input type=hidden value=v>",
        "<input type=text value=v>", "<svg><text>s</text></svg>", "<!-- c -->", "<?pi x?>",
        "<!DOCTYPE html>", "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">", "<![CDATA[d]]>",
        "<meta charset=latin1>", "<a href=x>", "</a>", "<h1>", "</h1>", "<frameset>", "<form>",
        "<p <b>", "</span </p>", "<x:div>", "</x:div>", "</x>", "</Q>", "</q >", "<q>", "</0q>", "<a:td>", "<xml:pre>", "<div:>", "<", "&", "&amp;", "&lt;", "&nbsp;", "&#32;", "&#10;", "&#xA0;",
        "word", "two words", " ", "  ", "\n", "\r\n", "\t", "\xC2\xA0", "caf\xC3\xA9", "\xE2\x80\x83",
        "\xFF", "\0"};
    std::string page;
    for (int i = 0; i < pieces; ++i) {
        const char* piece = kPieces[rng() % std::size(kPieces)];
        page += *piece ? std::string(piece) : std::string(1, '\0');
    }
    return page;
}

TEST(WatchedTextTest, StreamAndTreeGiveTheSameText) {
    CWatchFilter plain = TextFilter();
    CWatchFilter scrubbed = TextFilter();
    scrubbed.ignoreText = {"o", R"(\d+)"};
    std::vector<std::string> pages = {
        "<!DOCTYPE html><html><head><title>T</title><style>p{}</style></head><body>"
        "<h1>Shop</h1><p>Price: <b>12</b> EUR</p><table><tr><td>a</td><td>b</td></tr></table>"
        "<pre>  one\n  two  </pre><p>x<br>y</p><div hidden>no</div></body></html>",
        "<p>a</p></html> after the end <p>more</p>",
        "<html hidden><p>a</p></html><p>b</p>",
        "<!-- first --><html><p>a</p></html><p>b</p>",
        "<td><span>a</span><img> <span>b</span></td><pre><img>\nx</pre>",
        "<p x:hidden>a<x:input type=hidden>b<a:b:div>c<xml:div>d</xml:div>e<div:>f<x:pre>g\nh",
        "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\"><body> <img> <b>x</b> <img> y</body>",
        "",
        " ",
        std::string(3000, ' ') + "<pre>" + std::string(3000, '\n') + "x</pre>",
    };
    std::mt19937 rng(20);
    for (int i = 0; i < 3000; ++i) pages.push_back(TagSoup(rng, 1 + int(rng() % 60)));
    std::string deep, unclosed, strays;
    for (int i = 0; i < 20000; ++i) deep += "<div><pre><span hidden>";
    for (int i = 0; i < 20000; ++i) unclosed += "<b><td>t\n";
    for (int i = 0; i < 2000; ++i) strays += "</div></html></body>x";
    pages.insert(pages.end(), {deep, unclosed, strays});

    for (const CWatchFilter& filter : {plain, scrubbed}) {
        const auto compiled = CCompiledFilter::Compile(filter);
        ASSERT_TRUE(detail::ReadsAsStream(*compiled));
        for (const std::string& page : pages)
            for (const char* charset : {"", "windows-1252"})
                ASSERT_EQ(ExtractWatched(page, charset, *compiled).document,
                          detail::ExtractWatchedFromTree(page, charset, *compiled).document)
                    << page;
    }
    // Stray end tags are taken out before parsing; the tree read with them
    // must give the same, for the other filters too.
    CWatchFilter region = TextFilter();
    region.ignoreRegions = {"//x"};
    CWatchFilter source = region;
    source.compare = CompareWhat::Source;
    source.region = "//div|//td";
    for (const CWatchFilter& filter : {region, source}) {
        const auto compiled = CCompiledFilter::Compile(filter);
        ASSERT_FALSE(detail::ReadsAsStream(*compiled));
        for (std::size_t i = 0; i < pages.size(); i += 3)
            ASSERT_EQ(ExtractWatched(pages[i], "", *compiled).document,
                      detail::ExtractWatchedFromTree(pages[i], "", *compiled).document)
                << pages[i];
    }
}

TEST(WatchedTextTest, HostileInputsFinishQuickly) {
    CWatchFilter text = TextFilter();
    text.ignoreRegions = {"//div[@id='x']"};
    text.ignoreText = {"(a+)+$"};
    CWatchFilter source = text;
    source.compare = CompareWhat::Source;
    const auto compiledText = CCompiledFilter::Compile(text);
    const auto compiledSource = CCompiledFilter::Compile(source);

    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<div><span>";
    deep += "bottom";
    std::string attributes = "<p";
    for (int i = 0; i < 1000000; ++i) attributes += " a" + std::to_string(i) + "=1";
    attributes += ">after attributes</p>";
    std::string unclosed;
    for (int i = 0; i < 100000; ++i) unclosed += "<b><i>t";
    const std::string backtracking = "<p>" + std::string(5000, 'a') + "!</p>";
    std::string strays = unclosed;  // each looked up through all the open elements
    for (int i = 0; i < 100000; ++i) strays += "</span>";

    for (const std::string* page : std::vector<const std::string*>{&deep, &attributes, &unclosed, &backtracking, &strays}) {
        const auto start = std::chrono::steady_clock::now();
        const std::string watched = ExtractWatched(*page, "", *compiledText).document;
        ExtractWatched(*page, "", *compiledSource);
        PreviewWatched(*page, "", *compiledText);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, std::chrono::seconds(10)) << page->substr(0, 40);
        const char* kept = page == &deep ? "bottom" : page == &attributes ? "after attributes"
                         : page == &backtracking ? "aaaa!" : "t";
        EXPECT_NE(watched.find(kept), std::string::npos) << page->substr(0, 40);
    }
}

}  // namespace
}  // namespace tallyhawk
