// history_document_bench: does a long history cost a document anything when
// it is opened or watched? 1,000 pages, each with 100 versions kept beside
// the document, against the same document without a history: the whole
// tallyhawk-cli process opening it (list) and making one pass over every
// page (check --all, the pages unchanged), wall time and peak memory, the
// median of a few runs each. Run by hand: history_document_bench [PAGES
// [VERSIONS]].
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "LocalHttpServer.h"
#include "PageGenerator.h"
#include "app/TallyhawkDoc.h"
#include "engine/WatchSite.h"
#include "history/HistoryStore.h"
#include "platform/Clock.h"

using namespace tallyhawk;
using tallyhawk::bench::RunMeasured;
using tallyhawk::bench::RunResult;
using tallyhawk::bench::GenerateHtmlPage;
using tallyhawk::bench::kServedPageType;

namespace {

const std::string cliPath = TALLYHAWK_CLI_PATH;
constexpr std::size_t kPageBytes = 20 * 1024;
constexpr int kServers = 4;
constexpr int kRuns = 5;

struct Servers {
    explicit Servers(int pages) {
        for (int i = 0; i < pages; ++i) bodies.push_back(GenerateHtmlPage(kPageBytes, 7 + i));
        for (int s = 0; s < kServers; ++s) {
            auto server = std::make_unique<tallyhawk::testing::CLocalHttpServer>();
            server->Server().Get(R"(/page/(\d+))", [this](const httplib::Request& request,
                                                          httplib::Response& response) {
                const std::size_t index = std::strtoul(request.matches[1].str().c_str(), nullptr, 10);
                if (index >= bodies.size()) {
                    response.status = 404;
                    return;
                }
                response.set_content(bodies[index], kServedPageType);
            });
            server->Start();
            servers.push_back(std::move(server));
        }
    }
    std::string Url(int page) const {
        return servers[static_cast<std::size_t>(page % kServers)]->Url("/page/" + std::to_string(page));
    }
    std::vector<std::string> bodies;
    std::vector<std::unique_ptr<tallyhawk::testing::CLocalHttpServer>> servers;
};

struct Median {
    double seconds = 0;
    double megabytes = 0;
};

Median Measure(const std::vector<std::string>& command, const std::string& out,
               const std::function<void()>& before = {}) {
    std::vector<double> seconds, megabytes;
    for (int run = 0; run < kRuns; ++run) {
        if (before) before();
        const RunResult result = RunMeasured(command, out);
        if (!result.ran) {
            std::fprintf(stderr, "%s did not run\n", command[0].c_str());
            std::exit(2);
        }
        seconds.push_back(result.seconds);
        megabytes.push_back(result.megabytes);
    }
    std::sort(seconds.begin(), seconds.end());
    std::sort(megabytes.begin(), megabytes.end());
    return {seconds[kRuns / 2], megabytes[kRuns / 2]};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == tallyhawk::bench::kMeasureFlag)
        return tallyhawk::bench::MeasureChild(argc, argv);
    const int pages = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int versions = argc > 2 ? std::atoi(argv[2]) : 100;

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("tallyhawk-history-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
    setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
    Servers servers(pages);

    // Two copies of one document, each page holding what its server serves.
    const std::string withHistory = (folder / "with.wat").string();
    const std::string without = (folder / "without.wat").string();
    {
        CTallyhawkDoc doc;
        doc.OnNewDocument();
        for (int i = 0; i < pages; ++i) {
            CWatchSite page;
            page.SetUrl(servers.Url(i));
            page.SetName("Page " + std::to_string(i));
            page.SetPreviousContent(servers.bodies[static_cast<std::size_t>(i)]);
            page.SetLatestContent(servers.bodies[static_cast<std::size_t>(i)]);
            page.SetLastUpdated(CSystemClock::Instance().Now() - 3600);
            CWatcherSettings settings = page.GetSettings();
            settings.SetNotifyFlags(0);
            page.SetSettings(settings);
            page.SetStatus(Current);
            doc.GetPageList().Add(page);
        }
        doc.OnSaveDocument(withHistory);
        std::filesystem::copy_file(withHistory, without);
    }
    // A folder where the history file would be: no history can be kept.
    std::filesystem::create_directories(HistoryPathFor(without));

    // The history: each page's versions, a few lines edited from one to the
    // next, the newest being what the server serves now.
    const auto filling = std::chrono::steady_clock::now();
    {
        auto store = CHistoryStore::Open(HistoryPathFor(withHistory));
        const std::int64_t now = CSystemClock::Instance().Now();
        for (int i = 0; i < pages; ++i) {
            const std::string& served = servers.bodies[static_cast<std::size_t>(i)];
            for (int v = 0; v < versions; ++v) {
                std::string version = served;
                if (v + 1 < versions) {
                    const std::string edit = "<p>edit " + std::to_string(v) + "</p>\n";
                    version.insert(version.size() / 3 + static_cast<std::size_t>(v) * 40 % 1000, edit);
                }
                store->Append(servers.Url(i), now - (versions - v) * 3600, Current, version);
            }
        }
    }
    const double fillSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - filling).count();
    const auto storeBytes = std::filesystem::file_size(HistoryPathFor(withHistory));

    const std::string out = (folder / "out.txt").string();
    auto copyBack = [](const std::string& path) {
        return [path] { std::filesystem::copy_file(path, path + ".run.wat", std::filesystem::copy_options::overwrite_existing); };
    };
    // The pass runs on a copy, so that each run starts from the same document
    // (the copy's history is the original's, by name: link it).
    std::filesystem::create_symlink(HistoryPathFor(withHistory), HistoryPathFor(withHistory + ".run.wat"));
    std::filesystem::create_directories(HistoryPathFor(without + ".run.wat"));

    const Median openWith = Measure({cliPath, "list", withHistory}, out);
    const Median openWithout = Measure({cliPath, "list", without}, out);
    const Median passWith =
        Measure({cliPath, "check", withHistory + ".run.wat", "--all"}, out, copyBack(withHistory));
    const Median passWithout =
        Measure({cliPath, "check", without + ".run.wat", "--all"}, out, copyBack(without));
    const auto storeAfter = std::filesystem::file_size(HistoryPathFor(withHistory));

    std::printf("%d pages of %zu KB, %d versions each kept: history of %.1f MB, filled in %.0f s\n\n",
                pages, kPageBytes / 1024, versions, storeBytes / 1048576.0, fillSeconds);
    std::printf("%-34s %12s %12s %8s\n", "whole tallyhawk-cli process", "with history", "without",
                "ratio");
    std::printf("%-34s %10.3f s %10.3f s %8.2f\n", "open (list), median of 5", openWith.seconds,
                openWithout.seconds, openWith.seconds / openWithout.seconds);
    std::printf("%-34s %9.1f MB %9.1f MB %8.2f\n", "  peak memory", openWith.megabytes,
                openWithout.megabytes, openWith.megabytes / openWithout.megabytes);
    std::printf("%-34s %10.3f s %10.3f s %8.2f\n", "one pass, pages unchanged (check)", passWith.seconds,
                passWithout.seconds, passWith.seconds / passWithout.seconds);
    std::printf("%-34s %9.1f MB %9.1f MB %8.2f\n", "  peak memory", passWith.megabytes,
                passWithout.megabytes, passWith.megabytes / passWithout.megabytes);
    std::printf("history after the passes: %.1f MB (unchanged pages add no versions)\n",
                storeAfter / 1048576.0);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}
