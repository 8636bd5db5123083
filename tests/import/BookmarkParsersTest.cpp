// The readers of bookmark files, shortcut files and "Bookmarks" JSON, and
// the bounds of the link list: what they take from well-formed files, the
// edge cases of the bookmark file's state machine, and hostile input (found
// by fuzzing among others) that must cost little and yield fewer links.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "import/BookmarkList.h"
#include "import/BookmarkParsers.h"

namespace tallyhawk {
namespace {

std::vector<CBookmarkItem> Netscape(const std::string& text) {
    CBookmarkList list;
    const std::size_t added = ParseBookmarkFile(text, list);
    EXPECT_EQ(added, list.Count());
    return list.Items();
}

std::vector<CBookmarkItem> Chromium(const std::string& text) {
    CBookmarkList list;
    const std::size_t added = ParseChromiumBookmarks(text, list);
    EXPECT_EQ(added, list.Count());
    return list.Items();
}

CBookmarkItem Bookmark(const std::string& name, const std::string& url) {
    return {name, url, kBookmarkKindBookmark};
}

TEST(BookmarkFileTest, AnchorWithFurtherQuotedAttributesYieldsExactAddressAndTitle) {
    const std::string text =
        "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<TITLE>Bookmarks</TITLE>\n<H1>Bookmarks</H1>\n"
        "<DL><p>\n    <DT><H3 ADD_DATE=\"1600000000\" LAST_MODIFIED=\"1600000001\">Work</H3>\n"
        "    <DL><p>\n"
        "        <DT><A HREF=\"https://example.com/a?x=1&amp;y=2\" ADD_DATE=\"1600000002\" "
        "LAST_VISIT=\"1600000003\" ICON=\"data:image/png;base64,iVBOR=\">Example</A>\n"
        "        <DD>A description that is no link\n"
        "        <DT><a hReF = \"http://b.example/\">Second</a>\n"
        "    </DL><p>\n</DL><p>\n";
    EXPECT_EQ(Netscape(text), (std::vector{Bookmark("Example", "https://example.com/a?x=1&amp;y=2"),
                                           Bookmark("Second", "http://b.example/")}));
}

TEST(BookmarkFileTest, SingleQuotedAddressYieldsNothing) {
    EXPECT_TRUE(Netscape("<DT><A HREF='https://a.example/'>Single</A>\n").empty());
    EXPECT_EQ(Netscape("<A HREF='x'>One</A><A HREF=\"y\">Two</A>"), (std::vector{Bookmark("Two", "y")}));
}

TEST(BookmarkFileTest, NameKeepsEntitiesAndWhiteSpace) {
    EXPECT_EQ(Netscape("<A HREF=\"u\">  Tom &amp; Jerry\t&#233;\n</A>"),
              (std::vector{Bookmark("  Tom &amp; Jerry\t&#233;\n", "u")}));
}

TEST(BookmarkFileTest, StateMachineCornerCases) {
    // An empty address is a link; the name runs from the last '>' seen, even
    // one inside the address.
    EXPECT_EQ(Netscape("<A HREF=\"\">Empty</A>"), (std::vector{Bookmark("Empty", "")}));
    EXPECT_EQ(Netscape("<A HREF=\"a>b\" X>Name</A>"), (std::vector{Bookmark("Name", "a>b")}));
    EXPECT_EQ(Netscape("<A HREF=\"a>b\">Name</A>"), (std::vector{Bookmark("Name", "a>b")}));
    // A '<' before the address closes resets the state.
    EXPECT_TRUE(Netscape("<A HREF=\"half<B>text</B>").empty());
    // "href" must come after a '<', and an "=" before the quote.
    EXPECT_TRUE(Netscape("href=\"nope\">text</P>").empty());
    EXPECT_TRUE(Netscape("<A HREF \"nope\">text</A>").empty());
    // Text that ends inside "href" or before the closing '<'.
    EXPECT_TRUE(Netscape("<A hre").empty());
    EXPECT_TRUE(Netscape("<A HREF=\"u\">No closing tag").empty());
}

TEST(BookmarkFileTest, TruncatedOrZeroBrokenTextKeepsEarlierLinks) {
    const std::string text = "<A HREF=\"one\">One</A><A HREF=\"two\">Two</A><A HREF=\"three\">Thr";
    const auto whole = Netscape(text);
    ASSERT_EQ(whole, (std::vector{Bookmark("One", "one"), Bookmark("Two", "two")}));
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        const auto links = Netscape(text.substr(0, cut));
        ASSERT_LE(links.size(), whole.size()) << cut;
        ASSERT_TRUE(std::equal(links.begin(), links.end(), whole.begin(), whole.begin() + links.size()))
            << cut;
    }
    // The file is a zero-terminated text: nothing after a zero byte counts.
    EXPECT_EQ(Netscape(std::string("<A HREF=\"a\">A</A>\0<A HREF=\"b\">B</A>", 35)),
              (std::vector{Bookmark("A", "a")}));
}

TEST(BookmarkFileTest, UnclosedTagsCannotMakeNamesGrowWithoutBound) {
    // Without a '>' every link's name would run from the start of the text:
    // a quadratic amount of copying. Names stop at their bound.
    std::string text = ">";
    for (int i = 0; i < 20000; ++i) text += "<a href=\"x\"";
    text += "<";
    const auto links = Netscape(text);
    ASSERT_EQ(links.size(), 20000u);
    for (const CBookmarkItem& link : links) ASSERT_LE(link.name.size(), kMaxBookmarkNameLength);
    EXPECT_EQ(links.back().name.size(), kMaxBookmarkNameLength);
}

TEST(BookmarkListTest, BoundsTheLinksAndTheirTexts) {
    CBookmarkList list;
    // Names are cut before a character that does not fit; no byte of it stays.
    const std::string longName = std::string(kMaxBookmarkNameLength - 1, 'a') + "\xC3\xA9" + "tail";
    EXPECT_TRUE(list.Add(longName, "u", 1));
    EXPECT_EQ(list.Items().back().name, std::string(kMaxBookmarkNameLength - 1, 'a'));
    // An address too long to keep whole is left out, and reading goes on.
    EXPECT_TRUE(list.Add("long", std::string(kMaxBookmarkUrlLength + 1, 'u'), 1));
    EXPECT_EQ(list.Count(), 1u);
    // Texts end at a zero byte.
    list.Add(std::string("na\0me", 5), std::string("ur\0l", 4), 2);
    EXPECT_EQ(list.Items().back(), (CBookmarkItem{"na", "ur", 2}));

    while (list.Add("n", "u", 1)) {
    }
    EXPECT_EQ(list.Count(), kMaxBookmarks);
    EXPECT_TRUE(list.IsFull());
    EXPECT_FALSE(list.Add("n", "u", 1));
    EXPECT_EQ(list.Count(), kMaxBookmarks);
}

TEST(BookmarkListTest, BoundsTheTotalBytes) {
    CBookmarkList list;
    const std::string url(kMaxBookmarkUrlLength, 'u');
    std::size_t added = 0;
    while (list.Add("n", url, 1)) ++added;
    EXPECT_LT(list.Count(), kMaxBookmarks);
    EXPECT_LE(list.Count() * (url.size() + 1), kMaxBookmarkBytes);
    EXPECT_FALSE(list.Add("n", "u", 1));
}

TEST(ShortcutFileTest, ReadsTheKeyAsTheProfileReaderDoes) {
    const std::string text =
        "[DEFAULT]\r\nBASEURL=http://base.example/\r\n"
        "[Other]\r\nURL=http://other.example/\r\n"
        "  [ internetshortcut ]  \r\n; URL=http://comment.example/\r\n"
        "IconIndex=0\r\n   url   =   \"http://a.example/?q=a=b\"  \r\nURL=http://second.example/\r\n";
    EXPECT_EQ(ReadProfileString(text, "InternetShortcut", "URL"), "http://a.example/?q=a=b");
    EXPECT_EQ(ReadProfileString(text, "DEFAULT", "baseurl"), "http://base.example/");
    EXPECT_EQ(ReadProfileString("[InternetShortcut]\nURL='quoted'\n", "InternetShortcut", "URL"),
              "quoted");
    EXPECT_EQ(ReadProfileString("[InternetShortcut]\nURL=\"half\n", "InternetShortcut", "URL"), "\"half");
}

TEST(ShortcutFileTest, NoValueInTheSectionIsEmpty) {
    for (const char* text : {"", "[InternetShortcut]\r\nIconIndex=0\r\n",
                             "[Other]\r\nURL=http://other.example/\r\n[InternetShortcut]\r\n",
                             "[InternetShortcut\r\nURL=http://unclosed.example/\r\n",
                             "URL=http://no-section.example/\r\n", "[InternetShortcut]\r\nURL=\r\n"})
        EXPECT_EQ(ReadProfileString(text, "InternetShortcut", "URL"), "") << text;
    EXPECT_EQ(ReadProfileString(std::string("[InternetShortcut]\0\nURL=x\n", 24), "InternetShortcut",
                                "URL"),
              "");
}

TEST(ChromiumFileTest, TakesTheUrlNodesUnderRootsInFileOrder) {
    const std::string text = R"({
      "checksum": "x",
      "roots": {
        "bookmark_bar": {"children": [
            {"children": [{"name": "Inner", "type": "url", "url": "https://inner.example/",
                           "meta_info": {"type": "url", "url": "not-a-link"}}],
             "name": "Folder", "type": "folder"},
            {"url": "https://before-type.example/", "name": "Keys in any order", "type": "url"},
            {"name": "", "type": "url", "url": "https://untitled.example/"},
            {"name": "A folder is no link", "type": "folder", "url": "https://folder.example/"}],
          "name": "Bookmarks bar", "type": "folder"},
        "other": {"children": [{"name": "Other \u00e9", "type": "url", "url": "https://other.example/"}],
                  "type": "folder"}
      },
      "sync_metadata": {"type": "url", "name": "Outside roots", "url": "https://outside.example/"},
      "version": 1
    })";
    // "meta_info" is an object of the node, not a node: only the members of
    // "roots" and the elements of "children" are.
    EXPECT_EQ(Chromium(text),
              (std::vector{Bookmark("Inner", "https://inner.example/"),
                           Bookmark("Keys in any order", "https://before-type.example/"),
                           Bookmark("https://untitled.example/", "https://untitled.example/"),
                           Bookmark("Other \xC3\xA9", "https://other.example/")}));
}

TEST(ChromiumFileTest, DamagedFilesKeepWhatCameBefore) {
    const std::string good = R"({"roots": {"bookmark_bar": {"children": [)"
                             R"({"name": "One", "type": "url", "url": "u1"},)"
                             R"({"name": "Two", "type": "url", "url": "u2"}]}}})";
    const auto whole = Chromium(good);
    ASSERT_EQ(whole, (std::vector{Bookmark("One", "u1"), Bookmark("Two", "u2")}));
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        const auto links = Chromium(good.substr(0, cut));
        ASSERT_LE(links.size(), 2u) << cut;
        ASSERT_TRUE(std::equal(links.begin(), links.end(), whole.begin())) << cut;
    }
    EXPECT_EQ(Chromium(R"({"roots": {"a": {"children": [{"name": "One", "type": "url", "url": "u1"}, {"name": ]}}})"),
              (std::vector{Bookmark("One", "u1")}));
    EXPECT_TRUE(Chromium("\xFF\xFE{").empty());
    EXPECT_TRUE(Chromium(R"(["roots", {"type": "url", "url": "u"}])").empty());
}

TEST(ChromiumFileTest, DeepNestingCostsNoStackAndHidesNothingAboveTheBound) {
    // A million open brackets: neither recursion nor a frame per level.
    EXPECT_TRUE(Chromium(std::string(1000000, '[')).empty());
    EXPECT_TRUE(Chromium(R"({"roots": )" + std::string(1000000, '{')).empty());

    // Links nested as deep as the bound are read; deeper ones are passed over,
    // and the rest of the file still counts.
    auto nested = [](std::size_t levels) {
        std::string open, close;
        for (std::size_t i = 0; i < levels; ++i) {
            open += R"({"type": "folder", "children": [)";
            close += "]}";
        }
        return open + R"({"name": "Deep", "type": "url", "url": "deep"})" + close;
    };
    const std::string head = R"({"roots": {"bookmark_bar": )";
    const std::string tail = R"(, "other": {"name": "After", "type": "url", "url": "after"}}})";
    // The node's own level: the top object, "roots", then two per folder.
    const std::size_t fits = (kMaxJsonDepth - 3) / 2;
    EXPECT_EQ(Chromium(head + nested(fits) + tail).size(), 2u);
    EXPECT_EQ(Chromium(head + nested(fits + 1) + tail), (std::vector{Bookmark("After", "after")}));
}

}  // namespace
}  // namespace tallyhawk
