#include "platform/ProcessLauncher.h"

#include <gtest/gtest.h>

#include <chrono>

#include "base/Exception.h"
#include "platform/PlatformTestUtil.h"

namespace tallyhawk {
namespace {

using namespace std::chrono_literals;
using testing::CScratchFolder;
using testing::ReadFile;

TEST(ProcessLauncherTest, ArgumentsArePassedVerbatimWithoutShell) {
    CScratchFolder scratch;
    std::string out = scratch / "args";
    CSpawnLauncher launcher;
    // Characters a shell would act on reach the program untouched.
    int status = launcher.Run({"sh", "-c", "printf '%s|' \"$@\" > \"$0\"; exit 3", out,
                               "a b", "$(touch nope);", "'\""},
                              10s);
    EXPECT_EQ(status, 3);
    EXPECT_EQ(ReadFile(out), "a b|$(touch nope);|'\"|");
}

TEST(ProcessLauncherTest, MissingProgramIsErrnoTwo) {
    CSpawnLauncher launcher;
    for (const char* program : {"tallyhawk-no-such-program", "/no/such/program"}) {
        try {
            launcher.Launch({program, "x"});
            ADD_FAILURE() << program;
        } catch (const COsException& e) {
            EXPECT_EQ(e.Code(), 2u) << program;
        }
    }
    EXPECT_THROW(launcher.Run({"tallyhawk-no-such-program"}, 1s), COsException);
    EXPECT_THROW(launcher.Launch({}), COsException);
}

TEST(ProcessLauncherTest, LaunchReturnsAtOnceAndRunWaits) {
    CScratchFolder scratch;
    std::string marker = scratch / "done";
    CSpawnLauncher launcher;
    launcher.Run({"sh", "-c", "sleep 0.05; echo ok > \"$0\"", marker}, 10s);
    EXPECT_EQ(ReadFile(marker), "ok\n");
    // Launch does not wait: the program is still sleeping when it returns.
    std::string late = scratch / "late";
    auto start = std::chrono::steady_clock::now();
    launcher.Launch({"sh", "-c", "exec 2>/dev/null; sleep 1; echo late > \"$0\"", late});
    EXPECT_LT(std::chrono::steady_clock::now() - start, 900ms);
    EXPECT_EQ(ReadFile(late), "");
}

TEST(ProcessLauncherTest, RunStopsAProgramPastItsLimit) {
    CSpawnLauncher launcher;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(launcher.Run({"sleep", "30"}, 100ms), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST(ProcessLauncherTest, FindProgramInPath) {
    CScratchFolder scratch;
    testing::WriteScript(scratch / "tool", "exit 0");
    testing::WriteFile(scratch / "plain", "not executable");
    testing::CScopedEnv path("PATH", ("/nonexistent:" + scratch.path).c_str());
    EXPECT_EQ(FindProgramInPath("tool"), scratch / "tool");
    EXPECT_EQ(FindProgramInPath("plain"), "");
    EXPECT_EQ(FindProgramInPath("absent"), "");
    EXPECT_EQ(FindProgramInPath(scratch / "tool"), scratch / "tool");
}

}  // namespace
}  // namespace tallyhawk
