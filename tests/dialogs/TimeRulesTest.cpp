#include "dialogs/TimeRules.h"

#include <gtest/gtest.h>

namespace tallyhawk {
namespace {

TEST(IntervalRulesTest, WrapAndValidation) {
    EXPECT_EQ(SpinIntervalField(59, 1, 59), 0);
    EXPECT_EQ(SpinIntervalField(0, -1, 59), 59);
    EXPECT_EQ(SpinIntervalField(24, 1, 24), 0);
    EXPECT_EQ(SpinWrap(9, 1, 0, 9), 0);
    EXPECT_EQ(SpinWrap(0, -1, 0, 9), 9);
    CHms hms;
    EXPECT_FALSE(CheckInterval("24", "59", "59", hms));
    EXPECT_EQ(JoinInterval(hms), 89999);
    auto problem = CheckInterval("25", "0", "0", hms);
    ASSERT_TRUE(problem);
    EXPECT_EQ(problem->field, IntervalField::Hours);
    EXPECT_EQ(problem->message, "Please enter an integer between 0 and 24.");
    EXPECT_EQ(JoinInterval(hms), 89999);
    EXPECT_EQ(SplitInterval(120).minutes, 2);
}

TEST(TimeDialogRulesTest, HourConversions) {
    CClockHour noon = ClockHourFor(12);
    EXPECT_EQ(noon.hour, 0);
    EXPECT_TRUE(noon.pm);
    EXPECT_EQ(HourFromClock(noon.hour, noon.pm), 12);
    CClockHour early = ClockHourFor(0);
    EXPECT_FALSE(early.pm);
    EXPECT_EQ(HourFromClock(early.hour, early.pm), 0);
    EXPECT_EQ(HourFromClock(5, true), 17);
    EXPECT_EQ(FormatClockTime(8, 0), "08:00AM");
    EXPECT_EQ(FormatClockTime(17, 0), "05:00PM");
}

TEST(ClockRulesTest, SetTimeReduces) {
    CClockTime t;
    EXPECT_TRUE(SetClockTime(t, 27, 75, -5));
    EXPECT_EQ(t.hour, 3);
    EXPECT_EQ(t.minute, 15);
    EXPECT_EQ(t.second, 5);
    EXPECT_FALSE(SetClockTime(t, 3, 15, 5));
}

TEST(ClockRulesTest, MinuteDragAcrossTwelveCarriesHour) {
    CClockTime t{4, 50, 0};
    DragMinuteHand(t, 270 + 30);  // 5 past
    EXPECT_EQ(t.minute, 5);
    EXPECT_EQ(t.hour, 5);
    DragMinuteHand(t, 270 - 60 + 0.5);  // back to 50
    EXPECT_EQ(t.minute, 50);
    EXPECT_EQ(t.hour, 4);
    CClockTime zero{0, 5, 0};
    DragMinuteHand(zero, 210.5);
    EXPECT_EQ(zero.hour, 11);
    CClockTime hourDrag{2, 33, 0};
    DragHourHand(hourDrag, 0.5);  // 3 o'clock
    EXPECT_EQ(hourDrag.hour, 3);
    EXPECT_EQ(hourDrag.minute, 33);
}

TEST(ClockRulesTest, GeometryAndHitTest) {
    CClockGeometry g = ClockGeometryFor(0, 0, 200, 100);
    EXPECT_EQ(g.centre, (CPoint{100, 50}));
    EXPECT_EQ(g.radius, 45);
    EXPECT_EQ(DragAngle(g.centre, {110, 50}), 360.0);
    EXPECT_DOUBLE_EQ(DragAngle(g.centre, {100, 40}), 270.0);
    CClockTime t{3, 0, 0};  // minute hand up, hour hand right
    EXPECT_EQ(ClockHitTest(g, t, {100, 20}), 2);
    EXPECT_EQ(ClockHitTest(g, t, {125, 50}), 1);
    EXPECT_EQ(ClockHitTest(g, t, {70, 80}), 0);
    EXPECT_TRUE(HighlightThroughSideA(-90));
    EXPECT_FALSE(HighlightThroughSideA(90));
}

TEST(TimeDialogRulesTest, ResizeKeepsButtonsRightAndStretchesTheClock) {
    const CRect am{100, 10, 60, 20}, pm{100, 34, 50, 20}, ok{100, 150, 60, 30};
    const CTimeDialogLayout layout = LayOutTimeDialog(400, 300, am, pm, ok, 10);
    EXPECT_EQ(layout.am, (CRect{330, 10, 60, 20}));
    EXPECT_EQ(layout.pm, (CRect{340, 34, 50, 20}));
    EXPECT_EQ(layout.ok, (CRect{330, 260, 60, 30}));
    EXPECT_EQ(layout.clock, (CRect{10, 10, 317, 280}));
    // Too small for anything: the clock shrinks to nothing, never below.
    EXPECT_EQ(LayOutTimeDialog(20, 10, am, pm, ok, 10).clock.width, 0);
}

}  // namespace
}  // namespace tallyhawk
