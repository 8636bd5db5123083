#include "app/AppSettings.h"

#include <gtest/gtest.h>

#include "app/MessageLog.h"
#include "base/Archive.h"
#include "platform/PlatformTestUtil.h"

namespace tallyhawk {
namespace {

using testing::CScopedEnv;
using testing::CScratchFolder;

TEST(AppSettingsTest, DefaultsAndRecordBytes) {
    CScratchFolder scratch;
    CScopedEnv state("XDG_STATE_HOME", scratch.path.c_str());
    CAppSettings settings;
    EXPECT_EQ(settings.GetLogFile(), scratch / "tallyhawk/log.txt");
    EXPECT_TRUE(std::filesystem::is_directory(scratch / "tallyhawk"));
    EXPECT_TRUE(settings.GetLoggingEnabled());
    EXPECT_EQ(settings.GetMaximumLines(), 500);

    settings.SetLogFile("/l");
    settings.SetLoggingEnabled(false);
    settings.SetMaximumLines(-1);
    std::string bytes;
    {
        CArchive out(bytes);
        settings.Serialize(out);
    }
    EXPECT_EQ(bytes, std::string("\x01\x00\x02/l\x00\xFF\xFF\xFF\xFF", 10));

    bytes[5] = 7;  // any non-zero byte turns logging on
    bytes[0] = 9;  // the version is ignored
    CAppSettings loaded;
    CArchive in(std::string_view{bytes});
    loaded.Serialize(in);
    EXPECT_EQ(loaded.GetLogFile(), "/l");
    EXPECT_TRUE(loaded.GetLoggingEnabled());
    EXPECT_EQ(loaded.GetMaximumLines(), -1);
}

TEST(AppSettingsTest, LimitsMakeVersionTwoThreeOrFourOnlyWhenTheyAreNotTheDefaults) {
    CScratchFolder scratch;
    CScopedEnv state("XDG_STATE_HOME", scratch.path.c_str());
    auto store = [](CAppSettings& settings) {
        std::string bytes;
        {
            CArchive out(bytes);
            settings.Serialize(out);
        }
        return bytes;
    };
    auto load = [](const std::string& bytes) {
        CAppSettings loaded;
        loaded.SetTimeLimit(999);
        CArchive in(std::string_view{bytes});
        loaded.Serialize(in);
        return loaded;
    };
    CAppSettings settings;
    settings.SetLogFile("/l");
    EXPECT_EQ(settings.GetTimeLimit(), 120);
    const std::string versionOne("\x01\x00\x02/l\x01\xF4\x01\x00\x00", 10);
    EXPECT_EQ(store(settings), versionOne);
    EXPECT_EQ(load(versionOne).GetTimeLimit(), 120);

    settings.SetTimeLimit(45);
    const std::string versionTwo = store(settings);
    EXPECT_EQ(versionTwo, std::string("\x02\x00\x02/l\x01\xF4\x01\x00\x00\x2D\x00\x00\x00", 14));
    EXPECT_EQ(load(versionTwo).GetTimeLimit(), 45);
    EXPECT_EQ(load(versionTwo).GetMaximumLines(), 500);
    settings.SetTimeLimit(120);
    EXPECT_EQ(store(settings), versionOne);  // back to the default: back to version 1

    // Out of range, from a hand-made record, is brought into range.
    std::string hostile = versionTwo;
    hostile.replace(10, 4, "\xFF\xFF\xFF\xFF", 4);
    EXPECT_EQ(load(hostile).GetTimeLimit(), CAppSettings::kMinimumTimeLimit);
    hostile.replace(10, 4, "\x00\x00\x00\x7F", 4);
    EXPECT_EQ(load(hostile).GetTimeLimit(), CAppSettings::kMaximumTimeLimit);
    // A version 2 record cut inside the field fails as any cut record does.
    EXPECT_THROW(load(versionTwo.substr(0, 12)), CArchiveException);

    // The limits of downloads at once make version 3, the time limit with them.
    settings.SetTransfersPerServer(4);
    const std::string versionThree = store(settings);
    EXPECT_EQ(versionThree, std::string("\x03\x00\x02/l\x01\xF4\x01\x00\x00\x78\x00\x00\x00"
                                        "\x10\x00\x00\x00\x04\x00\x00\x00", 22));
    EXPECT_EQ(load(versionThree).GetTransfersPerServer(), 4);
    EXPECT_EQ(load(versionThree).GetTransfers(), 16);
    EXPECT_EQ(load(versionTwo).GetTransfersPerServer(), 2);
    hostile = versionThree;
    hostile.replace(14, 4, "\x00\x00\x00\x00", 4);
    EXPECT_EQ(load(hostile).GetTransfers(), 1);
    settings.SetTransfersPerServer(2);
    EXPECT_EQ(store(settings), versionOne);

    // The history's retention makes version 4, the limits before it.
    settings.SetHistoryDays(0);
    const std::string versionFour = store(settings);
    EXPECT_EQ(versionFour, std::string("\x04\x00\x02/l\x01\xF4\x01\x00\x00\x78\x00\x00\x00"
                                       "\x10\x00\x00\x00\x02\x00\x00\x00"
                                       "\xF4\x01\x00\x00\x00\x00\x00\x00", 30));
    EXPECT_EQ(load(versionFour).GetHistoryDays(), 0);
    EXPECT_EQ(load(versionFour).GetHistoryVersions(), 500);
    EXPECT_EQ(load(versionThree).GetHistoryDays(), 730);
    hostile = versionFour;
    hostile.replace(22, 4, "\xFF\xFF\xFF\xFF", 4);
    EXPECT_EQ(load(hostile).GetHistoryVersions(), 0) << "a negative count is no bound, not a crash";
    settings.SetHistoryDays(730);
    EXPECT_EQ(store(settings), versionOne);

    settings.SetTimeLimit(20);
    EXPECT_EQ(settings.GetTimeLimits().total, std::chrono::seconds(20));
    EXPECT_EQ(settings.GetTimeLimits().stall, std::chrono::seconds(20));
    EXPECT_EQ(settings.GetTimeLimits().connect, std::chrono::seconds(20));
}

TEST(AppSettingsTest, ApplyToSetsTheLogAndTrims) {
    CScratchFolder scratch;
    CScopedEnv state("XDG_STATE_HOME", scratch.path.c_str());
    CMessageLog log;
    log.SetLogToFile(false);
    for (int i = 0; i < 5; ++i) log.Add("m", "u");
    CAppSettings settings;
    settings.SetLoggingEnabled(false);
    settings.SetLogFile(scratch / "x.txt");
    settings.SetMaximumLines(2);
    settings.ApplyTo(log);
    EXPECT_FALSE(log.GetLogToFile());
    EXPECT_EQ(log.GetLogFile(), scratch / "x.txt");
    EXPECT_EQ(log.GetCount(), 2);
}

}  // namespace
}  // namespace tallyhawk
