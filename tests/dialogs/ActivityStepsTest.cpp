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
    while (steps.GetDirection() == start && count < 1000) {
        steps.Step();
        ++count;
        EXPECT_GE(steps.GetPosition(), 0.0);
        EXPECT_LE(steps.GetPosition(), 1.0);
    }
    return count;
}

TEST(ActivityStepsTest, SweepsForwardAndBackTurningExactlyAtTheEnds) {
    CActivitySteps steps;
    steps.SetActive(true);
    steps.Step();
    EXPECT_DOUBLE_EQ(steps.GetPosition(), 0.01);

    const int forward = StepsUntilTurn(steps);
    EXPECT_GE(forward, 99);
    EXPECT_LE(forward, 101);
    EXPECT_EQ(steps.GetPosition(), 1.0);
    EXPECT_EQ(steps.GetDirection(), Direction::Backward);
    steps.Step();
    EXPECT_DOUBLE_EQ(steps.GetPosition(), 0.99);

    const int backward = StepsUntilTurn(steps);
    EXPECT_GE(backward, 99);
    EXPECT_LE(backward, 101);
    EXPECT_EQ(steps.GetPosition(), 0.0);
    EXPECT_EQ(steps.GetDirection(), Direction::Forward);
}

TEST(ActivityStepsTest, InactiveStandsStillAndActivationRestarts) {
    CActivitySteps steps;
    steps.Step();
    EXPECT_EQ(steps.GetPosition(), 0.0);

    steps.SetActive(true);
    StepsUntilTurn(steps);
    for (int i = 0; i < 10; ++i) steps.Step();
    ASSERT_EQ(steps.GetDirection(), Direction::Backward);

    steps.SetActive(false);
    EXPECT_EQ(steps.GetPosition(), 0.0);
    EXPECT_EQ(steps.GetDirection(), Direction::Forward);
    steps.Step();
    EXPECT_EQ(steps.GetPosition(), 0.0);

    steps.SetActive(true);
    steps.Step();
    EXPECT_DOUBLE_EQ(steps.GetPosition(), 0.01);
}

TEST(ActivityStepsTest, BandTrailsTheMovingEdgeAndIsCutToTheInnerArea) {
    constexpr int width = 200;
    CActivitySteps steps;
    steps.SetActive(true);
    auto band = steps.GetBand(width);
    EXPECT_EQ(band.begin, band.end);  // position 0 draws nothing

    for (int i = 0; i < 30; ++i) steps.Step();  // 0.3 forward: cut at the left
    band = steps.GetBand(width);
    EXPECT_EQ(band.begin, 0);
    EXPECT_NEAR(band.end, 60, 1);
    EXPECT_EQ(band.leading, band.end - 1);

    for (int i = 0; i < 50; ++i) steps.Step();  // 0.8 forward: a whole half width
    band = steps.GetBand(width);
    EXPECT_NEAR(band.end, 160, 1);
    EXPECT_EQ(band.end - band.begin, width / 2);

    StepsUntilTurn(steps);
    for (int i = 0; i < 20; ++i) steps.Step();  // 0.8 backward: cut at the right
    band = steps.GetBand(width);
    EXPECT_NEAR(band.begin, 160, 1);
    EXPECT_EQ(band.leading, band.begin);
    EXPECT_EQ(band.end, width);

    for (int i = 0; i < 60; ++i) steps.Step();  // 0.2 backward
    band = steps.GetBand(width);
    EXPECT_NEAR(band.begin, 40, 1);
    EXPECT_EQ(band.end - band.begin, width / 2);

    steps.SetActive(false);
    band = steps.GetBand(width);
    EXPECT_EQ(band.begin, band.end);
}

TEST(ActivityStepsTest, ShadeRunsFromTheTrailingEndToTheLeadingPixel) {
    constexpr int width = 200;
    CActivitySteps steps;
    steps.SetActive(true);
    for (int i = 0; i < 60; ++i) steps.Step();  // a whole band
    auto band = steps.GetBand(width);
    EXPECT_DOUBLE_EQ(steps.Shade(band, width, band.leading), 1.0);
    EXPECT_NEAR(steps.Shade(band, width, band.leading - width / 4), 0.5, 1e-9);
    EXPECT_LT(steps.Shade(band, width, band.begin), 0.05);

    steps.SetActive(true);
    for (int i = 0; i < 20; ++i) steps.Step();  // cut at the left
    band = steps.GetBand(width);
    // The cut band starts part way up, where the whole band would be shaded.
    EXPECT_NEAR(steps.Shade(band, width, band.begin), 1.0 - (band.leading - band.begin) / 100.0,
                1e-9);
}

}  // namespace
}  // namespace tallyhawk
