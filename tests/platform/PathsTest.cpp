#include "platform/Paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/Browser.h"
#include "platform/PlatformTestUtil.h"

namespace tallyhawk {
namespace {

using testing::CScopedEnv;

TEST(PathsTest, XdgFoldersWithTheirDefaults) {
    CScopedEnv home("HOME", "/home/ann");
    {
        CScopedEnv config("XDG_CONFIG_HOME", nullptr);
        CScopedEnv state("XDG_STATE_HOME", "relative/ignored");
        EXPECT_EQ(ConfigDirectory(), "/home/ann/.config/Brindlecote/Tallyhawk/");
        EXPECT_EQ(StateDirectory(), "/home/ann/.local/state/tallyhawk/");
    }
    CScopedEnv config("XDG_CONFIG_HOME", "/cfg/");
    CScopedEnv state("XDG_STATE_HOME", "/st");
    EXPECT_EQ(ConfigDirectory(), "/cfg/Brindlecote/Tallyhawk/");
    EXPECT_EQ(StateDirectory(), "/st/tallyhawk/");
}

TEST(PathsTest, DefaultLogFileCreatesItsFolder) {
    testing::CScratchFolder scratch;
    CScopedEnv state("XDG_STATE_HOME", (scratch / "deep/state").c_str());
    EXPECT_EQ(DefaultLogFile(), scratch / "deep/state/tallyhawk/log.txt");
    struct stat st {};
    ASSERT_EQ(stat((scratch / "deep/state/tallyhawk").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST(BrowserTest, BrowserVariableFirstEntry) {
    {
        CScopedEnv browser("BROWSER", nullptr);
        EXPECT_EQ(DefaultBrowserFromEnvironment(), "");
    }
    CScopedEnv browser("BROWSER", "/opt/My Browser/run:firefox");
    EXPECT_EQ(DefaultBrowserFromEnvironment(), "/opt/My Browser/run");
}

}  // namespace
}  // namespace tallyhawk
