// fetch_bench: `tallyhawk-cli fetch URL > /dev/null` against
// `curl -s -o /dev/null URL` on a 100 MB body from 127.0.0.1, in the same run,
// and the time from CDownloader::Cancel to Download returning over 100 cancels
// at random moments. Prints its figures; run by hand.
//
//   fetch_bench [path/to/tallyhawk-cli] [path/to/curl]

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <future>
#include <netinet/in.h>
#include <random>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "net/Downloader.h"
#include "LocalHttpServer.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

constexpr std::size_t kBodySize = 100 * 1024 * 1024;
constexpr int kRounds = 15;
constexpr int kCancels = 100;

// Runs argv with stdout and stderr on /dev/null; returns the wall time, or a
// negative value when the program failed.
double TimeRun(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    auto start = Clock::now();
    pid_t pid = 0;
    int status = 0;
    int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0 || waitpid(pid, &status, 0) != pid) return -1;
    double elapsed = Milliseconds(Clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? elapsed : -1;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

int ListenSilently(int& port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd, 128);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    return fd;
}

void CompareWithCurl(const std::string& cli, const std::string& curl, const std::string& url) {
    std::vector<double> ours, theirs;
    for (int round = 0; round < kRounds; ++round) {
        double a = TimeRun({cli, "fetch", url});
        double b = TimeRun({curl, "-s", "-o", "/dev/null", url});
        if (a < 0 || b < 0) {
            std::printf("round %d failed (tallyhawk-cli %s, curl %s)\n", round,
                        a < 0 ? "failed" : "ok", b < 0 ? "failed" : "ok");
            return;
        }
        ours.push_back(a);
        theirs.push_back(b);
    }
    double oursMedian = Median(ours), theirsMedian = Median(theirs);
    std::printf("100 MB from 127.0.0.1, median of %d rounds:\n", kRounds);
    std::printf("  tallyhawk-cli fetch URL > /dev/null : %8.1f ms (best %.1f)  %.0f MB/s\n",
                oursMedian, *std::min_element(ours.begin(), ours.end()),
                100.0 / (oursMedian / 1000.0));
    std::printf("  curl -s -o /dev/null URL            : %8.1f ms (best %.1f)  %.0f MB/s\n",
                theirsMedian, *std::min_element(theirs.begin(), theirs.end()),
                100.0 / (theirsMedian / 1000.0));
    std::printf("  ratio ours/curl                     : %8.2f (target <= 1.10)\n",
                oursMedian / theirsMedian);
}

// Signals the first announcement of each download: a cancel before Download
// has begun would be forgotten, since Download clears the mark.
class StartWatch : public tallyhawk::CEventSink {
public:
    ~StartWatch() override { UnsubscribeAll(); }
    bool OnProgress(const tallyhawk::CDownloadProgress*) {
        std::call_once(*once, [this] { started->set_value(); });
        return true;
    }
    std::once_flag* once = nullptr;
    std::promise<void>* started = nullptr;
};

void MeasureCancel(const std::vector<std::string>& urls) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delayUs(0, 30000);
    std::uniform_int_distribution<std::size_t> pick(0, urls.size() - 1);
    tallyhawk::CDownloader downloader;
    StartWatch watch;
    downloader.Subscribe(&watch, &StartWatch::OnProgress);
    std::vector<double> latencies;
    int finishedFirst = 0;
    for (int i = 0; i < kCancels; ++i) {
        std::once_flag once;
        std::promise<void> started;
        watch.once = &once;
        watch.started = &started;
        std::promise<Clock::time_point> returned;
        const std::string& url = urls[pick(random)];
        bool succeeded = false;
        std::thread worker([&] {
            succeeded = downloader.Download(url, nullptr);
            returned.set_value(Clock::now());
        });
        started.get_future().wait();
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        auto cancelAt = Clock::now();
        downloader.Cancel();
        auto end = returned.get_future().get();
        worker.join();
        if (succeeded) {
            ++finishedFirst;
            continue;
        }
        latencies.push_back(Milliseconds(std::max(end, cancelAt) - cancelAt).count());
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("Cancel latency over %zu cancels at random moments (%d downloads ended first):\n",
                latencies.size(), finishedFirst);
    if (latencies.empty()) return;
    std::printf("  median %.3f ms, 90th %.3f ms, worst %.3f ms (target: worst < 100 ms)\n",
                latencies[latencies.size() / 2], latencies[latencies.size() * 9 / 10],
                latencies.back());
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string cli = argc > 1 ? argv[1] : TALLYHAWK_CLI_PATH;
    std::string curl = argc > 2 ? argv[2] : "curl";
    tallyhawk::CSession::StartLibrary();

    static std::string body(kBodySize, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>('a' + i % 26);
    tallyhawk::testing::CLocalHttpServer server;
    server.Server().Get("/big", [](const httplib::Request&, httplib::Response& response) {
        response.set_content_provider(
            body.size(), "application/octet-stream",
            [](size_t offset, size_t length, httplib::DataSink& sink) {
                return sink.write(body.data() + offset, std::min<size_t>(length, 1 << 20));
            });
    });
    server.Server().Get("/trickle", [](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider("text/plain", [](size_t, httplib::DataSink& sink) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return sink.write("tick\n", 5);
        });
    });
    server.Start();
    int silentPort = 0;
    int silent = ListenSilently(silentPort);
    const std::string base = server.Url("");

    if (TimeRun({curl, "--version"}) < 0)
        std::printf("curl not found (%s): the comparison is skipped\n", curl.c_str());
    else
        CompareWithCurl(cli, curl, base + "/big");

    MeasureCancel({base + "/big", base + "/trickle",
                   "http://127.0.0.1:" + std::to_string(silentPort) + "/"});

    close(silent);
    return 0;
}
