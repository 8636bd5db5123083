// CActivitySteps: the sweep turns exactly at the ends, activation resets it,
// and the band is cut to the inner area and shaded towards its moving edge.
#include <gtest/gtest.h>

#include "dialogs/ActivityIndicator.h"

namespace tallyhawk {
namespace {

using Direction = CActivitySteps::Direction;

// Steps until the direction changes; returns the number of steps taken.
int StepsUntilTurn(CActivitySteps& steps) {
    const Direction start = steps.GetDirection();
    int count = 0;
    for (; steps.GetDirection() == start && count < 1000; ++count) {
        steps.Step();
        EXPECT_GE(steps.GetPosition(), 0.0);
        EXPECT_LE(steps.GetPosition(), 1.0);
    }
    return count;
}

void Steps(CActivitySteps& steps, int count) {
    for (int i = 0; i < count; ++i) steps.Step();
}

TEST(ActivityStepsTest, SweepsToAndFroTurningExactlyAtTheEnds) {
    CActivitySteps steps;
    steps.Step();  // inactive: stands still
    EXPECT_EQ(steps.GetPosition(), 0.0);
    steps.SetActive(true);
    steps.Step();
    EXPECT_DOUBLE_EQ(steps.GetPosition(), 0.01);

    EXPECT_NEAR(StepsUntilTurn(steps), 100, 1);
    EXPECT_EQ(steps.GetPosition(), 1.0);
    steps.Step();
    EXPECT_DOUBLE_EQ(steps.GetPosition(), 0.99);
    EXPECT_NEAR(StepsUntilTurn(steps), 100, 1);
    EXPECT_EQ(steps.GetPosition(), 0.0);
    EXPECT_EQ(steps.GetDirection(), Direction::Forward);

    // Activation, on or off, starts again from the left, moving forward.
    StepsUntilTurn(steps);
    Steps(steps, 10);
    steps.SetActive(true);
    EXPECT_EQ(steps.GetPosition(), 0.0);
    EXPECT_EQ(steps.GetDirection(), Direction::Forward);
}

TEST(ActivityStepsTest, BandTrailsTheMovingEdgeAndIsCutToTheInnerArea) {
    constexpr int width = 200;
    CActivitySteps steps;
    steps.SetActive(true);
    EXPECT_EQ(steps.GetBand(width).begin, steps.GetBand(width).end);  // position 0

    Steps(steps, 30);  // 0.3 forward: cut at the left
    auto band = steps.GetBand(width);
    EXPECT_EQ(band.begin, 0);
    EXPECT_NEAR(band.end, 60, 1);
    EXPECT_EQ(band.leading, band.end - 1);
    EXPECT_DOUBLE_EQ(steps.Shade(band, width, band.leading), 1.0);
    // The cut band starts part way up, where the whole band would be shaded.
    EXPECT_NEAR(steps.Shade(band, width, 0), 1.0 - band.leading / 100.0, 1e-9);

    Steps(steps, 50);  // 0.8 forward: a whole half width
    band = steps.GetBand(width);
    EXPECT_NEAR(band.end, 160, 1);
    EXPECT_EQ(band.end - band.begin, width / 2);
    EXPECT_NEAR(steps.Shade(band, width, band.leading - width / 4), 0.5, 1e-9);

    StepsUntilTurn(steps);
    Steps(steps, 20);  // 0.8 backward: leads on the left, cut at the right
    band = steps.GetBand(width);
    EXPECT_NEAR(band.begin, 160, 1);
    EXPECT_EQ(band.leading, band.begin);
    EXPECT_EQ(band.end, width);

    steps.SetActive(false);
    EXPECT_EQ(steps.GetBand(width).begin, steps.GetBand(width).end);
}

}  // namespace
}  // namespace tallyhawk
