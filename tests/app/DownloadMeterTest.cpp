#include "app/DownloadMeter.h"

#include <gtest/gtest.h>

#include "engine/EngineTestUtil.h"
#include "net/Downloader.h"

namespace tallyhawk {
namespace {

CDownloadProgress Progress(std::int32_t state, std::uint64_t received = 0,
                           std::uint64_t length = 0) {
    CDownloadProgress progress;
    progress.state = state;
    progress.bytesReceived = received;
    progress.contentLength = length;
    return progress;
}

class DownloadMeterTest : public ::testing::Test {
protected:
    DownloadMeterTest() { meter.Start(); }
    testing::CFakeClock clock;
    CDownloadMeter meter{clock};
};

TEST_F(DownloadMeterTest, RateCountsWholeSecondsFromConnectedAndIsZeroInTheFirst) {
    clock.Advance(30);  // connecting took long: it must not lower the rate
    meter.Update(Progress(Connected));
    CDownloadDisplay first = meter.Update(Progress(Receiving, 50000));
    EXPECT_EQ(first.status, "Downloaded 48 KB");
    EXPECT_EQ(first.rate, "0 KB/Second");
    clock.Advance(2);
    EXPECT_EQ(meter.Update(Progress(Receiving, 300000)).rate, "146 KB/Second");  // 146.48
    clock.Advance(-10);  // a clock set back never gives a negative rate
    EXPECT_EQ(meter.Update(Progress(Receiving, 300000)).rate, "0 KB/Second");
}

TEST_F(DownloadMeterTest, SizeIsShownOnceAndTheBarOnlyForAKnownLength) {
    CDownloadDisplay display = meter.Update(Progress(Receiving, 1, 4000));
    EXPECT_EQ(display.size, "3 KB");  // 3.9, cut toward zero
    EXPECT_EQ(display.percent, 0);
    display = meter.Update(Progress(Receiving, 999, 4000));
    EXPECT_FALSE(display.size);
    EXPECT_EQ(display.percent, 24);  // 24.975

    CDownloadMeter unknown{clock};
    unknown.Start();
    display = unknown.Update(Progress(Receiving, 20000, 0));
    EXPECT_FALSE(display.size);
    EXPECT_EQ(display.percent, -1);

    // Changes not yet shown merge: the later ones win, the others stay.
    CDownloadDisplay merged = meter.Update(Progress(Connected));
    merged.Merge(display);
    EXPECT_EQ(merged.status, "Downloaded 19 KB");
    EXPECT_EQ(merged.percent, -1);
    EXPECT_TRUE(merged.rate);
}

}  // namespace
}  // namespace tallyhawk
