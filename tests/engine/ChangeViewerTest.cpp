#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "base/Archive.h"
#include "base/Exception.h"
#include "base/StringTable.h"
#include "diff/ChangeDetector.h"
#include "engine/BrowserLauncher.h"
#include "engine/EngineTestUtil.h"
#include "engine/WatchSite.h"

namespace tallyhawk {
namespace {

using testing::CFakeServices;
using testing::ReadFile;
using Argv = std::vector<std::string>;

const std::string kBefore = "<p>one</p>\n<p>two</p>\n<p>three</p>\n";
const std::string kAfter = "<p>one</p>\n<p>2</p>\n<p>three</p>\n<p>four</p>\n";

class ChangeViewerTest : public ::testing::Test {
protected:
    ChangeViewerTest() : site(&fake.services) {
        site.SetUrl("http://example.com/");
        site.SetPreviousContent(kBefore);
        site.SetLatestContent(kAfter);
    }

    void Configure(std::int32_t mode, std::uint32_t notify, const std::string& viewer = "notepad.exe") {
        CWatcherSettings settings = site.GetSettings();
        settings.SetOutputMode(mode);
        settings.SetNotifyFlags(notify);
        settings.SetViewer(viewer);
        settings.SetHighlightColor(0x123456);
        settings.SetSecondHighlightColor(0xABCDEF);
        site.SetSettings(settings);
    }

    // What the detector gives for the page in `mode`, with the page's colours
    // and address.
    std::string ExpectedOutput(std::int32_t mode) {
        CChangeDetector detector;
        detector.SetColors(0x123456, 0xABCDEF);
        detector.SetContext({site.GetUrl(), "", "", ""});
        detector.Compare(site.GetPreviousContent(), site.GetLatestContent());
        return detector.Output(static_cast<OutputMode>(mode));
    }

    std::size_t FilesInTemp() {
        std::error_code ignored;
        auto it = std::filesystem::directory_iterator(fake.TempPath(""), ignored);
        return ignored ? 0 : static_cast<std::size_t>(std::distance(it, {}));
    }

    CFakeServices fake;
    CWatchSite site;
};

TEST_F(ChangeViewerTest, EachModeWritesItsOutputForBrowserAndViewer) {
    const char* viewerTypes[] = {"txt", "html", "txt", "html", "html"};
    for (std::int32_t mode = 0; mode <= 4; ++mode) {
        Configure(mode, NotifyLaunchBrowser | NotifyLaunchApplication);
        fake.launcher.launched.clear();
        site.ShowChanges();
        std::vector<std::string> files = site.GetTempFiles();
        ASSERT_EQ(files.size(), 2u) << mode;
        EXPECT_EQ(files[0], fake.TempPath(std::to_string(fake.tick - 1) + ".html"));
        EXPECT_EQ(files[1], fake.TempPath(std::to_string(fake.tick) + "." + viewerTypes[mode]));
        std::string expected = ExpectedOutput(mode);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(ReadFile(files[0]), expected) << mode;
        EXPECT_EQ(ReadFile(files[1]), expected) << mode;
        // Browser first (the desktop's opener, no default browser known), then
        // the default viewer, which is the desktop's text viewer here.
        EXPECT_EQ(fake.launcher.launched,
                  (std::vector<Argv>{{"xdg-open", "file://" + files[0]}, {"xdg-open", files[1]}}));
        struct stat st {};
        ASSERT_EQ(stat(files[0].c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
    EXPECT_EQ(FilesInTemp(), 2u) << "each viewing deletes the files of the one before";
}

TEST_F(ChangeViewerTest, ChangeFilesCarryThePagesAddressCharacterSetAndTime) {
    const std::string head = "<html><head><title>T</title></head>\n";
    site.SetUrl("example.com/shop");
    site.SetName("Shop");
    site.SetLastUpdated(1700000000);
    site.SetPreviousContent(head + kBefore);
    site.SetLatestContent(head + kAfter);
    site.SetLatestContentType("text/html; charset=windows-1252");
    auto view = [&](std::int32_t mode) {
        Configure(mode, NotifyLaunchBrowser);
        site.ShowChanges();
        return ReadFile(site.GetTempFiles().at(0));
    };
    EXPECT_EQ(view(HighlightedHtml)
                  .rfind("<html><head><meta charset=\"windows-1252\">\n"
                         "<base href=\"http://example.com/shop\">\n<title>T",
                         0),
              0u);
    const std::string added = view(AdditionsAsHtml);
    EXPECT_NE(
        added.find("<meta charset=\"windows-1252\">\n<base href=\"http://example.com/shop\">\n"
                   "<title>Added to Shop</title>"),
        std::string::npos)
        << added;
    EXPECT_NE(added.find("Changes found " + LastUpdatedText(1700000000)), std::string::npos);
    EXPECT_NE(added.find("<p>2</p>\n<p>four</p>\n"), std::string::npos);
    EXPECT_EQ(view(AdditionsAsText), "2\r\nfour\r\n") << "text stays text";

    // Copied with the page; never stored, so a page read from a document
    // has none and keeps its own <meta>.
    CWatchSite copy(site);
    EXPECT_EQ(copy.GetLatestContentType(), "text/html; charset=windows-1252");
    std::string stored;
    CArchive writer(stored);
    site.Serialize(writer);
    CWatchSite loaded(&fake.services);
    CArchive reader{std::string_view(stored)};
    loaded.Serialize(reader);
    EXPECT_EQ(loaded.GetLatestContentType(), "");
}

TEST_F(ChangeViewerTest, NothingWrittenWhenNothingIsToBeShown) {
    auto expectNothing = [&](const char* why) {
        site.ShowChanges();
        EXPECT_TRUE(site.GetTempFiles().empty()) << why;
        EXPECT_TRUE(fake.launcher.launched.empty()) << why;
        EXPECT_EQ(FilesInTemp(), 0u) << why;
    };
    Configure(HighlightedHtml, NotifyPlaySound | NotifyFlashTrayIcon);
    expectNothing("neither launch flag");
    site.SetLatestContent(kBefore + "<p>added</p>\n");
    Configure(DeletionsAsText, NotifyLaunchBrowser | NotifyLaunchApplication);
    expectNothing("deletions mode with additions only");
    site.SetLatestContent(kBefore);
    Configure(HighlightedHtml, NotifyLaunchBrowser | NotifyLaunchApplication);
    expectNothing("identical texts");
    site.SetPreviousContent("");
    site.SetLatestContent(kAfter);
    expectNothing("empty baseline");
    site.SetPreviousContent(kBefore);
    Configure(7, NotifyLaunchBrowser);
    expectNothing("unknown output mode");
}

TEST_F(ChangeViewerTest, ProgramsAreTrimmedAndGivenWholeArguments) {
    std::string folder = fake.scratch / "with blanks";
    CPrivateTempDirectory blankTemp(folder, [] { return 5u; });
    CSiteServices services(fake.clock, fake.launcher, fake.sound, blankTemp,
                           [] { return std::string("/opt/My Browser/browser "); });
    CWatchSite page(&services);
    page.SetPreviousContent(kBefore);
    page.SetLatestContent(kAfter);
    CWatcherSettings settings;
    settings.SetNotifyFlags(NotifyLaunchBrowser | NotifyLaunchApplication);
    settings.SetOutputMode(AdditionsAsText);
    settings.SetViewer("  /opt/My Viewer/view\t");
    page.SetSettings(settings);
    page.ShowChanges();
    std::vector<std::string> files = page.GetTempFiles();
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], folder + "/5.html");
    EXPECT_EQ(files[1], folder + "/5.txt");
    EXPECT_EQ(fake.launcher.launched,
              (std::vector<Argv>{{"/opt/My Browser/browser", "file://" + files[0]},
                                 {"/opt/My Viewer/view", files[1]}}));

    fake.launcher.launched.clear();
    page.RunProgram("NotePad.EXE", " x y ");
    EXPECT_EQ(fake.launcher.launched, (std::vector<Argv>{{"xdg-open", "x y"}}));
}

TEST_F(ChangeViewerTest, BrowserThatCannotStartFallsBackToTheDesktop) {
    fake.browser = "/no/such/browser";
    CWatchSite page(&fake.services);
    page.SetUrl("http://example.com/page");
    fake.launcher.FailFor("/no/such/browser");
    page.OpenInBrowser();
    EXPECT_EQ(fake.launcher.launched, (std::vector<Argv>{{"xdg-open", "http://example.com/page"}}));

    fake.launcher.FailFor("xdg-open");
    try {
        page.OpenInBrowser("http://x/");
        FAIL() << "no exception";
    } catch (const COsException& e) {
        EXPECT_EQ(e.Code(), 2u);
    }
}

// An address from a document or a bookmark must never reach a program as an
// option (some browsers take options that run commands).
TEST_F(ChangeViewerTest, AddressThatBeginsWithAMinusIsNotOpened) {
    fake.browser = "/usr/bin/browser";
    CWatchSite page(&fake.services);
    page.SetUrl("--renderer-cmd-prefix=touch /tmp/owned");
    EXPECT_THROW(page.OpenInBrowser(), CGenericException);
    CBrowserLauncher launcher(&fake.services);
    EXPECT_THROW(launcher.OpenUrl(" -x"), CGenericException);
    EXPECT_TRUE(fake.launcher.Launched().empty());
    launcher.OpenUrl("http://a/-b");
    EXPECT_EQ(fake.launcher.Launched(), (std::vector<Argv>{{"/usr/bin/browser", "http://a/-b"}}));
}

TEST_F(ChangeViewerTest, FailedViewerIsRaisedAndItsFileStillCleanedUp) {
    Configure(HighlightedHtml, NotifyLaunchApplication, "/opt/missing viewer");
    fake.launcher.FailFor("/opt/missing viewer");
    EXPECT_THROW(site.ShowChanges(), COsException);
    std::vector<std::string> files = site.GetTempFiles();
    ASSERT_EQ(files.size(), 1u);
    site.DeleteTempFiles();
    EXPECT_FALSE(std::filesystem::exists(files[0]));
    EXPECT_TRUE(site.GetTempFiles().empty());
}

TEST_F(ChangeViewerTest, PlantedLinkAtTheNextNameIsNotFollowed) {
    Configure(HighlightedHtml, NotifyLaunchBrowser);
    fake.temp.Prepare();
    std::string victim = fake.scratch / "victim";
    testing::WriteFile(victim, "precious");
    ASSERT_EQ(symlink(victim.c_str(), fake.TempPath("1000.html").c_str()), 0);
    site.ShowChanges();
    ASSERT_EQ(site.GetTempFiles().size(), 1u);
    EXPECT_EQ(site.GetTempFiles()[0], fake.TempPath("1001.html"));
    EXPECT_EQ(ReadFile(victim), "precious");
}

TEST_F(ChangeViewerTest, UndeletableFileStaysListedForTheNextTry) {
    Configure(HighlightedHtml, NotifyLaunchBrowser | NotifyLaunchApplication);
    site.ShowChanges();
    std::vector<std::string> files = site.GetTempFiles();
    ASSERT_EQ(files.size(), 2u);
    // Something in the way of the second file: a folder with content.
    ASSERT_EQ(unlink(files[1].c_str()), 0);
    std::filesystem::create_directories(files[1] + "/inside");
    site.DeleteTempFiles();
    EXPECT_EQ(site.GetTempFiles(), std::vector<std::string>{files[1]});
    EXPECT_FALSE(std::filesystem::exists(files[0]));
    std::filesystem::remove_all(files[1]);
    site.DeleteTempFiles();
    EXPECT_TRUE(site.GetTempFiles().empty()) << "a file already gone counts as deleted";
}

TEST_F(ChangeViewerTest, PagesDeleteTheirFilesWhenReplacedOrDestroyed) {
    Configure(HighlightedHtml, NotifyLaunchBrowser);
    std::string path;
    {
        CWatchSite page(&fake.services);
        page.Assign(site);
        page.ShowChanges();
        path = page.GetTempFiles().at(0);
        EXPECT_TRUE(std::filesystem::exists(path));
        CWatchSite copy(page);
        EXPECT_EQ(copy.GetTempFiles(), std::vector<std::string>{path});
        copy.Assign(site);
        EXPECT_FALSE(std::filesystem::exists(path)) << "Assign deletes the replaced files";
    }
    site.ShowChanges();
    path = site.GetTempFiles().at(0);
    { CWatchSite doomed(site); }
    EXPECT_FALSE(std::filesystem::exists(path)) << "destruction deletes them";
}

TEST_F(ChangeViewerTest, BrowserLookupRunsUntilItFindsOne) {
    fake.browser = "!";  // the lookup fails
    CBrowserLauncher first(&fake.services);
    EXPECT_EQ(first.GetBrowserPath(), "");
    fake.browser = "firefox";
    CBrowserLauncher second(&fake.services);
    EXPECT_EQ(second.GetBrowserPath(), "firefox");
    int lookups = fake.lookups;
    fake.browser = "chromium";
    CWatchSite page(&fake.services);
    EXPECT_EQ(fake.lookups, lookups) << "a known browser is kept";

    RegisterStrings({{61234, "http://example.org/about"}});
    second.OpenStringResource(61234);
    EXPECT_EQ(fake.launcher.Launched().back(), (Argv{"firefox", "http://example.org/about"}));
}

}  // namespace
}  // namespace tallyhawk
