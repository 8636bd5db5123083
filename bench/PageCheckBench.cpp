// Benchmark of CWatchSite::Check on a 50 MB page served from 127.0.0.1.
//
// Measures, besides Google Benchmark's own lines:
// - Check of a page that did not change (download, store, compare: Current);
// - Check of a page with 10 scattered edits against its accepted version
//   (Modified);
// - the bare download of the same bytes into memory, for reference;
// - the peak memory that one Check adds, measured in a forked child so that
//   nothing else the benchmark holds counts, as a multiple of the page size;
//   also for a new page (empty accepted version: no comparison) and for the
//   bare download into a plain CMemorySink, to show where the memory goes.
//
// Linux only: it reads /proc/self/status and resets the peak RSS through
// /proc/self/clear_refs.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "PageGenerator.h"
#include "engine/SiteServices.h"
#include "engine/WatchSite.h"
#include "net/Downloader.h"
#include "platform/Clock.h"
#include "platform/ProcessLauncher.h"
#include "platform/SoundPlayer.h"
#include "platform/TempDirectory.h"
#include "LocalHttpServer.h"

namespace tallyhawk::bench {
namespace {

constexpr std::size_t kPageBytes = 50u * 1000 * 1000;
constexpr int kEdits = 10;

// No programs and no sound: only the check itself is measured.
class CNoLauncher : public IProcessLauncher {
public:
    void Launch(const std::vector<std::string>&) override {}
    int Run(const std::vector<std::string>&, std::chrono::milliseconds, const StopTest&) override {
        return 0;
    }
};

class CNoSound : public ISoundPlayer {
public:
    void Play(const std::string&, const StopTest&) override {}
};

struct Pages {
    std::string original;
    std::string edited;
};

const Pages& TestPages() {
    static const Pages pages = [] {
        Pages p;
        p.original = GenerateHtmlPage(kPageBytes, 50);
        p.edited = EditLines(p.original, kEdits, 51);
        return p;
    }();
    return pages;
}

// Serves /original and /edited with a Content-Length.
class CServer {
public:
    CServer() {
        server.Server().Get("/original", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(TestPages().original, kServedPageType);
        });
        server.Server().Get("/edited", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(TestPages().edited, kServedPageType);
        });
        server.Start();
    }
    std::string Url(const char* path) const { return server.Url(path); }

private:
    tallyhawk::testing::CLocalHttpServer server;
};

struct Environment {
    CNoLauncher launcher;
    CNoSound sound;
    CPrivateTempDirectory temp;
    CSiteServices services{CSystemClock::Instance(), launcher, sound, temp};
    CServer server;
};

Environment& Env() {
    static Environment environment;
    return environment;
}

// A page whose accepted version is the original, checked against `path`.
std::unique_ptr<CWatchSite> MakeSite(const char* path) {
    auto site = std::make_unique<CWatchSite>(&Env().services);
    site->SetUrl(Env().server.Url(path));
    site->SetPreviousContent(TestPages().original);
    return site;
}

void BM_CheckUnchanged(benchmark::State& state) {
    auto site = MakeSite("/original");
    CDownloader downloader;
    for (auto _ : state) {
        if (!site->Check(downloader) || site->GetStatus() != Current) state.SkipWithError("check");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TestPages().original.size()));
}

void BM_CheckModified(benchmark::State& state) {
    auto site = MakeSite("/edited");
    CDownloader downloader;
    for (auto _ : state) {
        if (!site->Check(downloader) || site->GetStatus() != Modified) state.SkipWithError("check");
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TestPages().edited.size()));
}

void BM_DownloadOnly(benchmark::State& state) {
    CDownloader downloader;
    std::string url = Env().server.Url("/edited");
    for (auto _ : state) {
        CMemorySink sink;
        if (!downloader.Download(url, &sink)) state.SkipWithError("download");
        benchmark::DoNotOptimize(sink.Data().data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * TestPages().edited.size()));
}

BENCHMARK(BM_CheckUnchanged)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_CheckModified)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_DownloadOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// ---- Peak memory ------------------------------------------------------------

long long StatusBytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, field.size() + 1, field + ":") == 0) {
            return std::atoll(line.c_str() + field.size() + 1) * 1024;
        }
    }
    return -1;
}

// In a forked child: one Check of `path` on a page that already holds the
// original as its accepted version (or, with `downloadOnly`, the bare
// download into memory); reports how far the peak RSS rose.
std::optional<long long> PeakOfOneCheck(const char* path, bool downloadOnly = false,
                                        bool newPage = false) {
    int fds[2];
    if (pipe(fds) != 0) return std::nullopt;
    std::fflush(nullptr);
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        long long peak = -1;
        {
            auto site = MakeSite(path);
            if (newPage) site->SetPreviousContent("");
            CDownloader downloader;
            malloc_trim(0);
            std::ofstream clear("/proc/self/clear_refs");
            clear << "5";
            clear.close();
            long long before = StatusBytes("VmRSS");
            bool done = false;
            if (clear && before >= 0) {
                CMemorySink sink;
                done = downloadOnly ? downloader.Download(Env().server.Url(path), &sink)
                                    : site->Check(downloader);
            }
            if (done) peak = StatusBytes("VmHWM") - before;
        }
        ssize_t written = write(fds[1], &peak, sizeof peak);
        _exit(written == static_cast<ssize_t>(sizeof peak) ? 0 : 1);
    }
    close(fds[1]);
    long long peak = -1;
    bool read = child > 0 && ::read(fds[0], &peak, sizeof peak) == static_cast<ssize_t>(sizeof peak);
    close(fds[0]);
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    if (!read || peak < 0) return std::nullopt;
    return peak;
}

void PrintPeakMemory() {
    double page = static_cast<double>(TestPages().original.size());
    std::printf("\nPeak memory added by one Check of a %.1f MB page (accepted version already held):\n",
                page / 1e6);
    struct Row {
        const char* label;
        const char* path;
        bool downloadOnly;
        bool newPage;
    };
    for (const Row& row : {Row{"Check, unchanged", "/original", false, false},
                           Row{"Check, 10 edits", "/edited", false, false},
                           Row{"Check, new page", "/edited", false, true},
                           Row{"bare download", "/edited", true, false}}) {
        std::optional<long long> peak = PeakOfOneCheck(row.path, row.downloadOnly, row.newPage);
        if (!peak) {
            std::printf("  %-18s  not measured (no /proc/self/clear_refs?)\n", row.label);
            continue;
        }
        std::printf("  %-18s  %7.1f MB  = %.2fx the page\n", row.label,
                    static_cast<double>(*peak) / 1e6, static_cast<double>(*peak) / page);
    }
}

}  // namespace
}  // namespace tallyhawk::bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    tallyhawk::bench::TestPages();
    tallyhawk::bench::Env();
    benchmark::RunSpecifiedBenchmarks();
    tallyhawk::bench::PrintPeakMemory();
    benchmark::Shutdown();
    return 0;
}
