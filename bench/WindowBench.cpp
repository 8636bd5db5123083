// window_bench: the desktop program's speed figures, in real windows (run
// it under xvfb-run, or on a desktop):
//   - a 10,000-page document: time to load the file, and from the loaded
//     file to its rows drawn in the list;
//   - while the watch thread checks 1,000 pages from 127.0.0.1 back to back,
//     the longest gap between two ticks of a 10 ms timer of the window;
//   - watching 1,000 pages of which none is due: CPU of the process with
//     the window hidden and with it shown;
//   - while the watch thread compares a 100 MB page with its new version,
//     the longest gap between two ticks of a 10 ms timer of the window, and
//     how long the comparison took (the gap must fall inside it to count).
//
//   window_bench [--quick] [--large-page]   (--large-page: that figure alone)
#include <sys/resource.h>
#include <unistd.h>

#include <wx/app.h>
#include <wx/apptrait.h>
#include <wx/evtloop.h>
#include <wx/init.h>
#include <wx/timer.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "LocalHttpServer.h"
#include "PageGenerator.h"
#include "app/AppSettings.h"
#include "app/SettingsStore.h"
#include "app/TallyhawkDoc.h"
#include "dialogs/Prompter.h"
#include "engine/WatchSite.h"
#include "net/Downloader.h"
#include "platform/Clock.h"
#include "ui/CommandIds.h"
#include "ui/MainFrame.h"
#include "ui/TallyhawkView.h"

namespace {

using namespace tallyhawk;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

void Pump(std::chrono::milliseconds duration) {
    const auto end = Clock::now() + duration;
    do {
        wxEventLoopBase* loop = wxEventLoopBase::GetActive();
        while (loop->Pending()) loop->Dispatch();
        wxTheApp->ProcessPendingEvents();
        loop->ProcessIdle();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    } while (Clock::now() < end);
}

// Runs the event loop as the program would (blocking in the toolkit, not
// polling) until `done` holds or `limit` passes.
template <class Done>
bool RunUntil(Done done, std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    while (!done() && Clock::now() < end) {
        wxEventLoopBase* loop = wxEventLoopBase::GetActive();
        loop->DispatchTimeout(20);
        wxTheApp->ProcessPendingEvents();
        loop->ProcessIdle();
    }
    return done();
}

// Runs the toolkit's own event loop for `duration`, as the program does.
void RunFor(std::chrono::milliseconds duration) {
    wxEventLoopBase* outer = wxEventLoopBase::GetActive();
    wxEventLoopBase* loop = wxTheApp->GetTraits()->CreateEventLoop();
    wxTimer stop;
    stop.Bind(wxEVT_TIMER, [loop](wxTimerEvent&) { loop->Exit(); });
    stop.StartOnce(static_cast<int>(duration.count()));
    loop->Run();
    delete loop;
    wxEventLoopBase::SetActive(outer);
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec +
           usage.ru_stime.tv_usec / 1e6;
}

class CSilentPrompter : public IPrompter {
public:
    PromptAnswer Ask(wxWindow*, const std::string&, PromptButtons) override { return PromptAnswer::No; }
    void Tell(wxWindow*, const std::string& text, bool) override { std::printf("  (message: %s)\n", text.c_str()); }
    std::string ChooseFileToSave(wxWindow*, const std::string&, const std::string&, const std::string&) override { return {}; }
    std::string ChooseFileToOpen(wxWindow*, const std::string&, const std::string&) override { return {}; }
};

struct Bench {
    std::string folder;
    CFileSettingsStore store;
    CWatchSite defaultPage;
    CAppSettings app;
    CFrontEnd front{store, defaultPage, app};
    CTallyhawkDoc doc{&app};
    CMainFrame* frame;
    explicit Bench(const std::string& folder) : folder(folder), store(folder + "/settings") {
        app.SetLoggingEnabled(false);
        doc.OnNewDocument();
        frame = new CMainFrame(doc, front);
        frame->Show();
        Pump(std::chrono::milliseconds(300));
    }
    ~Bench() {
        doc.GetPageList().StopWatching(true);
        frame->Destroy();
        Pump(std::chrono::milliseconds(50));
    }
};

std::string WriteDocument(const std::string& path, int pages, const std::string& url,
                          std::int64_t lastUpdated) {
    CTallyhawkDoc doc;
    for (int i = 0; i < pages; ++i) {
        CWatchSite page;
        page.SetName("Page " + std::to_string(i));
        page.SetUrl(url + std::to_string(i));
        page.SetPreviousContent("<p>accepted text of page " + std::to_string(i) + "</p>");
        page.SetLatestContent("<p>accepted text of page " + std::to_string(i) + "</p>");
        page.SetLastUpdated(lastUpdated);
        page.SetStatus(lastUpdated ? Current : New);
        doc.GetPageList().Add(page);
    }
    doc.OnSaveDocument(path);
    return path;
}

void RowsOfALargeDocument(const std::string& folder, int pages) {
    const std::string path = WriteDocument(folder + "/large.wat", pages, "http://127.0.0.1:1/", 0);
    Bench bench(folder);
    const auto start = Clock::now();
    bench.doc.LockFile(path);
    bench.doc.OnOpenDocument(path);
    const double load = Seconds(start);
    // What Open does after the file is read, up to the drawn rows.
    const auto shown = Clock::now();
    bench.frame->OpenDocument(path);  // reads it again: subtract that below
    const double openTotal = Seconds(shown);
    const auto drawStart = Clock::now();
    bench.frame->GetView().Refresh();
    bench.frame->GetView().Update();
    Pump(std::chrono::milliseconds(0));
    const double draw = Seconds(drawStart);
    std::printf("%d-page document: file loaded in %.3f s; rows shown %.3f s after the load "
                "(open minus load %.3f s, first drawing %.3f s); %d rows (target < 0.5 s)\n",
                pages, load, openTotal - load + draw, openTotal - load, draw,
                bench.frame->GetView().GetItemCount());
}

void TimerGapsWhileChecking(const std::string& folder, int pages) {
    testing::CLocalHttpServer server;
    server.Server().Get(R"(/p/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content("<html><body><p>page " + request.matches[1].str() +
                                 " with a little text in it</p></body></html>",
                             "text/html");
    });
    server.Start();
    const std::string path = WriteDocument(folder + "/checks.wat", pages, server.Url("/p/"), 0);
    Bench bench(folder);
    bench.frame->OpenDocument(path);
    auto last = Clock::now();
    double longest = 0;
    long ticks = 0;
    wxTimer timer;
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
        const auto now = Clock::now();
        longest = std::max(longest, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
        ++ticks;
    });
    CWatchSiteList& list = bench.doc.GetPageList();
    const auto start = Clock::now();
    bench.frame->RunCommand(ID_WATCH_START);
    last = Clock::now();
    timer.Start(10);
    const bool done = RunUntil([&] {
        for (std::int32_t i = list.GetCount() - 1; i >= 0; --i) {
            const std::int32_t status = list.GetAt(i)->GetStatus();
            if (status == New || status == Updating) return false;
        }
        return true;
    }, std::chrono::seconds(300));
    timer.Stop();
    const double took = Seconds(start);
    // A check that failed ends the wait as well: count the pages downloaded.
    int downloaded = 0;
    for (std::int32_t i = 0; i < list.GetCount(); ++i)
        downloaded += list.GetAt(i)->GetLastUpdated() != 0;
    std::printf("%d pages checked back to back%s in %.2f s, %d of them downloaded: longest gap "
                "between 10 ms timer ticks %.1f ms over %ld ticks (target < 50 ms)\n",
                pages, done ? "" : " (NOT all)", took, downloaded, longest, ticks);
}

void IdleWatchingCpu(const std::string& folder, int pages, int seconds) {
    const std::string path = WriteDocument(folder + "/idle.wat", pages, "http://127.0.0.1:1/",
                                           CSystemClock().Now());
    {
        // The watch thread's own share, with no window at all.
        CTallyhawkDoc doc;
        doc.LockFile(path);
        doc.OnOpenDocument(path);
        doc.StartWatching();
        std::this_thread::sleep_for(std::chrono::seconds(1));
        const double cpu = CpuSeconds();
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        std::printf("watching %d pages, none due, no window (the watch thread alone): %.2f%% of "
                    "one core\n", pages, 100.0 * (CpuSeconds() - cpu) / Seconds(start));
        doc.GetPageList().StopWatching(true);
    }
    Bench bench(folder);
    bench.frame->OpenDocument(path);
    bench.frame->RunCommand(ID_WATCH_START);
    for (bool shown : {false, true}) {
        bench.frame->ShowWindow(shown);
        RunFor(std::chrono::seconds(1));
        const double cpu = CpuSeconds();
        const auto start = Clock::now();
        RunFor(std::chrono::seconds(seconds));
        std::printf("watching %d pages, none due, window %s: %.2f%% of one core (target < %d%%)\n",
                    pages, shown ? "shown" : "hidden", 100.0 * (CpuSeconds() - cpu) / Seconds(start),
                    shown ? 3 : 1);
    }
}

// When the watch thread's check of one page finished its download and when
// the page's new status was announced: the comparison lies between the two.
class CCheckTimes : public CEventSink {
public:
    explicit CCheckTimes(CWatchSiteList& list) : list(list) {
        list.GetDownloader().Subscribe(this, &CCheckTimes::OnProgress);
        list.Subscribe(this, &CCheckTimes::OnListEvent);
    }
    ~CCheckTimes() override { UnsubscribeAll(); }
    bool OnProgress(CDownloadProgress* progress) {
        if (progress->state == Done) {
            std::lock_guard guard(lock);
            downloaded = Clock::now();
        }
        return true;
    }
    bool OnListEvent(SiteListEvent* event) {
        // The status after the comparison (the page's own announcement, on
        // the watch thread) comes before the list's after-check event.
        if (event->code != PageChanged || event->index != 0) return true;
        const std::int32_t status = list.GetAt(0)->GetStatus();
        std::lock_guard guard(lock);
        if ((status == Modified || status == Current) && downloaded != Clock::time_point() &&
            compared == Clock::time_point())
            compared = Clock::now();
        return true;
    }
    std::pair<Clock::time_point, Clock::time_point> Get() {
        std::lock_guard guard(lock);
        return {downloaded, compared};
    }

private:
    CWatchSiteList& list;
    std::mutex lock;
    Clock::time_point downloaded;  // guarded by lock
    Clock::time_point compared;    // guarded by lock
};

void TimerGapsWhileComparingALargePage(const std::string& folder, std::size_t bytes) {
    std::printf("generating a %zu MiB page and its new version...\n", bytes >> 20);
    std::fflush(stdout);
    bench::PagePair pair = bench::RealisticPair(bytes, 100);
    testing::CLocalHttpServer server;
    server.Server().Get("/large", [&pair](const httplib::Request&, httplib::Response& response) {
        response.set_content(pair.current, bench::kServedPageType);
    });
    server.Start();
    Bench bench(folder);
    CWatchSiteList& list = bench.doc.GetPageList();
    {
        CWatchSite page;
        page.SetName("Large page");
        page.SetUrl(server.Url("/large"));
        CWatcherSettings settings = page.GetSettings();
        settings.SetNotifyFlags(0);  // no sound, no browser: the comparison alone
        page.SetSettings(settings);
        page.SetPreviousContent(pair.previous);
        page.SetLatestContent(pair.previous);
        page.SetStatus(Current);
        list.Add(page);
    }
    Pump(std::chrono::milliseconds(300));
    CCheckTimes times(list);
    std::vector<Clock::time_point> ticks;
    ticks.reserve(100000);
    wxTimer timer;
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) { ticks.push_back(Clock::now()); });
    const auto start = Clock::now();
    bench.frame->RunCommand(ID_WATCH_START);
    ticks.push_back(Clock::now());
    timer.Start(10);
    const bool done = RunUntil([&] {
        const std::int32_t status = list.GetAt(0)->GetStatus();
        return list.GetAt(0)->GetLastUpdated() != 0 && status != Updating;
    }, std::chrono::seconds(600));
    RunFor(std::chrono::milliseconds(200));  // the window's own reaction to the result
    timer.Stop();
    list.StopWatching(true);
    const auto [downloaded, compared] = times.Get();
    double longest = 0;
    double longestInComparison = 0;
    for (std::size_t i = 1; i < ticks.size(); ++i) {
        const double gap = std::chrono::duration<double, std::milli>(ticks[i] - ticks[i - 1]).count();
        longest = std::max(longest, gap);
        // A gap overlaps the comparison when it ends after it began and
        // begins before it ended.
        if (ticks[i] > downloaded && ticks[i - 1] < compared)
            longestInComparison = std::max(longestInComparison, gap);
    }
    const bool measured = done && downloaded != Clock::time_point() && compared != Clock::time_point();
    std::printf("%zu MiB page checked%s in %.2f s, of which comparison %.2f s (status %s): "
                "longest gap between 10 ms timer ticks %.1f ms during the comparison, %.1f ms "
                "over the whole check, %zu ticks (target < 50 ms)\n",
                bytes >> 20, done ? "" : " (NOT finished)", Seconds(start),
                measured ? std::chrono::duration<double>(compared - downloaded).count() : -1.0,
                StatusText(list.GetAt(0)->GetStatus()).c_str(), longestInComparison, longest,
                ticks.size());
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    bool largePageOnly = false;
    for (int i = 1; i < argc; ++i) {
        quick = quick || std::strcmp(argv[i], "--quick") == 0;
        largePageOnly = largePageOnly || std::strcmp(argv[i], "--large-page") == 0;
    }
    wxApp::SetInstance(new wxApp);
    int toolkitArgc = 1;  // the toolkit would refuse our options
    if (!wxEntryStart(toolkitArgc, argv) || !wxTheApp->CallOnInit()) {
        std::fprintf(stderr, "window_bench needs a display (run it under xvfb-run).\n");
        return 1;
    }
    wxEventLoopBase* loop = wxTheApp->GetTraits()->CreateEventLoop();
    wxEventLoopBase::SetActive(loop);
    CSilentPrompter prompter;
    SetPrompter(&prompter);
    char pattern[] = "/tmp/tallyhawk-window-bench-XXXXXX";
    const std::string folder = mkdtemp(pattern);
    if (!largePageOnly) {
        RowsOfALargeDocument(folder, 10000);
        TimerGapsWhileChecking(folder, quick ? 200 : 1000);
        IdleWatchingCpu(folder, 1000, quick ? 3 : 10);
    }
    TimerGapsWhileComparingALargePage(folder, (quick ? std::size_t{32} : std::size_t{100}) << 20);
    std::filesystem::remove_all(folder);
    SetPrompter(nullptr);
    wxEventLoopBase::SetActive(nullptr);
    delete loop;
    wxTheApp->OnExit();
    wxEntryCleanup();
    return 0;
}
