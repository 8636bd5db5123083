#include "engine/PageName.h"

#include <gtest/gtest.h>

namespace tallyhawk {
namespace {

TEST(PageNameTest, WordAfterWwwOrSchemeUpToTheDot) {
    EXPECT_EQ(PageNameFromUrl("http://www.example.com/x"), "Example");
    EXPECT_EQ(PageNameFromUrl("HTTP://WWW.kestrel.org"), "Kestrel");
    EXPECT_EQ(PageNameFromUrl("https://news.site.net"), "News");
    EXPECT_EQ(PageNameFromUrl("example.com"), "");
    EXPECT_EQ(PageNameFromUrl("http://localhost/"), "");
    EXPECT_EQ(PageNameFromUrl("http://www..com"), "");
}

}  // namespace
}  // namespace tallyhawk
