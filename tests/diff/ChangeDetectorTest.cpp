#include <gtest/gtest.h>

#include <string>

#include "diff/ChangeDetector.h"

namespace tallyhawk {
namespace {

const std::string kRemoved = "<del style=\"background:#FF6464;text-decoration:line-through\">";

class ChangeDetectorTest : public ::testing::Test {
protected:
    std::uint32_t Compare(const std::string& previous, const std::string& current) {
        return detector.Compare(previous, current);
    }
    CChangeDetector detector;
};

TEST_F(ChangeDetectorTest, IdenticalVersionsPairEveryLine) {
    std::string page = "<p>one</p>\n<p>two</p>\n";
    EXPECT_EQ(Compare(page, page), NoChange);
    EXPECT_EQ(detector.AddedText(), "");
    EXPECT_EQ(detector.DeletedHtml(), "");
    EXPECT_EQ(detector.HighlightedHtml(), page);
}

TEST_F(ChangeDetectorTest, EmptyVersions) {
    std::string page = "<title>T</title>\n<p>Body</p>\n";
    EXPECT_EQ(Compare(page, ""), DeletedTextFlag | DeletedHtmlFlag);
    EXPECT_EQ(detector.DeletedHtml(), page);
    EXPECT_EQ(detector.DeletedText(), "Body\r\n");
    // An emptied page still shows what it lost.
    EXPECT_EQ(detector.HighlightedHtml(), kRemoved + "Body</del>");

    // The first check of a page: outputs describe all of it, yet no change.
    EXPECT_EQ(Compare("", page), NoChange);
    EXPECT_EQ(detector.AddedHtml(), page);
    EXPECT_EQ(detector.AddedText(), "Body\r\n");
}

TEST_F(ChangeDetectorTest, FirstBlockReachingTheEndEndsTheSearch) {
    EXPECT_EQ(Compare("x\ny\ny\ny\n", "y\ny\ny\nx\n"),
              AddedTextFlag | DeletedTextFlag | AddedHtmlFlag | DeletedHtmlFlag);
    EXPECT_EQ(detector.AddedHtml(), "y\ny\ny\n");
    EXPECT_EQ(detector.DeletedHtml(), "y\ny\ny\n");
}

TEST_F(ChangeDetectorTest, ChangedInsertedAndTrailingLines) {
    Compare("a\nb\nc\nd\n", "a\nX\nc\nd\nE\n");
    EXPECT_EQ(detector.AddedHtml(), "X\nE\n");
    EXPECT_EQ(detector.DeletedHtml(), "b\n");
    EXPECT_EQ(detector.AddedText(), "X\r\nE\r\n");
    EXPECT_EQ(detector.DeletedText(), "b\r\n");
}

TEST_F(ChangeDetectorTest, ChangeInsideTagOrTitleIsNoTextChange) {
    EXPECT_EQ(Compare("<p>\n<img src=a.png>\n</p>\n", "<p>\n<img src=b.png>\n</p>\n"),
              AddedHtmlFlag | DeletedHtmlFlag);
    EXPECT_EQ(detector.HighlightedHtml(), "<p>\n<img src=b.png>\n</p>\n");
    EXPECT_EQ(Compare("<title>Old</title>\n<p>x</p>\n", "<title>New</title>\n<p>x</p>\n"),
              AddedHtmlFlag | DeletedHtmlFlag);
}

TEST_F(ChangeDetectorTest, ZeroLengthRangeCountsForIgnoreRule) {
    const std::string previous = "Hello\n<b>x</b>\n", current = "Hello\n<b>y</b>\n";
    Compare(previous, current);
    EXPECT_EQ(detector.AddedText(), "y\r\n");
    detector.SetIgnoreFirst(1);
    Compare(previous, current);
    EXPECT_EQ(detector.AddedText(), "y\r\n");
    EXPECT_EQ(detector.HighlightedHtml(),
              "Hello\n<b>" + kRemoved + "x</del><b style=\"background:#FFFF64\">y</b></b>\n");
}

TEST_F(ChangeDetectorTest, IgnoreFirstAndLast) {
    // One changed range and one changed line each way: all ignored.
    detector.SetIgnoreFirst(1);
    EXPECT_EQ(Compare("<p>a</p>\n", "<p>b</p>\n"), NoChange);
    EXPECT_EQ(detector.AddedText(), "");
    EXPECT_EQ(detector.AddedHtml(), "");

    CChangeDetector last;
    last.SetIgnoreLast(1);
    last.Compare("<p>keep</p>\n", "<p>keep</p>\n<p>New</p>\n<p>More</p>");
    EXPECT_EQ(last.AddedHtml(), "<p>New</p>\n");
    EXPECT_EQ(last.AddedText(), "New\r\n");
    EXPECT_EQ(last.HighlightedHtml(),
              "<p>keep</p>\n<p><b style=\"background:#FFFF64\">New</b></p>\n<p>More</p>");
}

TEST_F(ChangeDetectorTest, TextOutputFoldsLineBreaks) {
    Compare("<p>\n", "<p>\n\n\nHello\n\r\n\n\n\nWorld\n");
    EXPECT_EQ(detector.AddedText(), "Hello\r\n\r\n\r\nWorld\r\n");
}

TEST_F(ChangeDetectorTest, HighlightingNeedsAPrintableByte) {
    Compare("<p>a</p>\n<p>b</p>\n", "<p>a</p>\n<p>b</p>\n<i> </i>\n<i>\t</i>\n<i>\xC3\xA9</i>\n");
    EXPECT_EQ(detector.HighlightedHtml(),
              "<p>a</p>\n<p>b</p>\n<i><b style=\"background:#FFFF64\"> </b></i>\n"
              "<i>\t</i>\n<i><b style=\"background:#FFFF64\">\xC3\xA9</b></i>\n");
}

TEST_F(ChangeDetectorTest, LastByteAfterFinalRangeIsKept) {
    Compare("<p>a</p>\nend\n<p>\nx", "<p>b</p>\nend\n<p>\nx");
    EXPECT_EQ(detector.HighlightedHtml(),
              "<p>" + kRemoved + "a</del><b style=\"background:#FFFF64\">b</b></p>\nend\n<p>\nx");
}

TEST_F(ChangeDetectorTest, ColorsFormatRedGreenBlue) {
    detector.SetColors(0x00123456, 0x00ABCDEF);
    EXPECT_EQ(detector.AddedStartTag(), "<b style=\"background:#563412\">");
    EXPECT_EQ(detector.DeletedStartTag(), "<b style=\"background:#EFCDAB\">");
    CChangeDetector defaults;
    EXPECT_EQ(defaults.AddedStartTag(), "<b style=\"background:#FFFF64\">");
    EXPECT_EQ(defaults.DeletedStartTag(), "<b style=\"background:#FF6464\">");
}

TEST_F(ChangeDetectorTest, ManyBlocksDoNotExhaustTheStack) {
    // Every other line changed: 200 000 blocks of one line each.
    std::string previous, current, added;
    for (int i = 0; i < 200000; ++i) {
        std::string same = "line " + std::to_string(i) + "\n";
        std::string fresh = "new " + std::to_string(i) + "\n";
        previous += same + "old " + std::to_string(i) + "\n";
        current += same + fresh;
        added += fresh;
    }
    EXPECT_EQ(Compare(previous, current),
              AddedTextFlag | DeletedTextFlag | AddedHtmlFlag | DeletedHtmlFlag);
    EXPECT_EQ(detector.AddedHtml(), added);
}

TEST_F(ChangeDetectorTest, LargePagesKeepEveryChangedLineAndTheIgnoreRule) {
    // 20 000 changed lines apart from each other (the unpaired lines reach
    // the renderer a few thousand at a time), between blocks longer than
    // 65 535 lines; the first three and the last two changes are ignored.
    std::string previous, current, added, deleted;
    const int kChanges = 20000;
    for (int i = 0; i < kChanges; ++i) {
        const std::string same = "line " + std::to_string(i) + "\n";
        const std::string gone = "old " + std::to_string(i) + "\n";
        const std::string fresh = "new " + std::to_string(i) + "\n";
        previous += same + gone;
        current += same + fresh;
        if (i >= 3 && i < kChanges - 2) {
            added += fresh;
            deleted += gone;
        }
    }
    for (int i = 0; i < 140000; ++i) {
        const std::string same = "tail " + std::to_string(i) + "\n";
        previous += same;
        current += i == 70000 ? "changed\n" + same : same;
    }
    detector.SetIgnoreFirst(3);
    detector.SetIgnoreLast(2);
    EXPECT_EQ(Compare(previous, current),
              AddedTextFlag | DeletedTextFlag | AddedHtmlFlag | DeletedHtmlFlag);
    // The new version has one more change, the last, so one more of its own
    // is kept.
    EXPECT_EQ(detector.AddedHtml(), added + "new 19998\n");
    EXPECT_EQ(detector.DeletedHtml(), deleted);

    struct Collect : COutputSink {
        std::string bytes;
        void Write(const char* data, std::size_t size) override { bytes.append(data, size); }
    } sink;
    detector.CompareInto(previous, current, OutputMode::AddedHtml, sink);
    EXPECT_EQ(sink.bytes, added + "new 19998\n");
}

TEST_F(ChangeDetectorTest, HasChangesFollowsOutputMode) {
    EXPECT_TRUE(CChangeDetector::HasChanges(AddedTextFlag, OutputMode::AddedText));
    EXPECT_FALSE(CChangeDetector::HasChanges(AddedHtmlFlag, OutputMode::AddedText));
    EXPECT_TRUE(CChangeDetector::HasChanges(DeletedHtmlFlag, OutputMode::DeletedHtml));
    EXPECT_TRUE(CChangeDetector::HasChanges(AddedHtmlFlag, OutputMode::HighlightedHtml));
    EXPECT_FALSE(CChangeDetector::HasChanges(NoChange, OutputMode::HighlightedHtml));
}

}  // namespace
}  // namespace tallyhawk
