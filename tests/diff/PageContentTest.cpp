#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "diff/PageContent.h"

namespace tallyhawk {
namespace {

std::vector<std::string> Lines(std::string_view page) {
    CLineArray lines(10);
    EXPECT_EQ(SplitLines(page, '\n', lines), std::int64_t(page.size()));
    std::vector<std::string> out;
    for (const CLine& line : lines) {
        EXPECT_EQ(line.partner, -1);
        out.emplace_back(line.View());
    }
    return out;
}

std::vector<std::string> Ranges(std::string_view page) {
    CHtmlTextScanner scanner;
    scanner.Scan(page);
    std::vector<std::string> out;
    for (const TextRange& r : scanner.Ranges())
        out.emplace_back(page.substr(std::size_t(r.start), std::size_t(r.length)));
    return out;
}

using Strings = std::vector<std::string>;

TEST(PageContentTest, LineHashDependsOnEveryByteAndOnlyOnTheBytes) {
    // Lengths around the word and lane sizes, and long lines.
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 80; ++n) lengths.push_back(n);
    for (std::size_t n : {127u, 128u, 129u, 1000u, 4099u}) lengths.push_back(n);
    std::string buffer(4099 + 16, '\0');
    for (std::size_t length : lengths) {
        std::string line(length, '\0');
        for (std::size_t i = 0; i < length; ++i) line[i] = char('a' + (i * 7 + length) % 26);
        const std::uint32_t hash = LineHash(line.data(), line.size());
        // The same bytes anywhere in memory, between other bytes, hash alike.
        for (std::size_t offset = 1; offset < 9; ++offset) {
            std::fill(buffer.begin(), buffer.end(), char(0xEE));
            std::copy(line.begin(), line.end(), buffer.begin() + std::ptrdiff_t(offset));
            EXPECT_EQ(LineHash(buffer.data() + offset, length), hash) << length << " " << offset;
        }
        // Any one byte changed, at any place, changes the hash; so does
        // cutting the last byte off.
        for (std::size_t i = 0; i < length; ++i) {
            for (unsigned char delta : {1, 0x80}) {
                std::string other = line;
                other[i] = char(static_cast<unsigned char>(other[i]) ^ delta);
                EXPECT_NE(LineHash(other.data(), length), hash) << length << " at " << i;
            }
        }
        if (length > 0) {
            EXPECT_NE(LineHash(line.data(), length - 1), hash) << length;
        }
    }
}

TEST(PageContentTest, SplitKeepsSeparatorWithItsLine) {
    EXPECT_EQ(Lines("a\nb"), (Strings{"a\n", "b"}));
    EXPECT_EQ(Lines("a\n"), (Strings{"a\n"}));
    EXPECT_EQ(Lines("\n\n"), (Strings{"\n", "\n"}));
    EXPECT_EQ(Lines(""), Strings{});
}

std::uint32_t Colliding(const char*, std::size_t) {
    return 7;  // every line hashes alike, as if they all collided
}

TEST(PageContentTest, IndexGroupsEqualLinesEvenWhenHashesCollide) {
    std::string page = "a\nb\na\nb\nc\nb";
    CLineIndex index;
    index.Build(page, '\n', Colliding);
    EXPECT_EQ(index.LineCount(), 6);
    EXPECT_EQ(index.GroupCount(), 4);  // "b" without its newline is a line of its own
    EXPECT_EQ(index.GroupOf(0), index.GroupOf(2));
    EXPECT_NE(index.GroupOf(0), index.GroupOf(1));
    EXPECT_NE(index.GroupOf(5), index.GroupOf(1));
    std::int32_t group = index.Find("b\n");
    EXPECT_EQ(std::vector<std::int32_t>(index.GroupBegin(group), index.GroupEnd(group)),
              (std::vector<std::int32_t>{1, 3}));
    EXPECT_EQ(index.Find("b"), index.GroupOf(5));
    EXPECT_EQ(index.Find("c"), CLineIndex::kNone);  // "c\n" is in the page, "c" is not
    EXPECT_EQ(index.Find("d\n"), CLineIndex::kNone);
    index.ReleaseLookup();
    EXPECT_EQ(index.Find("b\n"), CLineIndex::kNone);
    EXPECT_EQ(index.GroupOf(3), group);  // the groups stay

    // Without the collisions, the same groups.
    CLineIndex plain;
    plain.Build(page, '\n');
    for (std::int32_t i = 0; i < 6; ++i) EXPECT_EQ(plain.GroupOf(i), index.GroupOf(i)) << i;
}

TEST(PageContentTest, IndexTellsApartLinesThatDifferInOneByte) {
    // Every line hashes alike here, so only the byte comparison keeps them
    // apart: lines of every length up to 40 (compared as words inline) and
    // longer ones, each changed at every place in turn. Enough groups that
    // the lookup table grows several times.
    std::string page;
    for (std::size_t length :
         {1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 12u, 15u, 16u, 17u, 31u, 40u, 100u}) {
        const std::string base(length, 'a');
        page += base + "\n";
        for (std::size_t i = 0; i < length; ++i) {
            std::string variant = base;
            variant[i] = 'b';
            page += variant + "\n" + variant + "\n";  // each variant twice
        }
    }
    for (int i = 0; i < 3000; ++i) page += "line " + std::to_string(i % 1500) + "\n";
    CLineArray lines(10);
    SplitLines(page, '\n', lines);
    CLineIndex index;
    index.Build(page, '\n', Colliding);
    CLineIndex plain;
    plain.Build(page, '\n');
    ASSERT_EQ(index.LineCount(), lines.Count());
    std::int32_t expectedGroups = 0;
    std::map<std::string, std::int32_t> seen;
    for (std::int32_t i = 0; i < lines.Count(); ++i) {
        auto [it, fresh] = seen.emplace(std::string(lines[i].View()), expectedGroups);
        if (fresh) ++expectedGroups;
        EXPECT_EQ(index.GroupOf(i), it->second) << i;
        EXPECT_EQ(plain.GroupOf(i), it->second) << i;
        EXPECT_EQ(index.Find(lines[i].View()), it->second);
    }
    EXPECT_EQ(index.GroupCount(), expectedGroups);
}

TEST(PageContentTest, TextRangesSkipTagsCommentsAndTitle) {
    EXPECT_EQ(Ranges("<html><title>Old</title><body>Hi</body></html>"), Strings{"Hi"});
    EXPECT_EQ(Ranges("x<title>T</title>y"), Strings{"y"});
    EXPECT_EQ(Ranges("<title>T<b>U</b></title>"), Strings{"U"});
    EXPECT_EQ(Ranges("a <!-- c --> b"), (Strings{"a ", " b"}));
    EXPECT_EQ(Ranges("a<!-- open"), Strings{"a<!-- open"});
    EXPECT_EQ(Ranges("plain text"), Strings{"plain text"});
    EXPECT_EQ(Ranges("<p>a<title>open"), Strings{});
    EXPECT_EQ(Ranges("a<>b</>c"), (Strings{"a", "b", "c"}));
    EXPECT_EQ(Ranges("x<!-->y"), (Strings{"x", "y"}));
    // Without a proper end a comment ends at the first ">".
    EXPECT_EQ(Ranges("x<!-- a > b"), (Strings{"x", " b"}));
    // Text stops at the page's zero byte.
    EXPECT_EQ(Ranges(std::string_view("ab\0<p>cd", 8)), Strings{"ab"});
    // Stray "<" with no ">" after them are text.
    EXPECT_EQ(Ranges("a < b < c"), Strings{"a < b < c"});
    // A "<" with a ">" somewhere after it starts a tag reaching that ">".
    EXPECT_EQ(Ranges("<b>a < b</b> <"), (Strings{"a ", " <"}));
}

TEST(PageContentTest, EmptyViewWithoutStorage) {
    // A default view has no bytes behind it at all, not even a terminator.
    EXPECT_EQ(Lines(std::string_view()), Strings{});
    EXPECT_EQ(Ranges(std::string_view()), Strings{});
}

TEST(PageContentTest, UnclosedCommentsScanInLinearTime) {
    // No "<!--" here has its "-->", so each ends at the ">" after it. Looking
    // for the "-->" to the end of the page again for every one of them takes
    // minutes on this page; a linear scan takes milliseconds.
    std::string page;
    for (int i = 0; i < 64 * 1024; ++i) page += "<!-- >";
    page += "x<!-- y";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Ranges(page), Strings{"x<!-- y"});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(PageContentTest, ParseTagNamesAndKinds) {
    CHtmlTextScanner::Tag tag;
    ASSERT_TRUE(CHtmlTextScanner::ParseTag("<A HREF=x>", 0, tag));
    EXPECT_STREQ(tag.name.CStr(), "a");
    EXPECT_TRUE(tag.opening);
    EXPECT_EQ(tag.length, 10);

    ASSERT_TRUE(CHtmlTextScanner::ParseTag("</TITLE >", 0, tag));
    EXPECT_STREQ(tag.name.CStr(), "title");
    EXPECT_FALSE(tag.opening);

    ASSERT_TRUE(CHtmlTextScanner::ParseTag("<p\nclass=x>", 0, tag));
    EXPECT_STREQ(tag.name.CStr(), "p\nclass=x");

    ASSERT_TRUE(CHtmlTextScanner::ParseTag("<>", 0, tag));
    EXPECT_EQ(tag.length, 2);
    EXPECT_STREQ(tag.name.CStr(), "");
    ASSERT_TRUE(CHtmlTextScanner::ParseTag("</>", 0, tag));
    EXPECT_EQ(tag.length, 3);
    EXPECT_FALSE(tag.opening);

    ASSERT_TRUE(CHtmlTextScanner::ParseTag("<!-- a -- b -->", 0, tag));
    EXPECT_STREQ(tag.name.CStr(), "!--");
    EXPECT_FALSE(tag.opening);
    EXPECT_EQ(tag.length, 15);

    EXPECT_FALSE(CHtmlTextScanner::ParseTag("<p class", 0, tag));
    EXPECT_FALSE(CHtmlTextScanner::ParseTag(std::string_view("<p\0>", 4), 0, tag));
}

}  // namespace
}  // namespace tallyhawk
