// The Bookmarks & Favorites dialog's rules: the rows of one kind sorted by
// name, the row selected after a refill, what OK returns and the columns.
#include <gtest/gtest.h>

#include "dialogs/BookmarkRules.h"

namespace tallyhawk {
namespace {

std::vector<std::string> Names(const CBookmarkRows& rows) {
    std::vector<std::string> names;
    for (std::size_t row = 0; row < rows.Count(); ++row) names.push_back(rows.At(row).name);
    return names;
}

TEST(BookmarkRowsTest, ShowsOneKindSortedByNameThenAddress) {
    const std::vector<CBookmarkItem> items = {
        {"beta", "u1", 1}, {"Alpha", "u2", 1}, {"fav", "u3", 2}, {"alpha", "u4", 1},
        {"Alpha", "u0", 1}, {"", "u5", 1},    {"Zed", "u6", 1}, {"\xC3\xA9t\xC3\xA9", "u7", 1}};
    CBookmarkRows rows(items);
    rows.Fill(kBookmarkKindBookmark);
    // Letters compare without case; equal names by exact bytes, then address.
    EXPECT_EQ(Names(rows), (std::vector<std::string>{"", "Alpha", "Alpha", "alpha", "beta", "Zed",
                                                     "\xC3\xA9t\xC3\xA9"}));
    EXPECT_EQ(rows.At(1).url, "u0");
    EXPECT_EQ(rows.ItemIndex(1), 4u);
    rows.Fill(kBookmarkKindFavorite);
    EXPECT_EQ(Names(rows), std::vector<std::string>{"fav"});
    EXPECT_EQ(rows.ItemIndex(0), 2u);
}

TEST(BookmarkRowsTest, OkReturnsCopiesOfTheSelectedRowsInListOrder) {
    const std::vector<CBookmarkItem> items = {{"c", "3", 1}, {"a", "1", 1}, {"b", "2", 1}};
    CBookmarkRows rows(items);
    rows.Fill(kBookmarkKindBookmark);
    EXPECT_TRUE(rows.Selection({}).empty()) << "no selection: the dialog stays open";
    EXPECT_EQ(rows.Selection({2, 0}),
              (std::vector<CBookmarkItem>{{"a", "1", 1}, {"c", "3", 1}}));
    EXPECT_EQ(rows.Selection({-1, 3}), std::vector<CBookmarkItem>{}) << "rows the list does not have";
}

TEST(BookmarkRowsTest, RefilledListSelectsTheSameRowOrTheFirst) {
    EXPECT_EQ(CBookmarkRows::RowToSelect(2, 5), 2);
    EXPECT_EQ(CBookmarkRows::RowToSelect(5, 5), 0);
    EXPECT_EQ(CBookmarkRows::RowToSelect(-1, 5), 0);
    EXPECT_EQ(CBookmarkRows::RowToSelect(0, 0), -1) << "an empty list selects nothing";
}

TEST(BookmarkRowsTest, ColumnWidthsShareTheWidthBesideTheScrollBar) {
    EXPECT_EQ(BookmarkColumnWidths(517, 17), std::make_pair(150, 350));
    EXPECT_EQ(BookmarkColumnWidths(116, 15), std::make_pair(30, 71));
    EXPECT_EQ(BookmarkColumnWidths(10, 17), std::make_pair(0, 0));
}

}  // namespace
}  // namespace tallyhawk
