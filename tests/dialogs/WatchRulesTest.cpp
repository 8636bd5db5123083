#include <gtest/gtest.h>

#include "dialogs/WatchRules.h"

namespace tallyhawk {
namespace {

TEST(WatchRulesTest, FieldLinesBecomeEntriesWithTrailingBlankLinesDropped) {
    EXPECT_EQ(EntriesFromField(".ad\r\n\n  #news \n\n \n"),
              (std::vector<std::string>{".ad", "", "  #news "}));
    EXPECT_TRUE(EntriesFromField("\n\n").empty());
}

TEST(WatchRulesTest, AnUnusableEntryIsPinnedToItsFieldAndLine) {
    CWatcherSettings settings;
    settings.SetIgnoreText({"Updated at .*", "", "("});
    const auto problem = FindWatchProblem(settings);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->field, WatchField::IgnoreText);
    EXPECT_EQ(problem->line, 2u);
    EXPECT_FALSE(problem->message.empty());

    settings.SetRegion("main !!");
    EXPECT_EQ(FindWatchProblem(settings)->field, WatchField::Region);
    settings.SetRegion("main");
    settings.SetIgnoreText({"\\d+ people are viewing"});
    EXPECT_FALSE(FindWatchProblem(settings));
}

TEST(WatchRulesTest, RemovedSectionsFollowTheNonBlankEntriesWithTheirLineCounts) {
    CWatcherSettings settings;
    settings.SetRegion("main");
    settings.SetIgnoreRegions({".ad", " "});
    settings.SetIgnoreText({"Updated at .*"});
    CWatchPreview preview;
    preview.outsideRegion = "Menu\nFooter\n";
    preview.ignoredRegions = {"Buy now"};
    const auto sections = RemovedSections(settings, preview);
    EXPECT_EQ(FormatRemoved(sections),
              "Outside the region: 2 lines\n    Menu\n    Footer\n\n"
              "Ignored region \".ad\": 1 line\n    Buy now\n\n"
              "Ignored text \"Updated at .*\": nothing\n");
}

}  // namespace
}  // namespace tallyhawk
