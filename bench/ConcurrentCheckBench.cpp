// concurrent_check_bench: one whole `tallyhawk-cli check DOC --all` process
// against urlwatch (Debian's, when it is installed) on the same pages, in
// the same run: 200 pages of 100 KB on 20 local servers that answer every
// request after a delay. Prints wall time and peak resident memory of each
// process and their ratio; then the pass with one page on a server that
// never answers, and the peak for 1,000 pages. Run by hand:
//
//   concurrent_check_bench [--latency MS] [--pages N] [--transfers N] [--quick]
//
// urlwatch runs twice on its job list (the first run fills its cache) and
// the second is measured; tallyhawk-cli checks a document whose pages hold
// what the servers serve, so that both passes find no change.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "LocalHttpServer.h"
#include "PageGenerator.h"
#include "app/TallyhawkDoc.h"
#include "engine/WatchSite.h"
#include "platform/Clock.h"

namespace tallyhawk::bench {
namespace {

constexpr int kServers = 20;
constexpr std::size_t kPageBytes = 100 * 1000;

std::string cliPath = TALLYHAWK_CLI_PATH;
int latencyMs = 300;

// A listening socket on 127.0.0.1 that takes connections and never answers.
struct SilentServer {
    SilentServer() {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd, 64) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::perror("silent server");
            std::exit(2);
        }
        port = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(fd); }
    int fd = -1;
    int port = 0;
};

struct Servers {
    explicit Servers(int pages) {
        for (int s = 0; s < kServers; ++s) {
            auto server = std::make_unique<tallyhawk::testing::CLocalHttpServer>();
            server->Server().Get(R"(/page/(\d+))", [this](const httplib::Request& request,
                                                          httplib::Response& response) {
                const std::size_t index =
                    std::strtoul(request.matches[1].str().c_str(), nullptr, 10);
                std::this_thread::sleep_for(std::chrono::milliseconds(latencyMs));
                if (index >= bodies.size()) {
                    response.status = 404;
                    return;
                }
                response.set_content(bodies[index], kServedPageType);
            });
            server->Start();
            servers.push_back(std::move(server));
        }
        for (int i = 0; i < pages; ++i)
            bodies.push_back(GenerateHtmlPage(kPageBytes, 100 + i % 200));
    }
    std::string Url(int page) const {
        return servers[static_cast<std::size_t>(page % kServers)]->Url("/page/" +
                                                                       std::to_string(page));
    }
    std::vector<std::unique_ptr<tallyhawk::testing::CLocalHttpServer>> servers;
    std::vector<std::string> bodies;
};

struct Scratch {
    Scratch() {
        folder = std::filesystem::temp_directory_path() /
                 ("tallyhawk-concurrent-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(folder);
        setenv("XDG_CONFIG_HOME", (folder / "config").c_str(), 1);
        setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1);
        setenv("HOME", folder.c_str(), 1);
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    std::filesystem::path folder;
};

// A document of `pages` pages holding what the servers serve; the page at
// `silent` (when not -1) is on the silent server instead.
std::string WriteDocument(const Scratch& scratch, const Servers& servers, int pages, int silent,
                          int silentPort) {
    CTallyhawkDoc doc;
    doc.OnNewDocument();
    const std::int64_t checked = CSystemClock::Instance().Now() - 3600;
    for (int i = 0; i < pages; ++i) {
        CWatchSite page;
        page.SetUrl(i == silent ? "http://127.0.0.1:" + std::to_string(silentPort) + "/page/0"
                                : servers.Url(i));
        page.SetName("Page " + std::to_string(i));
        page.SetPreviousContent(servers.bodies[static_cast<std::size_t>(i)]);
        page.SetLatestContent(servers.bodies[static_cast<std::size_t>(i)]);
        page.SetLastUpdated(checked);
        CWatcherSettings settings = page.GetSettings();
        settings.SetNotifyFlags(0);
        settings.SetInterval(24 * 3600);
        page.SetSettings(settings);
        page.SetStatus(Current);
        doc.GetPageList().Add(page);
    }
    const std::string path =
        (scratch.folder / ("pages-" + std::to_string(pages) + ".wat")).string();
    doc.OnSaveDocument(path);
    return path;
}

RunResult RunCheck(const Scratch& scratch, const std::string& document) {
    const std::string copy = document + ".run.wat";
    std::filesystem::copy_file(document, copy, std::filesystem::copy_options::overwrite_existing);
    return RunMeasured({cliPath, "check", copy, "--all"}, (scratch.folder / "check.txt").string());
}

bool HasUrlwatch() {
    return std::system("urlwatch --version >/dev/null 2>&1") == 0;
}

RunResult RunUrlwatch(const Scratch& scratch, const Servers& servers, int pages) {
    const std::filesystem::path jobs = scratch.folder / "urls.yaml";
    {
        std::ofstream out(jobs);
        for (int i = 0; i < pages; ++i)
            out << (i ? "---\n" : "") << "url: " << servers.Url(i) << "\n";
    }
    const std::string config = (scratch.folder / "urlwatch.yaml").string();
    const std::string cache = (scratch.folder / "cache.db").string();
    const std::vector<std::string> command{"urlwatch", "--urls",  jobs.string(), "--config",
                                           config,     "--cache", cache};
    const std::string out = (scratch.folder / "urlwatch.txt").string();
    RunMeasured(command, out);  // fills the cache: every page is new to it
    return RunMeasured(command, out);
}

void Print(const char* label, const RunResult& run) {
    if (!run.ran) {
        std::printf("  %-44s did not run\n", label);
        return;
    }
    std::printf("  %-44s %7.2f s, peak %6.1f MB (exit %d)\n", label, run.seconds, run.megabytes,
                run.status);
}

}  // namespace
}  // namespace tallyhawk::bench

int main(int argc, char** argv) {
    using namespace tallyhawk::bench;
    if (argc > 1 && std::string(argv[1]) == kMeasureFlag) return MeasureChild(argc, argv);
    signal(SIGPIPE, SIG_IGN);
    int pages = 200;
    bool quick = false;
    std::string transfers;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--latency" && i + 1 < argc)
            latencyMs = std::atoi(argv[++i]);
        else if (arg == "--pages" && i + 1 < argc)
            pages = std::atoi(argv[++i]);
        else if (arg == "--quick")
            quick = true;
        else if (arg == "--transfers" && i + 1 < argc)
            transfers = argv[++i];
        else
            cliPath = arg;
    }
    Scratch scratch;
    if (!transfers.empty())
        std::system((cliPath + " defaults --transfers " + transfers + " >/dev/null").c_str());
    const int largest = quick ? pages : std::max(pages, 1000);
    Servers servers(largest);
    SilentServer silent;
    std::printf("%d pages of %zu KB on %d local servers answering after %d ms:\n", pages,
                kPageBytes / 1000, kServers, latencyMs);
    const std::string document = WriteDocument(scratch, servers, pages, -1, 0);
    const RunResult ours = RunCheck(scratch, document);
    Print("tallyhawk-cli check --all", ours);
    if (HasUrlwatch()) {
        const RunResult theirs = RunUrlwatch(scratch, servers, pages);
        Print("urlwatch (second run)", theirs);
        if (ours.ran && theirs.ran)
            std::printf("  ratio tallyhawk-cli / urlwatch: %.2f\n", ours.seconds / theirs.seconds);
    } else {
        std::printf("  urlwatch is not installed: no comparison\n");
    }
    if (quick) return 0;
    {
        // The time limit (stall limit with it) is set low so that the
        // figure comes quickly; the pass must not wait longer than it.
        std::system((cliPath + " defaults --time-limit 10 >/dev/null").c_str());
        const RunResult limited = RunCheck(scratch, document);
        const std::string stalled = WriteDocument(scratch, servers, pages, pages / 2, silent.port);
        const RunResult withSilent = RunCheck(scratch, stalled);
        Print("the same, time limit 10 s", limited);
        Print("one page on a server that never answers", withSilent);
        if (limited.ran && withSilent.ran)
            std::printf("  the silent server delayed the pass by %.2f s (its time limit: 10 s)\n",
                        withSilent.seconds - limited.seconds);
        std::system((cliPath + " defaults --time-limit 120 >/dev/null").c_str());
    }
    {
        const std::string thousand = WriteDocument(scratch, servers, 1000, -1, 0);
        const RunResult many = RunCheck(scratch, thousand);
        Print("1,000 pages", many);
        if (ours.ran && many.ran) {
            const double perPage = static_cast<double>(kPageBytes) * 2 / 1e6;  // accepted + latest
            std::printf(
                "  peak for 1,000 pages %.1f MB; for 200 pages %.1f MB, plus 16 pages' worth "
                "%.1f MB\n",
                many.megabytes, ours.megabytes, ours.megabytes + 16 * perPage);
        }
    }
    return 0;
}
