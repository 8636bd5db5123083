// CTallyhawkDoc: the .wat bytes, all-or-nothing loading, atomic saving with
// the file lock, the modified flag, emptying while watching, and the check
// on demand against a real HTTP server on 127.0.0.1.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "app/AppSettings.h"
#include "app/PageCheck.h"
#include "app/TallyhawkDoc.h"
#include "base/Archive.h"
#include "engine/EngineTestUtil.h"
#include "engine/PageServer.h"
#include "net/InternetError.h"

namespace tallyhawk {
namespace {

using namespace std::chrono_literals;
using testing::CFakeServices;
using testing::CPageServer;
using testing::CScopedTimeZone;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class TallyhawkDocTest : public ::testing::Test {
protected:
    TallyhawkDocTest() : zone("UTC0"), doc(&appSettings, &fake.services, &fake.clock, 10s) {
        appSettings.SetLogFile(fake.scratch / "app.log");
        appSettings.SetLoggingEnabled(false);
        appSettings.SetMaximumLines(7);
        doc.OnNewDocument();
    }

    CWatchSite MakePage(const std::string& name, const std::string& url) {
        CWatchSite page(&fake.services);
        page.SetName(name);
        page.SetUrl(url);
        return page;
    }
    std::string Path(const std::string& name) const { return fake.scratch / name; }

    CScopedTimeZone zone;
    CFakeServices fake;
    CAppSettings appSettings;
    CTallyhawkDoc doc;
};

TEST_F(TallyhawkDocTest, NewDocumentTakesTheApplicationLogSettings) {
    EXPECT_EQ(doc.GetMessageLog().GetLogFile(), fake.scratch / "app.log");
    EXPECT_FALSE(doc.GetMessageLog().GetLogToFile());
    EXPECT_EQ(doc.GetMessageLog().GetMaximumLines(), 7);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_FALSE(doc.CanStartWatching()) << "an empty list cannot be watched";
}

TEST_F(TallyhawkDocTest, BothDownloadersKeepToTheApplicationsTimeLimit) {
    const CTimeLimits made{10s, 10s, 120s};
    EXPECT_EQ(doc.GetDownloader().GetTimeLimits(), made);
    EXPECT_EQ(doc.GetPageList().GetDownloader().GetTimeLimits(), made);
    // A later change reaches both through the Options sheet (SheetCommandsTest).
    appSettings.SetTimeLimit(45);
    CTallyhawkDoc made45(&appSettings, &fake.services, &fake.clock);
    EXPECT_EQ(made45.GetPageList().GetDownloader().GetTimeLimits(), (CTimeLimits{30s, 30s, 45s}));
}

TEST_F(TallyhawkDocTest, EmptyDocumentIsSixBytes) {
    doc.OnSaveDocument(Path("empty.wat"));
    EXPECT_EQ(ReadFile(Path("empty.wat")), std::string("\x01\x00\x00\x00\x00\x00", 6));
    doc.OnOpenDocument(Path("empty.wat"));
    EXPECT_EQ(doc.GetPageList().GetCount(), 0);
}

TEST_F(TallyhawkDocTest, OnePageDocumentMatchesTheFileLayoutByteForByte) {
    doc.GetPageList().Add(MakePage("News", "http://example.com/n"));  // 20 characters
    EXPECT_TRUE(doc.IsModified());
    doc.OnSaveDocument(Path("news.wat"));
    EXPECT_FALSE(doc.IsModified());

    std::string expected("\x01\x00\x01\x00\x00\x00", 6);
    expected += std::string("\x06\x00\x01", 3);
    expected += std::string("\x80\x70\x00\x00", 4);  // 08:00:00 on 1 Jan 1970, UTC
    expected += std::string("\x10\xEF\x00\x00", 4);  // 17:00:00
    expected += std::string("\x11\x00\x00\x00", 4);
    expected += "\x0Bnotepad.exe";
    expected += "\x0Aringin.wav";
    expected += std::string("\x78\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x03\x00\x00\x00", 16);
    expected += std::string("\x04\xFF\xFF\x64\x00\xFF\x64\x64\x00\xFF\x00\x00\x00", 13);
    expected += std::string("\x00\x00", 2);
    expected += std::string("\x04\x00", 2);
    expected += "\x14http://example.com/n";
    expected += std::string("\x00\x00\x00\x00\x00\x00\x00", 7);
    expected += "\x04News";
    expected += std::string("\x00\x00\x00\x00", 4);
    ASSERT_EQ(expected.size(), 114u);
    EXPECT_EQ(ReadFile(Path("news.wat")), expected);

    struct stat info {};
    ASSERT_EQ(stat(Path("news.wat").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "the file holds passwords";
    for (const auto& entry : std::filesystem::directory_iterator(fake.scratch.path)) {
        EXPECT_EQ(entry.path().filename().string().rfind("news.wat.", 0), std::string::npos)
            << "temporary file left: " << entry.path();
    }
}

TEST_F(TallyhawkDocTest, LoadingIsAllOrNothingAndMarksNothingModified) {
    for (int i = 0; i < 3; ++i) doc.GetPageList().Add(MakePage("p" + std::to_string(i), "http://a/" + std::to_string(i)));
    doc.OnSaveDocument(Path("three.wat"));
    std::string bytes = ReadFile(Path("three.wat"));

    // Another version word still loads.
    std::string other = bytes;
    other[0] = '\x07';
    WriteFile(Path("other.wat"), other);
    doc.OnOpenDocument(Path("other.wat"));
    EXPECT_EQ(doc.GetPageList().GetCount(), 3);
    EXPECT_EQ(doc.GetPageList().GetAt(2)->GetName(), "p2");
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), Path("other.wat"));

    // Cut inside the third page record.
    WriteFile(Path("cut.wat"), bytes.substr(0, bytes.size() - 10));
    EXPECT_THROW(doc.OnOpenDocument(Path("cut.wat")), CArchiveException);
    EXPECT_EQ(doc.GetPageList().GetCount(), 0);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), "") << "neither the failed file nor the previous one is taken";

    // A count far beyond the records fails the same way, without a huge allocation.
    std::string huge = bytes;
    huge.replace(2, 4, std::string("\xFF\xFF\xFF\x7F", 4));
    WriteFile(Path("huge.wat"), huge);
    EXPECT_THROW(doc.OnOpenDocument(Path("huge.wat")), CArchiveException);
    EXPECT_EQ(doc.GetPageList().GetCount(), 0);
}

TEST_F(TallyhawkDocTest, OnlyEventsAboutPagesMarkTheDocumentModified) {
    CWatchSiteList& list = doc.GetPageList();
    for (std::int32_t code = PageAdded; code <= NothingDue; ++code) {
        doc.SetModifiedFlag(false);
        SiteListEvent event{code, &list, code <= PageDisabled ? 0 : -1, 0};
        list.Announce(&event);
        EXPECT_EQ(doc.IsModified(), code <= PageDisabled) << "event " << code;
    }
}

TEST_F(TallyhawkDocTest, EmptyingClearsTheLogAndListensToTheListAgain) {
    class CLogRecorder : public CEventSink {
    public:
        ~CLogRecorder() override { UnsubscribeAll(); }
        bool OnLog(CLogEvent* event) {
            codes.push_back(event->code);
            return true;
        }
        std::vector<std::int32_t> codes;
    } recorder;
    CWatchSiteList& list = doc.GetPageList();
    const std::size_t listeners = list.CountSubscriptions();
    doc.GetMessageLog().Add("before", "http://a/");
    doc.GetMessageLog().Subscribe(&recorder, &CLogRecorder::OnLog);
    for (int i = 0; i < 3; ++i) doc.OnNewDocument();
    EXPECT_EQ(doc.GetMessageLog().GetCount(), 0);
    EXPECT_EQ(recorder.codes, (std::vector<std::int32_t>{LogCleared, LogCleared, LogCleared}));
    EXPECT_EQ(list.CountSubscriptions(), listeners) << "subscribed again, once";
    EXPECT_FALSE(doc.IsModified());
    list.Add(MakePage("after", "http://b/"));
    EXPECT_TRUE(doc.IsModified()) << "the new contents mark the document again";
}

TEST_F(TallyhawkDocTest, ViewFailureOfNoKnownKindIsLoggedRaisedAndAcceptsNothing) {
    CWatchSite page = MakePage("p", "http://a/");
    page.SetPreviousContent("<p>one</p>\n");
    page.SetLatestContent("<p>two</p>\n");
    CWatcherSettings settings = page.GetSettings();
    settings.SetNotifyFlags(NotifyLaunchApplication);
    settings.SetOutputMode(HighlightedHtml);
    settings.SetViewer("/odd/viewer");
    page.SetSettings(settings);
    page.SetStatus(Modified);
    doc.GetPageList().Add(page);
    fake.launcher.BreakFor("/odd/viewer");

    const std::string text = "An unknown exception has occured.  Please restart the application and try again.";
    try {
        doc.ViewChanges(0);
        ADD_FAILURE() << "no exception";
    } catch (const CGenericException& e) {
        EXPECT_EQ(e.Message(), text);
    }
    ASSERT_EQ(doc.GetMessageLog().GetCount(), 1);
    EXPECT_EQ(doc.GetMessageLog().GetAt(0)->GetMessage(), text);
    EXPECT_EQ(doc.GetMessageLog().GetAt(0)->GetSource(), "http://a/");
    const CWatchSite& kept = *doc.GetPageList().GetAt(0);
    EXPECT_EQ(kept.GetStatus(), Modified);
    EXPECT_EQ(kept.GetPreviousContent(), "<p>one</p>\n") << "the baseline is unchanged";
}

TEST_F(TallyhawkDocTest, ChangeMadeWhileSavingKeepsTheDocumentModified) {
    // Stands for the watch thread changing a page while the pages are written.
    class CChangedWhileSaving : public CDocument {
    public:
        void Serialize(CArchive& archive) override {
            archive.WriteWord(1);
            SetModifiedFlag(true);
        }
    } changing;
    changing.OnSaveDocument(Path("changing.wat"));
    EXPECT_TRUE(changing.IsModified());
}

TEST_F(TallyhawkDocTest, SecondHolderOfTheFileGetsAnInUseError) {
    doc.OnSaveDocument(Path("shared.wat"));
    doc.LockFile(Path("shared.wat"));
    CTallyhawkDoc other(&appSettings, &fake.services, &fake.clock);
    try {
        other.LockFile(Path("shared.wat"));
        ADD_FAILURE() << "locked twice";
    } catch (const CGenericException& e) {
        EXPECT_NE(e.Message().find("in use"), std::string::npos) << e.Message();
    }
    // Saving replaces the file; the lock goes with it.
    doc.GetPageList().Add(MakePage("a", "http://a/"));
    doc.OnSaveDocument(Path("shared.wat"));
    EXPECT_THROW(other.LockFile(Path("shared.wat")), CGenericException);
    doc.UnlockFile();
    other.LockFile(Path("shared.wat"));
    EXPECT_TRUE(other.HoldsLock());
}

TEST_F(TallyhawkDocTest, FailedOpenLeavesAnUntitledDocumentThatCannotHarmThePreviousFile) {
    doc.GetPageList().Add(MakePage("kept", "http://a/"));
    doc.OnSaveDocument(Path("kept.wat"));
    doc.LockFile(Path("kept.wat"));
    const std::string before = ReadFile(Path("kept.wat"));
    WriteFile(Path("cut.wat"), before.substr(0, 20));
    doc.GetMessageLog().SetMaximumLines(99);

    EXPECT_THROW(doc.OnOpenDocument(Path("cut.wat")), CArchiveException);
    EXPECT_EQ(doc.GetPathName(), "");
    EXPECT_FALSE(doc.HoldsLock());
    EXPECT_EQ(doc.GetMessageLog().GetMaximumLines(), 7) << "a new document takes the log settings";
    CTallyhawkDoc other(&appSettings, &fake.services, &fake.clock);
    other.LockFile(Path("kept.wat"));  // free for another program now
    EXPECT_EQ(ReadFile(Path("kept.wat")), before);

    // Opening another file lets go of the lock of the one before.
    WriteFile(Path("empty.wat"), std::string("\x01\x00\x00\x00\x00\x00", 6));
    other.OnOpenDocument(Path("empty.wat"));
    EXPECT_EQ(other.GetPageList().GetCount(), 0);
    EXPECT_FALSE(other.HoldsLock());
}

TEST_F(TallyhawkDocTest, SaveAsMovesTheLockAndNeverReplacesAHeldFile) {
    doc.OnSaveDocument(Path("first.wat"));
    doc.LockFile(Path("first.wat"));
    doc.GetPageList().Add(MakePage("a", "http://a/"));
    doc.OnSaveDocument(Path("second.wat"));
    EXPECT_EQ(doc.GetPathName(), Path("second.wat"));
    EXPECT_TRUE(doc.HoldsLock());
    CTallyhawkDoc other(&appSettings, &fake.services, &fake.clock);
    EXPECT_THROW(other.LockFile(Path("second.wat")), CGenericException) << "the new file is held";
    other.LockFile(Path("first.wat"));  // and the old one let go

    // Saved as the file the other document holds: refused, nothing changes.
    const std::string held = ReadFile(Path("first.wat"));
    doc.SetModifiedFlag(true);
    try {
        doc.OnSaveDocument(Path("first.wat"));
        ADD_FAILURE() << "replaced a file that another program holds";
    } catch (const CGenericException& e) {
        EXPECT_NE(e.Message().find("in use"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(ReadFile(Path("first.wat")), held);
    EXPECT_EQ(doc.GetPathName(), Path("second.wat"));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_THROW(other.LockFile(Path("second.wat")), CGenericException) << "the lock stayed";
}

// The window mark goes wherever the shown document's lock goes, and only
// there: another program's lock alone is no window.
TEST_F(TallyhawkDocTest, WindowMarkFollowsTheLockOfTheShownDocument) {
    doc.OnSaveDocument(Path("first.wat"));
    doc.LockFile(Path("first.wat"));
    EXPECT_FALSE(CDocument::IsShownInWindow(Path("first.wat"))) << "a lock without a window";
    doc.UnlockFile();

    CTallyhawkDoc shown(&appSettings, &fake.services, &fake.clock);
    shown.MarkShownInWindow();
    shown.LockFile(Path("first.wat"));
    EXPECT_TRUE(CDocument::IsShownInWindow(Path("first.wat")));
    // Saving replaces the file; Save As moves to another one.
    shown.GetPageList().Add(MakePage("a", "http://a/"));
    shown.OnSaveDocument(Path("first.wat"));
    EXPECT_TRUE(CDocument::IsShownInWindow(Path("first.wat")));
    shown.OnSaveDocument(Path("second.wat"));
    EXPECT_TRUE(CDocument::IsShownInWindow(Path("second.wat")));
    EXPECT_FALSE(CDocument::IsShownInWindow(Path("first.wat")));
    doc.LockFile(Path("first.wat"));  // the probes took no lock

    shown.OnNewDocument();
    EXPECT_FALSE(CDocument::IsShownInWindow(Path("second.wat")));
    EXPECT_FALSE(CDocument::IsShownInWindow(Path("missing.wat")));
}

TEST_F(TallyhawkDocTest, SavingThroughASymbolicLinkKeepsTheLink) {
    namespace fs = std::filesystem;
    fs::create_directory(Path("real"));
    doc.OnSaveDocument(Path("real/pages.wat"));
    fs::create_symlink("real/pages.wat", Path("pages.wat"));  // relative, as users make them
    fs::create_symlink("pages.wat", Path("again.wat"));       // and a link to the link
    doc.LockFile(Path("again.wat"));
    doc.GetPageList().Add(MakePage("a", "http://a/"));
    doc.OnSaveDocument(Path("again.wat"));

    EXPECT_TRUE(fs::is_symlink(Path("again.wat")));
    EXPECT_TRUE(fs::is_symlink(Path("pages.wat")));
    EXPECT_EQ(std::distance(fs::directory_iterator(Path("real")), fs::directory_iterator()), 1)
        << "no temporary file left beside the target";
    CTallyhawkDoc other(&appSettings, &fake.services, &fake.clock);
    EXPECT_THROW(other.LockFile(Path("real/pages.wat")), CGenericException) << "the lock went along";
    other.OnOpenDocument(Path("real/pages.wat"));
    EXPECT_EQ(other.GetPageList().GetCount(), 1) << "the target holds the new page";

    // A link whose target is missing: the save creates the target.
    fs::create_symlink("real/later.wat", Path("later.wat"));
    other.OnSaveDocument(Path("later.wat"));
    EXPECT_TRUE(fs::is_symlink(Path("later.wat")));
    EXPECT_EQ(ReadFile(Path("real/later.wat")), ReadFile(Path("real/pages.wat")));
}

TEST_F(TallyhawkDocTest, EmptyingWhileWatchingStopsTheThreadFirst) {
    CPageServer server;
    doc.GetPageList().Add(MakePage("slow", server.Url("/trickle")));
    ASSERT_TRUE(doc.StartWatching());
    for (int i = 0; i < 500 && doc.GetPageList().GetAt(0)->GetStatus() != Updating; ++i) {
        std::this_thread::sleep_for(2ms);
    }
    const auto start = std::chrono::steady_clock::now();
    doc.OnNewDocument();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2000ms);
    EXPECT_FALSE(doc.GetPageList().IsWatching());
    EXPECT_EQ(doc.GetPageList().GetCount(), 0);
}

// Closing stops watching with the wait: it must not outlast the stop however
// long the page's sound is, nor wait for a log file another process holds.
TEST_F(TallyhawkDocTest, StopWithTheWaitEndsASoundAndIgnoresALockedLogFile) {
    CPageServer server;
    server.SetContent("<p>new</p>\n");
    CMessageLog& log = doc.GetMessageLog();
    log.SetLogToFile(true);
    WriteFile(log.GetLogFile(), "");
    // flock locks belong to the open file: a second one stands for the other process.
    int holder = ::open(log.GetLogFile().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);

    CWatchSite failing = MakePage("down", "http://127.0.0.1:1/page");
    CWatcherSettings settings = failing.GetSettings();
    settings.SetRetryCount(0);  // fails, and is logged, on every pass
    failing.SetSettings(settings);
    doc.GetPageList().Add(failing);
    CWatchSite changed = MakePage("up", server.Url("/page"));
    changed.SetPreviousContent("<p>old</p>\n");  // plays its sound (on by default)
    doc.GetPageList().Add(changed);
    fake.sound.length = 20s;

    ASSERT_TRUE(doc.StartWatching());
    const bool playing = fake.sound.WaitForPlays(1, 10s);
    if (!playing) ::close(holder);  // the thread is stuck on the log file: let it go
    ASSERT_TRUE(playing) << "the watch thread waited for the locked log file";
    const auto start = std::chrono::steady_clock::now();
    doc.GetPageList().StopWatching(true);
    const auto took = std::chrono::steady_clock::now() - start;
    ::close(holder);
    EXPECT_LT(took, 1500ms);
    EXPECT_FALSE(doc.GetPageList().IsWatching());
    EXPECT_GE(log.GetCount(), 1) << "the failure reached the log in memory";
    EXPECT_EQ(ReadFile(log.GetLogFile()), "") << "and missed the locked file";
}

TEST_F(TallyhawkDocTest, CheckOnDemandReportsProgressAndMarksTheDocument) {
    CPageServer server;
    server.SetContent("<p>hello</p>\n");
    doc.GetPageList().Add(MakePage("ok", server.Url("/page")));
    doc.GetPageList().Add(MakePage("bad", "http://127.0.0.1:1/page"));
    doc.SetModifiedFlag(false);

    std::vector<std::string> texts;
    auto check = doc.MakePageCheck(0);
    ASSERT_TRUE(check);
    EXPECT_EQ(doc.UpdatePage(*check, [&](const std::string& text, int) { texts.push_back(text); }),
              IDOK);
    EXPECT_TRUE(doc.IsModified());
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.front(), "Please wait...");
    EXPECT_EQ(texts.back(), "Done");
    EXPECT_NE(std::find(texts.begin(), texts.end(), "Downloaded 13 bytes..."), texts.end());

    auto failing = doc.MakePageCheck(1);
    EXPECT_EQ(doc.UpdatePage(*failing), IDCANCEL);
    ASSERT_EQ(doc.GetMessageLog().GetCount(), 1);
    EXPECT_EQ(doc.GetMessageLog().GetAt(0)->GetSource(), "http://127.0.0.1:1/page");
    EXPECT_EQ(failing->GetStatus(), doc.GetMessageLog().GetAt(0)->GetMessage());

    auto canceled = doc.MakePageCheck(0);
    canceled->Cancel();  // before the download starts: still honoured
    EXPECT_EQ(doc.UpdatePage(*canceled), IDCANCEL);
    EXPECT_EQ(doc.GetPageList().GetAt(0)->GetStatus(), Outdated);
    EXPECT_EQ(doc.MakePageCheck(5), nullptr);

    // The page goes from the document while its check is pending (the check
    // on demand runs while the window stays live): the check keeps it.
    auto orphan = doc.MakePageCheck(0);
    doc.OnNewDocument();
    EXPECT_EQ(doc.UpdatePage(*orphan), IDOK);
    EXPECT_EQ(orphan->GetStatus(), "Done");
}

}  // namespace
}  // namespace tallyhawk
