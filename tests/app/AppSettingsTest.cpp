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
