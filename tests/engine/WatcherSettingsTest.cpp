#include "engine/WatcherSettings.h"

#include <gtest/gtest.h>

#include "base/Archive.h"
#include "engine/EngineTestUtil.h"
#include "engine/LocalTime.h"

namespace tallyhawk {
namespace {

using testing::CScopedTimeZone;

std::string Store(CWatcherSettings& settings) {
    std::string bytes;
    CArchive archive(bytes);
    settings.Serialize(archive);
    return bytes;
}

void AppendDword(std::string& s, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}

// The 69 bytes of a fresh record, with the two times given.
std::string DefaultRecord(std::int32_t begin, std::int32_t end) {
    std::string s("\x06\x00\x01", 3);
    AppendDword(s, static_cast<std::uint32_t>(begin));
    AppendDword(s, static_cast<std::uint32_t>(end));
    AppendDword(s, 0x11);
    s += "\x0Bnotepad.exe";
    s += "\x0Aringin.wav";
    for (std::uint32_t v : {120u, 0u, 0u, 3u}) AppendDword(s, v);
    s.push_back(4);
    for (std::uint32_t v : {0x64FFFFu, 0x6464FFu, 255u}) AppendDword(s, v);
    s.append(2, '\0');
    return s;
}

// Fields 1-10 of a record of `version`, with recognisable values.
std::string RecordHead(std::uint16_t version) {
    std::string s;
    s.push_back(static_cast<char>(version));
    s.push_back(static_cast<char>(version >> 8));
    s.push_back(2);  // alwaysUpdate: any non-zero byte is true
    AppendDword(s, 3600);
    AppendDword(s, 7200);
    AppendDword(s, NotifyLaunchApplication);
    s += "\x02vw";
    s += "\x03snd";
    for (std::uint32_t v : {60u, 1u, 2u, 9u}) AppendDword(s, v);
    return s;
}

CWatcherSettings NonDefaultTail() {
    CWatcherSettings settings;
    settings.SetOutputMode(DeletionsAsText);
    settings.SetHighlightColor(1);
    settings.SetSecondHighlightColor(2);
    settings.SetDays(Monday);
    settings.SetUserName("ann");
    settings.SetPassword("secret");
    return settings;
}

TEST(WatcherSettingsTest, FreshRecordIsTheSixtyNineBytesInEveryZone) {
    struct Zone {
        const char* tz;
        std::int32_t begin;
        std::int32_t end;
    };
    // 08:00 and 17:00 local on 1 January 1970; east of UTC that is before 1970.
    const Zone zones[] = {
        {"UTC0", 8 * 3600, 17 * 3600},
        {"EST5EDT,M3.2.0,M11.1.0", 13 * 3600, 22 * 3600},
        {"JST-9", -3600, 8 * 3600},
        {"XST-14", -6 * 3600, 3 * 3600},
        {"NPT-5:45", 8 * 3600 - 5 * 3600 - 45 * 60, 17 * 3600 - 5 * 3600 - 45 * 60},
    };
    for (const Zone& zone : zones) {
        CScopedTimeZone tz(zone.tz);
        CWatcherSettings settings;
        std::string bytes = Store(settings);
        EXPECT_EQ(bytes.size(), 69u);
        EXPECT_EQ(bytes, DefaultRecord(zone.begin, zone.end)) << zone.tz;
        std::tm begin = ToLocal(settings.GetStoredBeginTime());
        std::tm end = ToLocal(settings.GetStoredEndTime());
        EXPECT_EQ(begin.tm_hour * 3600 + begin.tm_min * 60 + begin.tm_sec, 8 * 3600) << zone.tz;
        EXPECT_EQ(end.tm_hour * 3600 + end.tm_min * 60 + end.tm_sec, 17 * 3600) << zone.tz;
        // Stored and loaded back, the local times of day survive.
        CWatcherSettings loaded;
        loaded.SetBeginTime(0);
        CArchive in(std::string_view{bytes});
        loaded.Serialize(in);
        EXPECT_EQ(loaded.GetStoredBeginTime(), zone.begin);
    }
}

TEST(WatcherSettingsTest, RoundTripOfEveryFieldAndBooleanNormalised) {
    CWatcherSettings original = NonDefaultTail();
    original.SetAlwaysUpdate(false);
    original.SetInterval(-5);
    original.SetViewer(std::string(300, 'v'));
    std::string bytes = Store(original);
    CWatcherSettings loaded;
    CArchive in(std::string_view{bytes});
    loaded.Serialize(in);
    EXPECT_EQ(Store(loaded), bytes);
    EXPECT_EQ(loaded.GetPassword(), "secret");
    EXPECT_EQ(loaded.GetInterval(), -5);

    std::string two = RecordHead(6) + std::string(1, 4) + std::string(12, '\0') + std::string(2, '\0');
    CWatcherSettings fromTwo;
    CArchive in2(std::string_view{two});
    fromTwo.Serialize(in2);
    EXPECT_TRUE(fromTwo.GetAlwaysUpdate());
    EXPECT_EQ(Store(fromTwo)[2], 1) << "a stored 2 is written back as 1";
}

TEST(WatcherSettingsTest, OlderVersionsReadTheirFieldsAndKeepTheRest) {
    // Version 1: three legacy fields in place of 11-16, read and dropped.
    {
        std::string bytes = RecordHead(1) + "\x01x" + std::string(1, 7) + std::string(4, '\x7F') + "!";
        CWatcherSettings settings = NonDefaultTail();
        CArchive in(std::string_view{bytes});
        settings.Serialize(in);
        EXPECT_EQ(in.ReadByte(), '!') << "exactly the legacy fields consumed";
        EXPECT_TRUE(settings.GetAlwaysUpdate());
        EXPECT_EQ(settings.GetStoredBeginTime(), 3600);
        EXPECT_EQ(settings.GetStoredEndTime(), 7200);
        EXPECT_EQ(settings.GetViewer(), "vw");
        EXPECT_EQ(settings.GetSoundFile(), "snd");
        EXPECT_EQ(settings.GetRetryCount(), 9);
        EXPECT_EQ(settings.GetOutputMode(), DeletionsAsText);
        EXPECT_EQ(settings.GetUserName(), "ann");
    }
    // Version 2 ends after field 10.
    {
        std::string bytes = RecordHead(2) + "!";
        CWatcherSettings settings = NonDefaultTail();
        CArchive in(std::string_view{bytes});
        settings.Serialize(in);
        EXPECT_EQ(in.ReadByte(), '!');
        EXPECT_EQ(settings.GetOutputMode(), DeletionsAsText);
    }
    // Version 3 loads the output mode but keeps colours, days and credentials.
    {
        std::string bytes = RecordHead(3) + std::string(1, AdditionsAsHtml);
        CWatcherSettings settings = NonDefaultTail();
        CArchive in(std::string_view{bytes});
        settings.Serialize(in);
        EXPECT_EQ(settings.GetOutputMode(), AdditionsAsHtml);
        EXPECT_EQ(settings.GetHighlightColor(), 1u);
        EXPECT_EQ(settings.GetDays(), Monday);
        EXPECT_EQ(settings.GetPassword(), "secret");
    }
    // Version 5 has the days but no credentials; version 8 reads as 7.
    {
        std::string tail = std::string(1, 0);
        AppendDword(tail, 10);
        AppendDword(tail, 20);
        AppendDword(tail, Sunday);
        std::string bytes5 = RecordHead(5) + tail;
        CWatcherSettings settings = NonDefaultTail();
        CArchive in(std::string_view{bytes5});
        settings.Serialize(in);
        EXPECT_EQ(settings.GetDays(), Sunday);
        EXPECT_EQ(settings.GetSecondHighlightColor(), 20u);
        EXPECT_EQ(settings.GetUserName(), "ann");

        std::string bytes7 = RecordHead(8) + tail + "\x01u\x01p" + std::string("\x00\x00\x00\x00\x00", 5);
        CArchive in7(std::string_view{bytes7});
        settings.Serialize(in7);
        EXPECT_EQ(settings.GetUserName(), "u");
        EXPECT_EQ(settings.GetPassword(), "p");
    }
}

TEST(WatcherSettingsTest, TruncatedRecordRaisesEndOfFile) {
    CWatcherSettings settings;
    std::string bytes = Store(settings);
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        CWatcherSettings target;
        CArchive in(std::string_view{bytes}.substr(0, cut));
        EXPECT_THROW(target.Serialize(in), CArchiveException) << cut;
    }
}

TEST(WatcherSettingsTest, AssignCopiesEveryFieldCredentialsIncluded) {
    CWatcherSettings source = NonDefaultTail();
    source.SetAlwaysUpdate(false);
    source.SetBeginTime(1);
    source.SetSoundFile("bell.wav");
    CWatcherSettings copy;
    copy.Assign(source);
    EXPECT_EQ(Store(copy), Store(source));
    EXPECT_EQ(copy.GetUserName(), "ann");
    EXPECT_EQ(copy.GetPassword(), "secret");
}

TEST(WatcherSettingsTest, WindowGettersUseTheGivenDateWithStoredTimeOfDay) {
    CScopedTimeZone tz("JST-9");
    CWatcherSettings settings;
    std::int64_t day = testing::LocalTime(2024, 5, 17, 23, 30, 0);
    EXPECT_EQ(settings.GetBeginTimeOn(day), testing::LocalTime(2024, 5, 17, 8, 0, 0));
    EXPECT_EQ(settings.GetEndTimeOn(day), testing::LocalTime(2024, 5, 17, 17, 0, 0));
    settings.SetEndTime(testing::LocalTime(1999, 1, 1, 6, 7, 8));
    EXPECT_EQ(settings.GetEndTimeOn(day), testing::LocalTime(2024, 5, 17, 6, 7, 8));
}

// The settings of what to watch make a version-7 record; one that uses
// none of them stays the version-6 record older releases read, byte for
// byte, even after a round trip through version 7.
TEST(WatcherSettingsTest, WatchSettingsNeedVersion7AndPlainOnesStayVersion6) {
    CScopedTimeZone tz("UTC0");
    CWatcherSettings plain = NonDefaultTail();
    const std::string version6 = Store(plain);
    ASSERT_EQ(version6.substr(0, 2), std::string("\x06\x00", 2));

    CWatcherSettings watching = NonDefaultTail();
    watching.SetCompareWhat(CWatcherSettings::CompareText);
    watching.SetRegion("main article");
    // A blank entry and a trailing one are kept as typed, so the bytes read
    // back unchanged.
    watching.SetIgnoreRegions({".ad", "", "#trending"});
    watching.SetIgnoreText({"\\d+ people are viewing", ""});
    watching.SetLearnNoise(true);
    const std::string version7 = Store(watching);
    ASSERT_EQ(version7.substr(0, 2), std::string("\x07\x00", 2));
    std::string tail = version6.substr(2);
    std::string expected = std::string("\x07\x00", 2) + tail;
    expected += '\x01';
    expected += "\x0Cmain article";
    expected += "\x0E.ad\n\n#trending";
    expected += std::string("\x17\\d+ people are viewing\n");
    expected += '\x01';
    EXPECT_EQ(version7, expected);

    CWatcherSettings read;
    CArchive in(std::string_view{version7});
    read.Serialize(in);
    EXPECT_EQ(Store(read), version7);
    EXPECT_EQ(read.GetIgnoreRegions(), (std::vector<std::string>{".ad", "", "#trending"}));
    EXPECT_EQ(read.GetIgnoreText(), (std::vector<std::string>{"\\d+ people are viewing", ""}));

    // Each field alone is enough to need version 7; back to plain, version 6.
    for (int field = 0; field < 5; ++field) {
        CWatcherSettings one = plain;
        if (field == 0) one.SetCompareWhat(CWatcherSettings::CompareText);
        if (field == 1) one.SetRegion("#x");
        if (field == 2) one.SetIgnoreRegions({".x"});
        if (field == 3) one.SetIgnoreText({"x"});
        if (field == 4) one.SetLearnNoise(true);
        EXPECT_EQ(Store(one)[0], 7) << field;
        CWatcherSettings back = one;
        back.SetCompareWhat(CWatcherSettings::CompareSource);
        back.SetRegion("");
        back.SetIgnoreRegions({});
        back.SetIgnoreText({});
        back.SetLearnNoise(false);
        EXPECT_EQ(Store(back), version6) << field;
    }

    // An older record read over a page that watches its text leaves the
    // choice alone; a newer version reads as far as this one knows it; a
    // comparison this release does not know reads as the source.
    CWatcherSettings over = watching;
    CArchive old(std::string_view{version6});
    over.Serialize(old);
    EXPECT_EQ(over.GetRegion(), "main article");
    std::string newer = version7 + "later field";
    newer[0] = 9;
    newer[version6.size()] = 5;
    CWatcherSettings future;
    CArchive futureIn(std::string_view{newer});
    future.Serialize(futureIn);
    EXPECT_EQ(future.GetCompareWhat(), CWatcherSettings::CompareSource);
    EXPECT_EQ(future.GetRegion(), "main article");
    EXPECT_TRUE(future.GetLearnNoise());
}

}  // namespace
}  // namespace tallyhawk
