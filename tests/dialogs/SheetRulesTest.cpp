#include "dialogs/SheetRules.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/PlatformTestUtil.h"

namespace tallyhawk {
namespace {

TEST(SheetCaptionTest, ForPartOnlyOnPageSheetWithName) {
    EXPECT_EQ(SheetCaption("Add Page", "Example", false), "Add Page for Example");
    EXPECT_EQ(SheetCaption("Add Page", "", false), "Add Page");
    EXPECT_EQ(SheetCaption("Default Settings for all Pages", "Example", true),
              "Default Settings for all Pages");
}

CWatcherSettings With(std::int32_t mode, std::uint32_t flags, const std::string& viewer) {
    CWatcherSettings s;
    s.SetOutputMode(mode);
    s.SetNotifyFlags(flags);
    s.SetViewer(viewer);
    return s;
}

TEST(ViewerCheckTest, QuestionForEveryModeAndFlagCombination) {
    const std::string browser = "firefox";
    for (std::int32_t mode : {AdditionsAsText, DeletionsAsText}) {
        EXPECT_EQ(ViewerQuestion(With(mode, 0, "notepad.exe"), browser), 17u);
        EXPECT_EQ(ViewerQuestion(With(mode, NotifyLaunchBrowser, "notepad.exe"), browser), 19u);
        EXPECT_EQ(ViewerQuestion(With(mode, NotifyLaunchApplication, " FireFox "), browser), 19u);
        EXPECT_EQ(ViewerQuestion(With(mode, NotifyLaunchApplication, "notepad.exe"), browser), 0u);
    }
    for (std::int32_t mode : {AdditionsAsHtml, DeletionsAsHtml, HighlightedHtml}) {
        EXPECT_EQ(ViewerQuestion(With(mode, NotifyPlaySound, "x"), browser), 18u);
        EXPECT_EQ(ViewerQuestion(With(mode, NotifyLaunchApplication, "notepad.exe"), browser), 20u);
        EXPECT_EQ(ViewerQuestion(With(mode, NotifyLaunchApplication, "firefox"), browser), 0u);
        EXPECT_EQ(ViewerQuestion(With(mode, NotifyLaunchBrowser, "notepad.exe"), browser), 0u);
    }
}

TEST(ViewerCheckTest, AnswersSwitchViewer) {
    CWatcherSettings text = With(AdditionsAsText, NotifyLaunchBrowser | NotifyPlaySound, "firefox");
    ApplyViewerAnswer(19, text);
    EXPECT_EQ(text.GetNotifyFlags(), NotifyLaunchApplication | NotifyPlaySound);
    EXPECT_EQ(text.GetViewer(), "notepad.exe");
    CWatcherSettings html = With(HighlightedHtml, NotifyLaunchApplication, "viewer");
    ApplyViewerAnswer(20, html);
    EXPECT_EQ(html.GetNotifyFlags(), std::uint32_t{NotifyLaunchBrowser});
    EXPECT_EQ(html.GetViewer(), "viewer");
}

TEST(CheckIntegerTest, MessagesAndBounds) {
    int value = -1;
    EXPECT_FALSE(CheckInteger(" 42 ", CIntRange{0, 100}, value));
    EXPECT_EQ(value, 42);
    EXPECT_EQ(CheckInteger("", std::nullopt, value), "Please enter an integer.");
    EXPECT_EQ(CheckInteger("4x", std::nullopt, value), "Please enter an integer.");
    EXPECT_EQ(CheckInteger("99999999999", std::nullopt, value), "Please enter an integer.");
    EXPECT_EQ(CheckInteger("101", CIntRange{0, 100}, value),
              "Please enter an integer between 0 and 100.");
    EXPECT_FALSE(CheckInteger("5000", std::nullopt, value));
    EXPECT_EQ(value, 5000);
}

TEST(PageFieldsTest, FlagsDaysAndOutputMode) {
    EXPECT_EQ(NotifyFlagsFromChecks(true, false, false, true), 0x11u);
    EXPECT_EQ(DaysFromChecks(DayChecks(255)), 127);
    EXPECT_FALSE(OutputButtonFor(7));
    EXPECT_EQ(OutputModeFromButtons({false, false, false, false, false}), HighlightedHtml);
    EXPECT_EQ(OutputModeFromButtons({false, false, true, false, false}), DeletionsAsText);
    EXPECT_EQ(ColorFromRgb(0xFF, 0xFF, 0x64), 0x64FFFFu);
}

TEST(PageFieldsTest, AddressIsCheckedBeforeTheName) {
    EXPECT_EQ(PageFieldsProblem("", ""), IDS_URL_EMPTY);
    EXPECT_EQ(PageFieldsProblem("", "Name"), IDS_URL_EMPTY);
    EXPECT_EQ(PageFieldsProblem("http://a.example/", ""), IDS_NAME_EMPTY);
    EXPECT_EQ(PageFieldsProblem("http://a.example/", "Name"), 0u);
}

TEST(ChooserTest, StartFolderFileNameAndDefaultExtension) {
    testing::CScratchFolder scratch;
    const std::string sounds = scratch / "sounds";
    std::filesystem::create_directory(sounds);
    EXPECT_EQ(ChooserFolder(sounds, "/home/x"), sounds);
    EXPECT_EQ(ChooserFolder(scratch / "missing", "/home/x"), "/home/x");
    EXPECT_EQ(ChooserFolder("", "/home/x"), "/home/x");

    const CChooserStart bare = ChooserStartFor("ringin.wav", sounds);
    EXPECT_EQ(bare.folder + "|" + bare.fileName, sounds + "|ringin.wav");
    const CChooserStart path = ChooserStartFor(sounds + "/bell.oga", "/home/x");
    EXPECT_EQ(path.folder + "|" + path.fileName, sounds + "|bell.oga");
    const CChooserStart gone = ChooserStartFor("/no/such/folder/bell.oga", sounds);
    EXPECT_EQ(gone.folder + "|" + gone.fileName, sounds + "|bell.oga");

    EXPECT_EQ(WithDefaultExtension("/logs/watch", ".txt"), "/logs/watch.txt");
    EXPECT_EQ(WithDefaultExtension("/logs/watch.log", ".txt"), "/logs/watch.log");
    EXPECT_EQ(WithDefaultExtension("/logs.d/watch", ".txt"), "/logs.d/watch.txt");
    EXPECT_EQ(WithDefaultExtension("/logs/watch.", ".txt"), "/logs/watch.");
}

}  // namespace
}  // namespace tallyhawk
