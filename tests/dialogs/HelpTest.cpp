// FindManualPage: the installed manual beside the program comes first, the
// source tree's second, and a page name cannot reach outside the manual.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dialogs/Help.h"
#include "platform/PlatformTestUtil.h"

namespace tallyhawk {
namespace {

namespace fs = std::filesystem;

class HelpTest : public ::testing::Test {
protected:
    HelpTest() {
        Touch(scratch / "prefix/bin/tallyhawk");
        Touch(scratch / "prefix/share/doc/tallyhawk/manual/index.html");
        Touch(scratch / "prefix/share/doc/tallyhawk/manual/images/about.png");
        Touch(scratch / "source/res/manual/index.html");
        Touch(scratch / "source/res/manual/watching.html");
        Touch(scratch / "prefix/share/doc/tallyhawk/secret.txt");
    }
    static void Touch(const std::string& path) {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path) << "x";
    }
    std::string Program() const { return scratch / "prefix/bin/tallyhawk"; }
    std::string Source() const { return scratch / "source/res/manual"; }

    testing::CScratchFolder scratch;
};

TEST_F(HelpTest, InstalledManualComesBeforeTheSourceTree) {
    EXPECT_EQ(FindManualPage("index.html", Program(), Source()),
              scratch / "prefix/share/doc/tallyhawk/manual/index.html");
    EXPECT_EQ(FindManualPage("images/about.png", Program(), Source()),
              scratch / "prefix/share/doc/tallyhawk/manual/images/about.png");
    // A page only the source tree has, and a program with no manual beside it.
    EXPECT_EQ(FindManualPage("watching.html", Program(), Source()),
              scratch / "source/res/manual/watching.html");
    EXPECT_EQ(FindManualPage("index.html", scratch / "build/src/ui/tallyhawk", Source()),
              scratch / "source/res/manual/index.html");
    EXPECT_EQ(FindManualPage("index.html", "", Source()), scratch / "source/res/manual/index.html");
}

TEST_F(HelpTest, MissingPagesAndNamesOutsideTheManualGiveNothing) {
    EXPECT_EQ(FindManualPage("nothing.html", Program(), Source()), "");
    EXPECT_EQ(FindManualPage("index.html", scratch / "elsewhere/tallyhawk", ""), "");
    EXPECT_EQ(FindManualPage("", Program(), Source()), "");
    EXPECT_EQ(FindManualPage("images", Program(), Source()), "");  // a folder
    EXPECT_EQ(FindManualPage("../secret.txt", Program(), Source()), "");
    EXPECT_EQ(FindManualPage("images/../../secret.txt", Program(), Source()), "");
    EXPECT_EQ(FindManualPage(scratch / "prefix/share/doc/tallyhawk/secret.txt", Program(), Source()),
              "");
}

}  // namespace
}  // namespace tallyhawk
