// document_bench: saving and loading a large .wat document, an idle watch
// thread, and back-to-back checks against a plain download. Prints its
// figures; run by hand (a 200 MB file is written to the temporary folder).
//
//   document_bench [--quick]
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "app/TallyhawkDoc.h"
#include "engine/WatchSite.h"
#include "engine/WatchSiteList.h"
#include "net/Downloader.h"
#include "platform/Clock.h"
#include "LocalHttpServer.h"

extern char** environ;

namespace {

using namespace tallyhawk;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

// Peak resident memory of this process in bytes.
long PeakMemory() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6) * 1024;
    }
    return 0;
}

std::string Page(std::size_t bytes, unsigned seed) {
    std::string text;
    text.reserve(bytes);
    while (text.size() < bytes) text += "<p>line " + std::to_string(seed++ * 2654435761u % 1000003) + " of the page</p>\n";
    text.resize(bytes);
    return text;
}

int RunChild(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::vector<std::string> copy = args;
    for (std::string& arg : copy) argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Child: loads the document and prints the peak memory it took.
int LoadOnly(const std::string& path) {
    long before = PeakMemory();
    CTallyhawkDoc doc;
    auto start = Clock::now();
    doc.OnOpenDocument(path);
    std::printf("  load (fresh process): %.2f s, %d pages, peak memory growth %.1f MB\n", Seconds(start),
                doc.GetPageList().GetCount(), (PeakMemory() - before) / 1e6);
    return 0;
}

void SaveAndLoad(const char* self, int pages, std::size_t pageSize) {
    std::printf("Save and load: %d pages, two versions of %zu bytes each\n", pages, pageSize);
    const std::string path = (std::filesystem::temp_directory_path() / "tallyhawk-bench.wat").string();
    {
        CTallyhawkDoc doc;
        for (int i = 0; i < pages; ++i) {
            CWatchSite page;
            page.SetUrl("http://127.0.0.1/" + std::to_string(i));
            page.SetName("Page " + std::to_string(i));
            page.SetPreviousContent(Page(pageSize, i));
            page.SetLatestContent(Page(pageSize, i + 7));
            doc.GetPageList().Add(page);
        }
        auto start = Clock::now();
        doc.OnSaveDocument(path);
        std::printf("  save: %.2f s\n", Seconds(start));
    }
    const auto size = std::filesystem::file_size(path);
    auto start = Clock::now();
    RunChild({"/bin/sh", "-c", "cat '" + path + "' > /dev/null"});
    const double cat = Seconds(start);
    std::printf("  file: %.1f MB; cat > /dev/null: %.2f s\n", size / 1e6, cat);
    start = Clock::now();
    RunChild({self, "--load", path});
    const double load = Seconds(start);
    std::printf("  load with process start: %.2f s = %.1fx cat (target at most 3x)\n", load, load / cat);
    std::filesystem::remove(path);
}

class CNullLog : public IPageLog {
public:
    void Add(const std::string&, const std::string&) override {}
    void Add(const CException&, const std::string&) override {}
};

void IdleWatch(int pages, int seconds) {
    std::printf("Idle watching: %d pages, none due, %d s\n", pages, seconds);
    CNullLog log;
    CWatchSiteList list(&log);
    for (int i = 0; i < pages; ++i) {
        CWatchSite page;
        page.SetUrl("http://127.0.0.1:1/" + std::to_string(i));
        page.SetLastUpdated(CSystemClock::Instance().Now());  // not due for 120 s
        list.Add(page);
    }
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    auto start = Clock::now();
    list.StartWatching();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    list.StopWatching(true);
    getrusage(RUSAGE_SELF, &after);
    auto cpu = [](const rusage& r) {
        return r.ru_utime.tv_sec + r.ru_stime.tv_sec + (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
    };
    const double used = cpu(after) - cpu(before);
    std::printf("  CPU %.3f s over %.1f s = %.2f%% of one core (target under 2%%)\n", used, Seconds(start),
                100 * used / Seconds(start));
}

// Times `count` checks of `url` against plain downloads of the same bytes,
// interleaved so that both see the same machine.
void TimeChecks(const char* what, CWatchSite& page, CDownloader& downloader, const std::string& url,
                int count) {
    for (int i = 0; i < 20; ++i) {  // warm the connection path and the allocator first
        CMemorySink sink;
        downloader.Download(url, &sink);
        page.Check(downloader);
    }
    constexpr int kRounds = 8;
    double plain = 0, checks = 0;
    for (int round = 0; round < kRounds; ++round) {
        auto start = Clock::now();
        for (int i = 0; i < count / kRounds; ++i) {
            CMemorySink sink;
            downloader.Download(url, &sink);
        }
        plain += Seconds(start);
        start = Clock::now();
        for (int i = 0; i < count / kRounds; ++i) page.Check(downloader);
        checks += Seconds(start);
    }
    std::printf("  %s: plain download %.2f ms each; check %.2f ms each; overhead %.1f%% (target under 10%%)\n",
                what, 1000 * plain / count, 1000 * checks / count, 100 * (checks - plain) / plain);
}

void Checks(int count, std::size_t pageSize) {
    std::printf("Checks: %d pages of %zu bytes from 127.0.0.1, back to back\n", count, pageSize);
    tallyhawk::testing::CLocalHttpServer server;
    const std::string body = Page(pageSize, 3);
    server.Server().Get("/page", [&](const httplib::Request&, httplib::Response& response) {
        // The test server compresses text for a client that accepts it, slowly:
        // served as bytes, the page costs what a real server makes it cost.
        response.set_content(body, "application/octet-stream");
    });
    server.Start();
    const std::string url = server.Url("/page");

    CDownloader downloader;
    CWatchSite page;
    page.SetUrl(url);
    CWatcherSettings settings = page.GetSettings();
    settings.SetNotifyFlags(0);
    page.SetSettings(settings);
    // The usual case: the page is as it was when its changes were last accepted.
    page.SetPreviousContent(body);
    TimeChecks("unchanged page", page, downloader, url, count);
    // Every check compares two wholly different 100 KB versions line by line.
    page.SetPreviousContent(Page(pageSize, 4));
    TimeChecks("changed page  ", page, downloader, url, count);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // the child load prints between our lines
    if (argc == 3 && std::strcmp(argv[1], "--load") == 0) return LoadOnly(argv[2]);
    const bool quick = argc == 2 && std::strcmp(argv[1], "--quick") == 0;
    SaveAndLoad(argv[0], quick ? 100 : 1000, 100 * 1024);
    IdleWatch(1000, quick ? 2 : 10);
    Checks(200, 100 * 1024);
    return 0;
}
