#include "engine/LearnedNoise.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "EngineTestUtil.h"
#include "LocalHttpServer.h"
#include "base/Archive.h"
#include "engine/WatchSite.h"
#include "net/Downloader.h"

namespace tallyhawk {
namespace {

// One version of a small shop page; the arguments are what changes.
std::string Shop(int viewers, const std::vector<std::string>& trending, const std::string& price,
                 const std::string& updated = "High tide 14:02") {
    std::string page = "<meta charset=\"UTF-8\">\nGarden Shop<br>\nBlue watering can<br>\n";
    page += "Price: " + price + "<br>\n";
    page += std::to_string(viewers) + " people are viewing this item<br>\n";
    page += "A sturdy can for the patio, ten litres.<br>\n";
    page += updated + "<br>\nTrending<br>\n";
    for (const std::string& item : trending) page += item + "<br>\n";
    page += "Delivery and returns<br>\n";
    return page;
}

TEST(LearnedNoiseTest, BuiltInShapesAreTimesAndIdsButNeverPricesDatesOrClockMinutes) {
    const std::string mark(CLearnedNoise::kMark);
    EXPECT_EQ(CLearnedNoise::MaskShapes("Posted 3 minutes ago by Anna"), "Posted " + mark + " by Anna");
    EXPECT_EQ(CLearnedNoise::MaskShapes("an hour ago · 5m ago · a few seconds ago"),
              mark + " · " + mark + " · " + mark);
    EXPECT_EQ(CLearnedNoise::MaskShapes("Just now"), mark);
    EXPECT_EQ(CLearnedNoise::MaskShapes("Served at 14:02:11.250 in 23 ms"), "Served at " + mark + " in 23 ms");
    EXPECT_EQ(CLearnedNoise::MaskShapes("Last updated at 9 Dec 2:15 pm, by Sam"), "Last updated at " + mark + ", by Sam");
    EXPECT_EQ(CLearnedNoise::MaskShapes("Release v2.14.3 (8f3a2c1)"), "Release " + mark + " (" + mark + ")");
    EXPECT_EQ(CLearnedNoise::MaskShapes("<script src=\"/app.3F9A2C7B.js\">"), "<script src=\"/app." + mark + ".js\">");
    for (const char* kept : {"Price: $19.99", "Opening hours 09:00-17:00", "9 December 2026",
                             "Call 0123456789", "Updated 9 December", "Version 2.14.3 is out", "a decade ago", "facades deadbeef", "123:45:678"}) {
        EXPECT_EQ(CLearnedNoise::MaskShapes(kept), kept);
    }
}

TEST(LearnedNoiseTest, TwoDownloadsTeachCountersAndRotatingBlocksButARealEditStillShows) {
    CLearnedNoise noise;
    const std::string accepted = Shop(12, {"Hose reel", "Rake", "Seed tray"}, "$19.99");
    const std::string first = Shop(17, {"Bird bath", "Rake", "Trowel", "Gloves"}, "$19.99");
    const std::string again = Shop(23, {"Plant pots", "Hose reel"}, "$19.99");
    EXPECT_NE(noise.Mask(accepted), noise.Mask(first));
    EXPECT_TRUE(noise.LearnFromRepeat(first, again));
    EXPECT_EQ(noise.RuleCount(), 2u);
    EXPECT_FALSE(noise.LearnFromRepeat(first, again)) << "nothing new the second time";
    // Noise alone: the same page now, whatever the counter and the list say.
    EXPECT_EQ(noise.Mask(accepted), noise.Mask(first));
    EXPECT_NE(noise.Mask(first).find("\xE2\x80\xA6 people are viewing this item<br>"), std::string::npos);
    // A price is not noise: it did not change between the two downloads.
    EXPECT_NE(noise.Mask(accepted), noise.Mask(Shop(40, {"Rake"}, "$17.49")));
    // Neither is the description.
    std::string edited = Shop(40, {"Rake"}, "$19.99");
    edited.replace(edited.find("ten litres"), 10, "eight litres");
    EXPECT_NE(noise.Mask(accepted), noise.Mask(edited));
    // A block is not placed where its fixed lines are missing.
    std::string moved = Shop(40, {"Rake"}, "$19.99");
    moved.replace(moved.find("Delivery and returns"), 20, "Delivery");
    EXPECT_NE(noise.Mask(moved).find("Rake"), std::string::npos);

    const std::vector<std::string> described = noise.Describe();
    ASSERT_EQ(described.size(), 2u);
    EXPECT_EQ(described[0], "Changing parts of a line: \xE2\x80\xA6 people are viewing this item");
    EXPECT_EQ(described[1], "Lines between \"Trending\" and \"Delivery and returns\"");
}

TEST(LearnedNoiseTest, ALineThatChangesTheSameWayAtTwoChecksInARowIsLearned) {
    CLearnedNoise noise;
    const std::vector<std::string> trending{"Rake"};
    const std::string v1 = Shop(1, trending, "$19.99", "High tide 14:02");
    const std::string v2 = Shop(1, trending, "$19.99", "High tide 14:09");
    const std::string v3 = Shop(1, trending, "$17.49", "High tide 14:15");
    const std::string v4 = Shop(1, trending, "$18.99", "High tide 15:40");
    // The first time is not enough: it might be the change the reader waits for.
    EXPECT_FALSE(noise.LearnFromCheck(v1, v2));
    EXPECT_NE(noise.Mask(v1), noise.Mask(v2));
    // The same line changing again the same way is the page's clock.
    EXPECT_TRUE(noise.LearnFromCheck(v2, v3));
    EXPECT_EQ(noise.Describe(), std::vector<std::string>{"Changing parts of a line: High tide \xE2\x80\xA6"});
    // It stands for figures and times: the words of the line still count.
    EXPECT_NE(noise.Mask("High tide 16:20<br>\n"), noise.Mask("High tide at the pier<br>\n"));
    // The price changed at the last two checks too, but it had been
    // stable before: a change to it is still reported.
    EXPECT_FALSE(noise.LearnFromCheck(v3, v4));
    EXPECT_NE(noise.Mask(v3), noise.Mask(v4));
    EXPECT_EQ(noise.RuleCount(), 1u);

    // Times that turn into dates as they age: the page's dates are times,
    // but not those of lines that stood still.
    CLearnedNoise aging;
    const std::string concert = "Concert on the pier, 19 December<br>\n";
    aging.LearnFromCheck(concert + "Ashdown · 3 hours ago<br>\nA\n", concert + "Ashdown · 5 hours ago<br>\nB\n");
    EXPECT_TRUE(aging.LearnFromCheck(concert + "Ashdown · 7 hours ago<br>\nB\n", concert + "Ashdown · 6 December<br>\nC\n"));
    EXPECT_EQ(aging.Mask("Ashdown · 2 hours ago<br>\n"), aging.Mask("Ashdown · 5 December<br>\n"));
    EXPECT_NE(aging.Mask(concert), aging.Mask("Concert on the pier, 20 December<br>\n"));

    // A calendar is learned at its next change, whenever that comes; an
    // event's time is not a calendar: its line names its day.
    CLearnedNoise calendar, events;
    calendar.LearnFromCheck("Saturday, 26 December 2026<br>\n", "Sunday, 27 December 2026<br>\n");
    events.LearnFromCheck("Mon 15 February, 09:00<br>\n", "Mon 15 February, 11:00<br>\n");
    calendar.ForgetCandidates();
    events.ForgetCandidates();
    EXPECT_TRUE(calendar.LearnFromCheck("Sunday, 27 December 2026<br>\n", "Monday, 28 December 2026<br>\n"));
    EXPECT_FALSE(events.LearnFromCheck("Mon 15 February, 11:00<br>\n", "Mon 15 February, 12:30<br>\n"));

    // Words are never learned this way, however often they change.
    CLearnedNoise words;
    words.LearnFromCheck("Status: open<br>\n", "Status: closed<br>\n");
    EXPECT_FALSE(words.LearnFromCheck("Status: closed<br>\n", "Status: open<br>\n"));
}

TEST(LearnedNoiseTest, StoredFormReadsBackAndAnyBytesLoadWithinBounds) {
    CLearnedNoise noise;
    noise.LearnFromRepeat(Shop(17, {"Bird\tbath \\*", "Rake"}, "$1"), Shop(23, {"Hose"}, "$1"));
    noise.LearnFromCheck("Updated 14:02\n", "Updated 14:09\n");
    ASSERT_FALSE(noise.Empty());
    const std::string saved = noise.Save();
    EXPECT_EQ(CLearnedNoise::Load(saved), noise);
    EXPECT_EQ(CLearnedNoise::Load(saved).Save(), saved);

    EXPECT_TRUE(CLearnedNoise::Load("").Empty());
    EXPECT_TRUE(CLearnedNoise::Load("T\tno changing part\nB\t\t\t9\nB\ta\tb\t-1\nB\ta\tb\t99999999999\nX\n\\").Empty());
    std::string many;
    for (int i = 0; i < 5000; ++i) many += "T\tline " + std::to_string(i) + "\\*\nB\t" + std::to_string(i) + "\t\t4\n";
    const CLearnedNoise bounded = CLearnedNoise::Load(many);
    EXPECT_EQ(bounded.RuleCount(), CLearnedNoise::kMostRules + CLearnedNoise::kMostRules / 4);
    // Lines without a final line feed, and a page of one long line, mask safely.
    EXPECT_EQ(bounded.Mask("line 7 and more"), std::string("line 7") + std::string(CLearnedNoise::kMark));
    EXPECT_EQ(bounded.Mask(std::string(100000, 'x')).size(), 100000u);
}

}  // namespace
}  // namespace tallyhawk

namespace tallyhawk {
namespace {

// A shop page served anew at every request: a counter and a "Trending"
// list that change at every visit, around a description the test sets.
class CNoisyShop {
public:
    CNoisyShop() {
        http.Server().Get("/shop", [this](const httplib::Request&, httplib::Response& response) {
            std::lock_guard<std::mutex> guard(lock);
            const int visit = ++requests;
            std::string page = "<html><body><h1>Blue watering can</h1><p>" + description + "</p>";
            page += "<p>" + std::to_string(visit * 7 % 50 + 2) + " people are viewing this item</p>";
            page += "<h2>Trending</h2><ul>";
            for (int i = 0; i < 1 + visit % 3; ++i) page += "<li>Trending item " + std::to_string(visit * 5 + i) + "</li>";
            page += "</ul><p>Delivery and returns</p></body></html>";
            response.set_content(page, "text/html");
        });
        http.Start();
    }
    std::string Url() const { return http.Url("/shop"); }
    void Describe(std::string text) {
        std::lock_guard<std::mutex> guard(lock);
        description = std::move(text);
    }
    int Requests() {
        std::lock_guard<std::mutex> guard(lock);
        return requests;
    }

private:
    std::mutex lock;
    int requests = 0;                                         // guarded by lock
    std::string description = "A sturdy can, ten litres.";  // guarded by lock
    testing::CLocalHttpServer http;
};

std::string Store(CWatchSite& page) {
    std::string bytes;
    CArchive archive(bytes);
    page.Serialize(archive);
    return bytes;
}

// The page record's version word, after its settings record.
std::uint16_t RecordVersion(CWatchSite& page) {
    std::string settings;
    CArchive archive(settings);
    CWatcherSettings(page.GetSettings()).Serialize(archive);
    const std::string bytes = Store(page);
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[settings.size()]) |
                                      static_cast<unsigned char>(bytes[settings.size() + 1]) << 8);
}

TEST(LearnedNoiseCheckTest, AChangeIsConfirmedByASecondDownloadAndWhatItTeachesIsKeptWithThePage) {
    testing::CFakeServices fake;
    fake.services.SetConfirmPause(std::chrono::milliseconds(0));
    CNoisyShop shop;
    CDownloader downloader(std::chrono::seconds(10));
    CWatchSite page(&fake.services);
    page.SetUrl(shop.Url());
    CWatcherSettings settings = page.GetSettings();
    settings.SetCompareWhat(CWatcherSettings::CompareText);
    settings.SetLearnNoise(true);
    settings.SetOutputMode(AdditionsAsText);
    page.SetSettings(settings);
    EXPECT_EQ(RecordVersion(page), CWatchSite::kVersion) << "nothing learned: the older record";

    ASSERT_TRUE(page.Check(downloader));  // the first accepted version
    EXPECT_EQ(shop.Requests(), 1);
    // Noise alone: the change is confirmed, found to be noise, and learned.
    ASSERT_TRUE(page.Check(downloader));
    EXPECT_EQ(page.GetStatus(), Current);
    EXPECT_EQ(shop.Requests(), 3);
    EXPECT_EQ(page.GetLearnedNoise().RuleCount(), 2u);
    // Once learned, noise costs no second download.
    ASSERT_TRUE(page.Check(downloader));
    EXPECT_EQ(page.GetStatus(), Current);
    EXPECT_EQ(shop.Requests(), 4);
    // A real edit is reported after one confirming download, without the noise.
    shop.Describe("A sturdy can, eight litres.");
    ASSERT_TRUE(page.Check(downloader));
    EXPECT_EQ(page.GetStatus(), Modified);
    EXPECT_EQ(shop.Requests(), 6);
    ASSERT_TRUE(page.ChangedText());
    EXPECT_EQ(page.ChangedText()->added, "A sturdy can, eight litres.\r\n");

    // Stored with the page, in the newer record, and read back.
    EXPECT_EQ(RecordVersion(page), CWatchSite::kVersionWithNoise);
    CWatchSite loaded(&fake.services);
    {
        const std::string bytes = Store(page);
        CArchive archive(std::string_view{bytes});
        loaded.Serialize(archive);
    }
    EXPECT_EQ(loaded.GetLearnedNoise(), page.GetLearnedNoise());
    EXPECT_EQ(loaded.GetLatestContent(), page.GetLatestContent());
    // Forgotten, the page writes its older record again, byte for byte.
    const std::string before = [&] {
        CWatchSite plain(&fake.services);
        plain.Assign(page);
        plain.SetLearnedNoise(CLearnedNoise());
        plain.SetValidators("", "");
        return Store(plain);
    }();
    loaded.SetLearnedNoise(CLearnedNoise());
    loaded.SetValidators("", "");
    EXPECT_EQ(RecordVersion(loaded), CWatchSite::kVersion);
    EXPECT_EQ(Store(loaded), before);
}

}  // namespace
}  // namespace tallyhawk
