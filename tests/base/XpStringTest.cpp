#include <gtest/gtest.h>

#include <string>

#include "base/XpString.h"

namespace tallyhawk {
namespace {

TEST(XpStringTest, NullAndEmptyTexts) {
    CXpString fromNull(static_cast<const char*>(nullptr));
    EXPECT_TRUE(fromNull.IsEmpty());
    ASSERT_NE(fromNull.CStr(), nullptr);
    EXPECT_STREQ(fromNull.CStr(), "");
    CXpString emptyText("");
    EXPECT_EQ(fromNull.Compare(emptyText), 0);
    EXPECT_EQ(emptyText.Compare(fromNull), 0);
}

TEST(XpStringTest, AssignCopiesExactBytesAndHandlesSelf) {
    CXpString s;
    s.Assign("hello world", 5);
    EXPECT_STREQ(s.CStr(), "hello");
    EXPECT_EQ(s.Length(), 5);
    s.Assign(s.CStr(), -1);  // its own text: nothing happens
    EXPECT_STREQ(s.CStr(), "hello");
    s.Assign(s.CStr() + 2, -1);  // a tail of its own text
    EXPECT_STREQ(s.CStr(), "llo");
    const CXpString& self = s;  // through a reference: clang warns on a plain `s = s`
    s = self;
    EXPECT_STREQ(s.CStr(), "llo");
    CXpString other("abcdef");
    s = other;
    EXPECT_STREQ(s.CStr(), "abcdef");
    s = CXpString();
    EXPECT_TRUE(s.IsEmpty());
}

TEST(XpStringTest, TrimmingAndTruncation) {
    CXpString blanks(" \t\r\n\v\f ");
    blanks.Trim();
    EXPECT_EQ(blanks.Length(), 0);
    EXPECT_STREQ(blanks.CStr(), "");

    CXpString s("  a b \n");
    s.Trim();
    EXPECT_STREQ(s.CStr(), "a b");
    EXPECT_EQ(s.Length(), 3);
    s.Truncate(1);
    EXPECT_STREQ(s.CStr(), "a");
    s.Truncate(0);
    EXPECT_TRUE(s.IsEmpty());
    s.Truncate(0);  // no text: nothing
    EXPECT_TRUE(s.IsEmpty());
}

TEST(XpStringTest, LowerCaseAndByteOrder) {
    CXpString s("TiTLE\xC9");
    s.MakeLower();
    EXPECT_STREQ(s.CStr(), "title\xC9");  // only A-Z change
    EXPECT_EQ(CXpString("abc").Compare(CXpString("abd")), -1);
    EXPECT_EQ(CXpString("abd").Compare(CXpString("abc")), 1);
    EXPECT_EQ(CXpString("\xE9").Compare(CXpString("z")), 1);
    EXPECT_TRUE(CXpString("ab") <= CXpString("ab"));
    EXPECT_TRUE(CXpString("ab") < CXpString("abc"));
}

}  // namespace
}  // namespace tallyhawk
