// check_pass_bench: the whole `tallyhawk-cli check DOC --all` process on a
// document of 200 pages of 100 KB served from 127.0.0.1, 10 of which changed
// since they were accepted: wall time and peak resident memory of the child
// process, besides Google Benchmark's own lines. For reference, the same
// document when nothing is due (open, no check, no save). Run by hand:
//
//   check_pass_bench [path/to/tallyhawk-cli]
//
// Every round starts from a fresh copy of the document, so each measures the
// same pass (10 pages Modified, the report printed, the document saved).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "PageGenerator.h"
#include "app/TallyhawkDoc.h"
#include "engine/WatchSite.h"
#include "platform/Clock.h"
#include "LocalHttpServer.h"

namespace tallyhawk::bench {
namespace {

constexpr int kPages = 200;
constexpr std::size_t kPageBytes = 100 * 1000;
constexpr int kChangedEvery = kPages / 10;  // pages 0, 20, 40, ... changed
constexpr int kEdits = 10;
constexpr double kTargetSeconds = 0.3;
constexpr double kTargetMegabytes = 100;

std::string cliPath = TALLYHAWK_CLI_PATH;

struct Site {
    std::string accepted;  // what the document holds as accepted and latest
    std::string served;    // what the server answers now
};

const std::vector<Site>& Sites() {
    static const std::vector<Site> sites = [] {
        std::vector<Site> all(kPages);
        for (int i = 0; i < kPages; ++i) {
            all[i].accepted = GenerateHtmlPage(kPageBytes, 100 + i);
            all[i].served = i % kChangedEvery == 0 ? EditLines(all[i].accepted, kEdits, 500 + i)
                                                   : all[i].accepted;
        }
        return all;
    }();
    return sites;
}

// Serves /page/N with a Content-Length; holds the scratch folder with the
// document, the program's settings and log.
struct Environment {
    Environment() {
        server.Server().Get(R"(/page/(\d+))", [](const httplib::Request& request,
                                                 httplib::Response& response) {
            const int index = std::atoi(request.matches[1].str().c_str());
            if (index < 0 || index >= kPages) {
                response.status = 404;
                return;
            }
            response.set_content(Sites()[index].served, kServedPageType);
        });
        server.Start();
        folder = std::filesystem::temp_directory_path() / ("tallyhawk-check-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
        setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
        original = (folder / "original.wat").string();
        working = (folder / "pages.wat").string();
        WriteDocument();
    }
    ~Environment() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    // Every page checked an hour ago with a daily interval: due only for --all.
    void WriteDocument() {
        CTallyhawkDoc doc;
        doc.OnNewDocument();
        const std::int64_t checked = CSystemClock::Instance().Now() - 3600;
        for (int i = 0; i < kPages; ++i) {
            CWatchSite page;
            page.SetUrl(server.Url("/page/" + std::to_string(i)));
            page.SetName("Page " + std::to_string(i));
            page.SetPreviousContent(Sites()[i].accepted);
            page.SetLatestContent(Sites()[i].accepted);
            page.SetLastUpdated(checked);
            CWatcherSettings settings = page.GetSettings();
            settings.SetNotifyFlags(0);
            settings.SetInterval(24 * 3600);
            page.SetSettings(settings);
            page.SetStatus(Current);
            doc.GetPageList().Add(page);
        }
        doc.OnSaveDocument(original);
    }

    tallyhawk::testing::CLocalHttpServer server;
    std::filesystem::path folder;
    std::string original, working;
};

Environment& Env() {
    static Environment environment;
    return environment;
}

// Runs tallyhawk-cli with `args`, standard output to `out`.
RunResult RunCli(const std::vector<std::string>& args, const std::string& out) {
    std::vector<std::string> command{cliPath};
    command.insert(command.end(), args.begin(), args.end());
    return RunMeasured(command, out);
}

int CountReported(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    int count = 0;
    while (std::getline(in, line)) count += line.rfind("[Page ", 0) == 0;
    return count;
}

struct Figures {
    std::vector<double> seconds;
    double megabytes = 0;
};

Figures passFigures, idleFigures;

void Measure(benchmark::State& state, bool all, int expectedStatus, int expectedReported,
             Figures& figures) {
    Environment& env = Env();
    const std::string out = (env.folder / "report.txt").string();
    for (auto _ : state) {
        std::filesystem::copy_file(env.original, env.working,
                                   std::filesystem::copy_options::overwrite_existing);
        std::vector<std::string> args{"check", env.working};
        if (all) args.push_back("--all");
        const RunResult run = RunCli(args, out);
        if (!run.ran || run.status != expectedStatus || CountReported(out) != expectedReported) {
            state.SkipWithError("the pass did not report what it should");
            return;
        }
        state.SetIterationTime(run.seconds);
        figures.seconds.push_back(run.seconds);
        figures.megabytes = std::max(figures.megabytes, run.megabytes);
    }
    state.counters["peak_MB"] = figures.megabytes;
}

void BM_PassOver200Pages(benchmark::State& state) {
    Measure(state, true, 1, kPages / kChangedEvery, passFigures);
}

void BM_NothingDue(benchmark::State& state) { Measure(state, false, 0, 0, idleFigures); }

BENCHMARK(BM_PassOver200Pages)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK(BM_NothingDue)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);

void PrintFigures(const char* label, Figures figures, bool withTargets) {
    if (figures.seconds.empty()) {
        std::printf("  %-38s not measured\n", label);
        return;
    }
    std::sort(figures.seconds.begin(), figures.seconds.end());
    const double median = figures.seconds[figures.seconds.size() / 2];
    const double worst = figures.seconds.back();
    std::printf("  %-38s median %6.1f ms, best %6.1f ms, worst %6.1f ms; peak %5.1f MB\n", label,
                median * 1e3, figures.seconds.front() * 1e3, worst * 1e3, figures.megabytes);
    if (!withTargets) return;
    std::printf("  %-38s time %s (target: under %.0f ms), memory %s (target: under %.0f MB)\n", "",
                median < kTargetSeconds ? "met" : "MISSED", kTargetSeconds * 1e3,
                figures.megabytes < kTargetMegabytes ? "met" : "MISSED", kTargetMegabytes);
}

}  // namespace
}  // namespace tallyhawk::bench

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == tallyhawk::bench::kMeasureFlag)
        return tallyhawk::bench::MeasureChild(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (argc > 1) tallyhawk::bench::cliPath = argv[1];
    using namespace tallyhawk::bench;
    const double megabytes = static_cast<double>(kPages) * kPageBytes / 1e6;
    std::printf("tallyhawk-cli check, %d pages of %.0f KB (%.0f MB accepted + %.0f MB latest in the "
                "document), %d changed:\n",
                kPages, kPageBytes / 1e3, megabytes, megabytes, kPages / kChangedEvery);
    Env();
    benchmark::RunSpecifiedBenchmarks();
    std::printf("\nWhole process, wall time and peak resident memory:\n");
    PrintFigures("check DOC --all (the pass)", passFigures, true);
    PrintFigures("check DOC, nothing due (open only)", idleFigures, false);
    benchmark::Shutdown();
    return 0;
}
