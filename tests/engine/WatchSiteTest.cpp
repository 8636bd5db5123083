#include "engine/WatchSite.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "base/Archive.h"
#include "engine/EngineTestUtil.h"

namespace tallyhawk {
namespace {

using testing::CFakeServices;
using testing::CScopedTimeZone;
using testing::LocalTime;

class CStatusRecorder : public CEventSink {
public:
    ~CStatusRecorder() override { UnsubscribeAll(); }
    bool OnChange(CWatchSite* site) {
        statuses.push_back(site->GetStatus());
        return true;
    }
    std::vector<std::int32_t> statuses;
};

std::string Store(CWatchSite& site) {
    std::string bytes;
    CArchive archive(bytes);
    site.Serialize(archive);
    return bytes;
}

void Load(CWatchSite& site, std::string_view bytes) {
    CArchive archive(bytes);
    site.Serialize(archive);
}

void AppendString(std::string& s, const std::string& text) {
    s.push_back(static_cast<char>(text.size()));  // short form; tests keep texts short
    s += text;
}

void AppendDword(std::string& s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}

class WatchSiteTest : public ::testing::Test {
protected:
    WatchSiteTest() : site(&fake.services) { site.Subscribe(&recorder, &CStatusRecorder::OnChange); }

    // A daily window from beginHour to endHour, all days, interval 120.
    void Periodic(int beginHour, int endHour) {
        CWatcherSettings settings = site.GetSettings();
        settings.SetAlwaysUpdate(false);
        settings.SetBeginTime(LocalTime(2001, 2, 3, beginHour, 0, 0));
        settings.SetEndTime(LocalTime(2001, 2, 3, endHour, 0, 0));
        site.SetSettings(settings);
    }

    CFakeServices fake;
    CStatusRecorder recorder;
    CWatchSite site;
};

// The schedule in two zones, east and west of UTC, with the clock set to
// local times.
class WatchSiteScheduleTest : public WatchSiteTest, public ::testing::WithParamInterface<const char*> {
protected:
    WatchSiteScheduleTest() : tz(GetParam()) {}
    void At(int hour, int minute, int second) {
        fake.clock.Set(LocalTime(2024, 5, 17, hour, minute, second));  // a Friday
    }
    CScopedTimeZone tz;
};

TEST_P(WatchSiteScheduleTest, NewPageIsDueAtOnceInAlwaysMode) {
    At(3, 0, 0);
    EXPECT_TRUE(site.IsDue());
    Periodic(8, 17);
    EXPECT_FALSE(site.IsDue()) << "outside the window";
    At(12, 0, 0);
    EXPECT_TRUE(site.IsDue());
}

TEST_P(WatchSiteScheduleTest, IntervalCountsFromTheLastSuccessfulDownload) {
    At(12, 0, 0);
    std::int64_t now = fake.clock.Now();
    site.SetLastUpdated(now - 119);
    EXPECT_FALSE(site.IsDue());
    site.SetLastUpdated(now - 120);
    EXPECT_TRUE(site.IsDue());
    site.SetLastUpdated(now + 5);  // a clock set back: not due until it catches up
    EXPECT_FALSE(site.IsDue());
}

TEST_P(WatchSiteScheduleTest, WindowBoundsAreInclusive) {
    Periodic(8, 17);
    const struct {
        int hour, minute, second;
        bool due;
    } cases[] = {{7, 59, 59, false}, {8, 0, 0, true}, {12, 30, 0, true},
                 {17, 0, 0, true},   {17, 0, 1, false}, {23, 59, 59, false}};
    for (const auto& c : cases) {
        At(c.hour, c.minute, c.second);
        EXPECT_EQ(site.IsDue(), c.due) << c.hour << ":" << c.minute << ":" << c.second;
    }
}

TEST_P(WatchSiteScheduleTest, WindowOverMidnightIsNeverDue) {
    Periodic(22, 6);
    for (int hour : {0, 3, 6, 12, 22, 23}) {
        At(hour, 0, 0);
        EXPECT_FALSE(site.IsDue()) << hour;
    }
}

TEST_P(WatchSiteScheduleTest, DaysWithoutTodayAreNeverDue) {
    At(12, 0, 0);
    CWatcherSettings settings = site.GetSettings();
    settings.SetDays(0x7F & ~Friday);
    site.SetSettings(settings);
    EXPECT_FALSE(site.IsDayEnabled());
    EXPECT_FALSE(site.IsDue());
    settings.SetDays(Friday);
    site.SetSettings(settings);
    EXPECT_TRUE(site.IsDue());
}

INSTANTIATE_TEST_SUITE_P(Zones, WatchSiteScheduleTest,
                         ::testing::Values("UTC0", "JST-9", "EST5EDT,M3.2.0,M11.1.0"));

TEST_F(WatchSiteTest, WeekdayIsTheLocalOne) {
    // Friday 20:00 UTC is already Saturday in Tokyo.
    CWatcherSettings settings = site.GetSettings();
    settings.SetDays(Friday);
    site.SetSettings(settings);
    {
        CScopedTimeZone tz("UTC0");
        fake.clock.Set(LocalTime(2024, 5, 17, 20, 0, 0));
        EXPECT_TRUE(site.IsDayEnabled());
    }
    CScopedTimeZone tz("JST-9");
    EXPECT_FALSE(site.IsDayEnabled());
    settings.SetDays(Saturday);
    site.SetSettings(settings);
    EXPECT_TRUE(site.IsDayEnabled());
}

TEST_F(WatchSiteTest, EnableAndDisable) {
    site.Enable(true);
    EXPECT_TRUE(recorder.statuses.empty()) << "enabling an enabled page announces nothing";
    EXPECT_EQ(site.GetStatus(), New);
    site.Enable(false);
    site.Enable(false);
    EXPECT_EQ(recorder.statuses, (std::vector<std::int32_t>{Disabled, Disabled}));
    EXPECT_FALSE(site.IsEnabled());
    site.Enable(true);  // never checked: due
    EXPECT_EQ(site.GetStatus(), Outdated);
    site.Enable(false);
    site.SetLastUpdated(fake.clock.Now());
    site.Enable(true);
    EXPECT_EQ(site.GetStatus(), Current);
}

TEST_F(WatchSiteTest, StatusAndLastUpdatedTexts) {
    // By value: 3 is Modified and 4 Updating, although the table lists them the other way.
    const char* expected[] = {"New", "Outdated", "Current", "Modified", "Updating", "Disabled"};
    for (std::int32_t status = New; status <= Disabled; ++status) {
        EXPECT_EQ(StatusText(status), expected[status]) << status;
    }
    EXPECT_EQ(StatusText(6), "") << "a stored status byte that is no status";
    EXPECT_EQ(StatusText(-1), "");
    EXPECT_EQ(LastUpdatedText(0), "Never");
    EXPECT_NE(LastUpdatedText(1700000000).find("2023"), std::string::npos) << LastUpdatedText(1700000000);
}

TEST_F(WatchSiteTest, HasChangesPerOutputMode) {
    site.SetPreviousContent("<p>one</p>\n<p>two</p>\n");
    site.SetLatestContent("<p>one</p>\n<p>two</p>\n<p>three</p>\n");  // an addition only
    const bool expected[] = {true, true, false, false, true};
    CWatcherSettings settings = site.GetSettings();
    for (std::int32_t mode = 0; mode <= 4; ++mode) {
        settings.SetOutputMode(mode);
        site.SetSettings(settings);
        EXPECT_EQ(site.HasChanges(), expected[mode]) << mode;
    }
    settings.SetOutputMode(9);
    site.SetSettings(settings);
    EXPECT_FALSE(site.HasChanges());

    site.SetPreviousContent("");
    for (std::int32_t mode = 0; mode <= 4; ++mode) {
        settings.SetOutputMode(mode);
        site.SetSettings(settings);
        EXPECT_FALSE(site.HasChanges()) << "empty baseline, mode " << mode;
    }
}

TEST_F(WatchSiteTest, SoundOnlyWhenModifiedAndSwitchedOn) {
    site.SetStatus(Current);
    site.PlayNotificationSound();
    EXPECT_EQ(fake.sound.Count(), 0u);
    site.SetStatus(Modified);
    site.PlayNotificationSound();
    ASSERT_EQ(fake.sound.Count(), 1u);
    EXPECT_EQ(fake.sound.played[0], "ringin.wav");
    CWatcherSettings settings = site.GetSettings();
    settings.SetNotifyFlags(NotifyLaunchBrowser);
    site.SetSettings(settings);
    site.PlayNotificationSound();
    EXPECT_EQ(fake.sound.Count(), 1u);
}

// A page with every field set, stored and loaded back.
TEST_F(WatchSiteTest, RecordRoundTripIsByteExact) {
    site.SetUrl("http://example.com/a");
    site.SetName("Example");
    site.SetPreviousContent(std::string(70000, 'p'));
    site.SetLatestContent("latest");
    site.SetLastUpdated(1234567890);
    site.SetStatus(Updating);
    CWatcherSettings settings = site.GetSettings();
    settings.SetPassword("pw");
    site.SetSettings(settings);
    std::string bytes = Store(site);

    CWatchSite loaded(&fake.services);
    CStatusRecorder loadRecorder;
    loaded.Subscribe(&loadRecorder, &CStatusRecorder::OnChange);
    Load(loaded, bytes);
    EXPECT_EQ(Store(loaded), bytes);
    EXPECT_EQ(loaded.GetStatus(), Updating) << "taken as stored";
    EXPECT_EQ(loaded.GetSettings().GetPassword(), "pw");
    EXPECT_TRUE(loadRecorder.statuses.empty()) << "loading announces nothing";
    // The page's version word follows the settings record (69 bytes + "pw").
    EXPECT_EQ(bytes.substr(71, 2), std::string("\x04\x00", 2));
}

TEST_F(WatchSiteTest, ValidatorsMakeAVersionFiveRecordAndOnlyThen) {
    site.SetLatestContent("latest");
    const std::string v4 = Store(site);
    site.SetValidators("\"e1\"", "Mon, 01 Jan 2024 00:00:00 GMT");
    const std::string v5 = Store(site);
    std::string expected = v4;  // with the version word raised and two strings more
    expected[69] = 5;
    AppendString(expected, "\"e1\"");
    AppendString(expected, "Mon, 01 Jan 2024 00:00:00 GMT");
    EXPECT_EQ(v5, expected);
    CWatchSite loaded(&fake.services);
    Load(loaded, v5);
    EXPECT_EQ(loaded.GetETag() + loaded.GetLastModified(), "\"e1\"Mon, 01 Jan 2024 00:00:00 GMT");
    Load(loaded, v4);  // validators vouch for their version: none without them
    EXPECT_EQ(loaded.GetETag(), "");
    site.SetValidators("", "");
    EXPECT_EQ(Store(site), v4);
}

TEST_F(WatchSiteTest, OlderPageRecordsLoadFieldForField) {
    CWatcherSettings defaults;
    std::string settingsRecord;
    {
        CArchive archive(settingsRecord);
        defaults.Serialize(archive);
    }
    auto record = [&](std::uint16_t version) {
        std::string s = settingsRecord;
        s.push_back(static_cast<char>(version));
        s.push_back(0);
        AppendString(s, "http://old/");
        AppendString(s, "before");
        AppendString(s, "after");
        AppendDword(s, 1000);
        return s;
    };
    {
        std::string v1 = record(1) + "\x63" + "\x03" + "!";  // a byte of no use, status Modified
        CWatchSite page(&fake.services);
        page.SetName("kept");
        CArchive archive(std::string_view{v1});
        page.Serialize(archive);
        EXPECT_EQ(page.GetUrl(), "http://old/");
        EXPECT_EQ(page.GetPreviousContent(), "before");
        EXPECT_EQ(page.GetLatestContent(), "after");
        EXPECT_EQ(page.GetLastUpdated(), 1000);
        EXPECT_EQ(page.GetStatus(), Modified);
        EXPECT_EQ(page.GetName(), "kept");
        EXPECT_EQ(archive.ReadByte(), '!');
    }
    {
        std::string v2 = record(2) + "\x05" + "!";
        CWatchSite page(&fake.services);
        CArchive archive(std::string_view{v2});
        page.Serialize(archive);
        EXPECT_EQ(page.GetStatus(), Disabled);
        EXPECT_EQ(page.GetName(), "");
        EXPECT_EQ(archive.ReadByte(), '!');
    }
    {
        std::string v3 = record(3) + "\x02";
        AppendString(v3, "Named");
        v3 += "!";
        CWatchSite page(&fake.services);
        CArchive archive(std::string_view{v3});
        page.Serialize(archive);
        EXPECT_EQ(page.GetName(), "Named");
        EXPECT_EQ(page.GetFailures(), 0);
        EXPECT_EQ(archive.ReadByte(), '!');
    }
    {
        std::string v4 = record(4) + "\x01";
        AppendString(v4, "Four");
        AppendDword(v4, 2);
        CWatchSite page(&fake.services);
        Load(page, v4);
        EXPECT_EQ(page.GetFailures(), 2);
        EXPECT_EQ(Store(page), v4);
    }
}

// Thousands of truncated and corrupted records: each either loads or raises
// the archive's exception; nothing else, and no huge allocation (ASan would
// abort on one).
TEST_F(WatchSiteTest, DamagedRecordsNeverCrashTheLoader) {
    site.SetUrl("http://example.com/");
    site.SetName("name");
    site.SetPreviousContent(std::string(300, 'a'));
    site.SetLatestContent(std::string(70000, 'b'));
    site.SetValidators("\"etag\"", "Mon, 01 Jan 2024 00:00:00 GMT");
    std::string good = Store(site);
    std::mt19937 random(20240517);
    int loaded = 0;
    int failed = 0;
    auto attempt = [&](std::string_view bytes) {
        CWatchSite page(&fake.services);
        try {
            Load(page, bytes);
            ++loaded;
        } catch (const CArchiveException&) {
            ++failed;
        }
    };
    for (std::size_t cut = 0; cut < good.size(); cut += (cut < 400 ? 1 : 997)) {
        attempt(std::string_view{good}.substr(0, cut));
    }
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = good.substr(0, std::uniform_int_distribution<std::size_t>(0, good.size())(random));
        int flips = std::uniform_int_distribution<int>(1, 8)(random);
        for (int i = 0; i < flips && !bytes.empty(); ++i) {
            // Most damage lands in the prefixes and small fields at the front.
            std::size_t limit = std::min<std::size_t>(bytes.size(), round % 2 ? 120 : bytes.size());
            std::size_t at = std::uniform_int_distribution<std::size_t>(0, limit - 1)(random);
            bytes[at] = static_cast<char>(round % 3 == 0 ? 0xFF : random());
        }
        attempt(bytes);
    }
    EXPECT_GT(loaded, 0);
    EXPECT_GT(failed, 1000);
}

TEST_F(WatchSiteTest, AssignCopiesEverythingButSubscriptions) {
    CWatchSite source(&fake.services);
    source.SetUrl("http://a/");
    source.SetName("A");
    source.SetPreviousContent("p");
    source.SetLatestContent("l");
    source.SetLastUpdated(77);
    source.Enable(false);
    CWatcherSettings settings;
    settings.SetUserName("user");
    source.SetSettings(settings);
    site.Assign(source);
    EXPECT_EQ(Store(site), Store(source));
    EXPECT_TRUE(recorder.statuses.empty()) << "Assign announces nothing";

    CWatchSite copy(source);
    EXPECT_EQ(Store(copy), Store(source));
    EXPECT_EQ(copy.CountSubscriptions(), 0u);
}

TEST_F(WatchSiteTest, ConcurrentAssignsInBothDirectionsDoNotDeadlock) {
    CWatchSite other(&fake.services);
    other.SetLatestContent(std::string(1000, 'o'));
    site.SetLatestContent(std::string(1000, 's'));
    std::thread a([&] {
        for (int i = 0; i < 2000; ++i) site.Assign(other);
    });
    std::thread b([&] {
        for (int i = 0; i < 2000; ++i) {
            other.Assign(site);
            other.SetLatestContent(std::to_string(i));
        }
    });
    a.join();
    b.join();
    std::string latest = site.GetLatestContent();
    EXPECT_FALSE(latest.empty());
}

}  // namespace
}  // namespace tallyhawk
