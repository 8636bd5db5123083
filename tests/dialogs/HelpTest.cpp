// FindManualPage: the installed manual beside the program comes first, the
// source tree's second, and a page name cannot reach outside the manual.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dialogs/Help.h"
#include "platform/PlatformTestUtil.h"

namespace tallyhawk {
namespace {

TEST(HelpTest, FindsTheInstalledManualFirstAndNothingOutsideIt) {
    testing::CScratchFolder scratch;
    const std::string installed = scratch / "prefix/share/doc/tallyhawk/manual/";
    const std::string source = scratch / "source/res/manual/";
    for (const std::string& file :
         {installed + "index.html", installed + "images/about.png", source + "index.html",
          source + "watching.html", scratch / "prefix/share/doc/tallyhawk/secret.txt"}) {
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        std::ofstream(file) << "x";
    }
    const std::string program = scratch / "prefix/bin/tallyhawk";

    EXPECT_EQ(FindManualPage("index.html", program, source), installed + "index.html");
    EXPECT_EQ(FindManualPage("images/about.png", program, source), installed + "images/about.png");
    EXPECT_EQ(FindManualPage("watching.html", program, source), source + "watching.html");
    // Run from a build folder: no manual beside the program.
    EXPECT_EQ(FindManualPage("index.html", scratch / "build/src/ui/tallyhawk", source),
              source + "index.html");

    EXPECT_EQ(FindManualPage("nothing.html", program, source), "");
    EXPECT_EQ(FindManualPage("index.html", scratch / "elsewhere/tallyhawk", ""), "");
    EXPECT_EQ(FindManualPage("", program, source), "");
    EXPECT_EQ(FindManualPage("images", program, source), "");  // a folder
    EXPECT_EQ(FindManualPage("../secret.txt", program, source), "");
    EXPECT_EQ(FindManualPage("images/../../secret.txt", program, source), "");
    EXPECT_EQ(FindManualPage(scratch / "prefix/share/doc/tallyhawk/secret.txt", program, source),
              "");
}

}  // namespace
}  // namespace tallyhawk
