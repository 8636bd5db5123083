// The settings store: blobs in a folder of the test's own.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "app/AppSettings.h"
#include "app/SettingsStore.h"
#include "engine/EngineTestUtil.h"
#include "engine/WatchSite.h"

namespace tallyhawk {
namespace {

using testing::CFakeServices;

class SettingsStoreTest : public ::testing::Test {
protected:
    SettingsStoreTest() : store(fake.scratch / "config/Brindlecote/Tallyhawk") {}
    std::string Stored(const std::string& name) {
        std::ifstream in(store.Folder() + name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    CFakeServices fake;
    CFileSettingsStore store;
};

TEST_F(SettingsStoreTest, FirstRunKeepsTheDefaultsAndWritesNothing) {
    CWatchSite page(&fake.services);
    CAppSettings app;
    const std::string logFile = app.GetLogFile();
    EXPECT_FALSE(LoadDefaultPage(store, page));
    EXPECT_FALSE(LoadAppSettings(store, app));
    EXPECT_EQ(page.GetSettings().GetInterval(), 120);
    EXPECT_EQ(app.GetLogFile(), logFile);
    EXPECT_EQ(app.GetMaximumLines(), 500);
    struct stat info {};
    EXPECT_NE(stat(store.Folder().c_str(), &info), 0) << "the folder is made on the first write only";
}

TEST_F(SettingsStoreTest, ValuesRoundTripAsLengthPrefixedRecords) {
    CWatchSite page(&fake.services);
    CWatcherSettings settings = page.GetSettings();
    settings.SetInterval(3600);
    settings.SetUserName("ann");
    page.SetSettings(settings);
    SaveDefaultPage(store, page);
    CAppSettings app;
    app.SetLogFile("/var/tmp/x.log");
    app.SetLoggingEnabled(false);
    app.SetMaximumLines(42);
    SaveAppSettings(store, app);

    const std::string blob = Stored("AppSettings");
    ASSERT_GE(blob.size(), 4u);
    EXPECT_EQ(std::string(blob, 0, 4), std::string("\x1A\x00\x00\x00", 4));  // 4 + 2 + 15 + 1 + 4
    EXPECT_EQ(blob.size(), 26u);
    struct stat info {};
    ASSERT_EQ(stat((store.Folder() + "SiteSettings").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    CWatchSite loaded(&fake.services);
    CAppSettings loadedApp;
    EXPECT_TRUE(LoadDefaultPage(store, loaded));
    EXPECT_TRUE(LoadAppSettings(store, loadedApp));
    EXPECT_EQ(loaded.GetSettings().GetInterval(), 3600);
    EXPECT_EQ(loaded.GetSettings().GetUserName(), "ann");
    EXPECT_EQ(loadedApp.GetLogFile(), "/var/tmp/x.log");
    EXPECT_FALSE(loadedApp.GetLoggingEnabled());
    EXPECT_EQ(loadedApp.GetMaximumLines(), 42);
}

TEST_F(SettingsStoreTest, LengthWordIsNotCheckedAndAShortValueKeepsWhatWasRead) {
    CAppSettings app;
    app.SetLogFile("/x.log");
    app.SetMaximumLines(9);
    std::string blob = MakeBlob(app);
    blob[0] = '\x77';  // wrong length: read all the same
    store.Write("AppSettings", blob);
    CAppSettings loaded;
    EXPECT_TRUE(LoadAppSettings(store, loaded));
    EXPECT_EQ(loaded.GetMaximumLines(), 9);

    store.Write("AppSettings", blob.substr(0, blob.size() - 2));  // cut inside the last field
    CAppSettings partial;
    EXPECT_FALSE(LoadAppSettings(store, partial));
    EXPECT_EQ(partial.GetLogFile(), "/x.log");
    EXPECT_EQ(partial.GetMaximumLines(), 500);
}

}  // namespace
}  // namespace tallyhawk
