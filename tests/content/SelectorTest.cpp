#include <gtest/gtest.h>

#include <libxml/HTMLparser.h>
#include <libxml/xpath.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "content/Selector.h"

namespace tallyhawk {
namespace {

// Every element has an id, so that a match is named by its ids.
constexpr const char* kPage = R"(<!DOCTYPE html>
<html id="html"><body id="body">
<div id="d1" class="box  Main" title="a'b&quot;c" lang="en-US" data-x="foo-bar">
  <p id="p1">one</p>
  <p id="p2" class="note">two</p>
  <span id="s1"></span>
  <p id="p3" class="note main"></p>
</div>
<UL id="u1"><li id="l1"></li><li id="l2"></li><li id="l3"></li><li id="l4"></li><li id="l5"></li></UL>
<DIV ID="d2" Data-X="bar"><a id="a1" href="https://example.com/x.pdf">x</a></DIV>
</body></html>)";

class SelectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        document.reset(htmlReadMemory(kPage, int(std::strlen(kPage)), nullptr, "UTF-8",
                                      HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING));
        ASSERT_TRUE(document);
    }

    // The ids of the elements the selector matches, in document order.
    std::string Matches(const std::string& selector) {
        const std::string xpath = CssToXPath(selector);
        std::unique_ptr<xmlXPathContext, decltype(&xmlXPathFreeContext)> context(
            xmlXPathNewContext(document.get()), xmlXPathFreeContext);
        std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)> result(
            xmlXPathEvalExpression(reinterpret_cast<const xmlChar*>(xpath.c_str()), context.get()),
            xmlXPathFreeObject);
        if (!result || result->type != XPATH_NODESET) return "invalid XPath " + xpath;
        std::string ids;
        for (int i = 0; result->nodesetval && i < result->nodesetval->nodeNr; ++i) {
            xmlChar* id = xmlGetProp(result->nodesetval->nodeTab[i], BAD_CAST "id");
            if (!ids.empty()) ids += ' ';
            ids += id ? reinterpret_cast<const char*>(id) : "?";
            xmlFree(id);
        }
        return ids;
    }

    std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> document{nullptr, xmlFreeDoc};
};

TEST_F(SelectorTest, SelectorsMatchTheElementsABrowserWould) {
    const struct {
        const char* selector;
        const char* ids;
    } cases[] = {
        {"p", "p1 p2 p3"},
        {"DIV", "d1 d2"},
        {"ul *", "l1 l2 l3 l4 l5"},
        {"#p2", "p2"},
        {"#P2", ""},
        {".note", "p2 p3"},
        {".main", "p3"},
        {".box.Main", "d1"},
        {".no", ""},
        {"[title]", "d1"},
        {"[title=\"a'b\\\"c\"]", "d1"},
        {"[title='a\\'b\"c']", "d1"},
        {"[lang|=en]", "d1"},
        {"[lang|=e]", ""},
        {"[data-x^=foo]", "d1"},
        {"[href$='.pdf']", "a1"},
        {"[href$=x]", ""},
        {"[href$='']", ""},
        {"[data-x*='o-b']", "d1"},
        {"[DATA-X~=bar]", "d2"},
        {"[class~=\"note\"]", "p2 p3"},
        {"[class~='note main']", ""},
        {"[ lang = 'en-us' ]", ""},
        {"div p", "p1 p2 p3"},
        {"body > p", ""},
        {" div\t>\n p.note ", "p2 p3"},
        {"p + span", "s1"},
        {"p+p", "p2"},
        {"span ~ p", "p3"},
        {"p ~ p", "p2 p3"},
        {"html > body div > a", "a1"},
        {"li:first-child", "l1"},
        {"li:LAST-CHILD", "l5"},
        {"li:nth-child(odd)", "l1 l3 l5"},
        {"li:nth-child(even)", "l2 l4"},
        {"li:nth-child(2n+3)", "l3 l5"},
        {"li:nth-child( 3n - 1 )", "l2 l5"},
        {"li:nth-child(-n+2)", "l1 l2"},
        {"li:nth-child(-2n+5)", "l1 l3 l5"},
        {"li:nth-child(3)", "l3"},
        {"li:nth-child(n)", "l1 l2 l3 l4 l5"},
        {"li:nth-child(n+4)", "l4 l5"},
        {"li:nth-child(0n+0)", ""},
        {"li:nth-child(-n+0)", ""},
        {"p:not(.note)", "p1"},
        {"li:not(:first-child):not(:last-child)", "l2 l3 l4"},
        {"#u1 > :not(:nth-child(odd))", "l2 l4"},
        {"p:not(#p1, .main)", "p2"},
        {"p:not(:not(.main))", "p3"},
        {"#a1, p.note, #d1", "d1 p2 p3 a1"},
        {"#\\70 1", "p1"},
        {".n\\6Fte", "p2 p3"},
        {"#\\70\\31", "p1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Matches(c.selector), c.ids) << c.selector << " -> " << CssToXPath(c.selector);
}

TEST_F(SelectorTest, UnusableSelectorsSayWhatAndWhere) {
    const struct {
        std::string selector;
        const char* message;
    } cases[] = {
        {"", "The selector is empty."},
        {"  \n", "The selector is empty."},
        {"div >", "The selector \"div >\" ends after a combinator."},
        {"div ~ ", "The selector \"div ~\" ends after a combinator."},
        {"a,", "The selector \"a,\" ends after \",\"."},
        {"a,,b", "Nothing before \",\" at position 3."},
        {"> a", "Combinator \">\" at position 1 has nothing before it."},
        {"a > + b", "Combinator \">\" at position 3 has nothing after it."},
        {"div:hover", "Unknown pseudo-class \":hover\" at position 4."},
        {"p::before", "Pseudo-element \"::before\" at position 2 cannot be watched; select its element instead."},
        {"p:after", "Pseudo-element \":after\" at position 2 cannot be watched; select its element instead."},
        {"a[href", "The attribute test at position 2 has no closing \"]\"."},
        {"a[href='x]", "The quoted value at position 8 has no closing quote."},
        {"a[href=]", "Expected a value at position 8."},
        {"a[href='x' y]", "Expected \"]\" at position 12."},
        {"a]", "Unexpected \"]\" at position 2."},
        {"(((", "Unexpected \"(\" at position 1."},
        {"ä#", "Expected a name after \"#\" at position 2."},
        {"p:not(a", "\":not\" at position 2 has no closing \")\"."},
        {"p:not()", "\":not\" at position 2 has an empty argument."},
        {"p:not(div p)", "Combinators inside \":not\" at position 2 are not supported."},
        {"p:not(a > b)", "Combinators inside \":not\" at position 2 are not supported."},
        {"p:not", "\":not\" at position 2 needs an argument in parentheses."},
        {"li:first-child(1)", "\":first-child\" at position 3 takes no argument."},
        {"li:nth-child(2n+)", "\":nth-child\" at position 3 needs an+b, odd or even, as in \"2n+1\"."},
        {"li:nth-child(- n)", "\":nth-child\" at position 3 needs an+b, odd or even, as in \"2n+1\"."},
        {"li:nth-child(12345678901)", "The number at position 14 is too large."},
        {"a\\", "The \"\\\" at position 2 escapes nothing."},
        {"ns|a", "Unexpected \"|\" at position 3."},
        {std::string("a\0b", 3), "Unexpected character U+0000 at position 2."},
        {"p[title='\xC3']", "The selector has a byte at position 10 that is not UTF-8 text."},
    };
    for (const auto& c : cases) {
        try {
            const std::string xpath = CssToXPath(c.selector);
            ADD_FAILURE() << c.selector << " was translated to " << xpath;
        } catch (const CFilterError& error) {
            EXPECT_EQ(error.Message(), c.message) << c.selector;
        }
    }
}

// Selectors come from settings files and the clipboard: no bytes may crash
// the translator, make it slow or make it emit XPath that does not compile.
TEST_F(SelectorTest, HostileSelectorsFailCleanlyOrTranslateToValidXPath) {
    const std::size_t megabyte = 1 << 20;
    EXPECT_THROW(CssToXPath(std::string(megabyte, '(')), CFilterError);
    EXPECT_THROW(CssToXPath(std::string(megabyte, '[')), CFilterError);
    std::string nested;
    while (nested.size() < megabyte) nested += ":not(";
    EXPECT_THROW(CssToXPath("p" + nested), CFilterError);

    // The deepest nesting allowed still works.
    std::string deep = "p", close;
    for (int depth = 0; depth < 32; ++depth) {
        deep += ":not(";
        close += ")";
    }
    EXPECT_EQ(Matches(deep + "p" + close), "p1 p2 p3");
    try {
        CssToXPath(deep + "p:not(p)" + close);
        ADD_FAILURE() << "33 levels of :not() were translated";
    } catch (const CFilterError& error) {
        EXPECT_EQ(error.Message(), "\":not\" at position 163 is nested more than 32 deep.");
    }

    // Long selectors that are valid translate in one pass, to XPath whose
    // length grows with theirs alone.
    std::string chain;
    while (chain.size() < megabyte) chain += "a > b.c ";
    EXPECT_LT(CssToXPath(chain).size(), 10 * chain.size());

    // Short random selectors from the characters that matter.
    const std::string alphabet = "ab-_*#.[]()=~|^$\"'\\:,>+ \n\t1fnotdhilr\0\xC3\xA4\xFF\xEF\xBF\xBF";
    std::mt19937 random(20);
    int translated = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string selector(random() % 24, ' ');
        for (char& c : selector) c = alphabet[random() % alphabet.size()];
        std::string xpath;
        try {
            xpath = CssToXPath(selector);
        } catch (const CFilterError&) {
            continue;
        }
        ++translated;
        xmlXPathCompExprPtr compiled = xmlXPathCompile(reinterpret_cast<const xmlChar*>(xpath.c_str()));
        EXPECT_TRUE(compiled) << selector << " -> " << xpath;
        xmlXPathFreeCompExpr(compiled);
    }
    EXPECT_GT(translated, 100);
}

TEST_F(SelectorTest, XPathPassesThroughAndCssIsTranslated) {
    EXPECT_TRUE(IsXPathExpression(" \t//div"));
    EXPECT_TRUE(IsXPathExpression("(//p)[2]"));
    EXPECT_FALSE(IsXPathExpression("div/p"));
    EXPECT_FALSE(IsXPathExpression(""));
    EXPECT_EQ(SelectorToXPath("  (//p)[2]"), "  (//p)[2]");
    EXPECT_EQ(SelectorToXPath("#p1"), CssToXPath("#p1"));
    EXPECT_THROW(SelectorToXPath("div/p"), CFilterError);
}

}  // namespace
}  // namespace tallyhawk
