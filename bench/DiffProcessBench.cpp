// diff_process_bench: `tallyhawk-cli diff` against GNU diff, whole process
// against whole process, on page pairs of two independent styles (the site
// pages of SitePages.h and the nested sections of PageGenerator.h), written
// to a temporary folder.
//
//   diff_process_bench [--runs N] [--cli PATH] [--baseline PATH] [--diff PATH]
//   diff_process_bench --write DIR
//
// For every pair, `tallyhawk-cli diff --flags OLD NEW` is timed against
// `diff OLD NEW`, and `tallyhawk-cli diff --output highlighted OLD NEW`
// against `diff -u OLD NEW`, standard output on /dev/null. The programs run
// alternately, N rounds each (the order swapped every round), timed with
// posix_spawn and wait4: the median wall time and the median peak resident
// size (ru_maxrss) are printed, with the ratios. With --baseline, a second
// tallyhawk-cli (an older build) runs in the same rounds, and its outputs are
// first checked to be byte for byte those of the first one. Last, the time
// of CChangeDetector::Compare in this process, per MB of the two versions.
//
// --write only writes the pairs into DIR (NAME.old.html, NAME.new.html, the
// name's "/" as "-"), for profiling by hand.
//
// Linux only. Run by hand on a quiet machine; not part of CTest.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "PageGenerator.h"
#include "SitePages.h"
#include "diff/ChangeDetector.h"

extern char** environ;

namespace tallyhawk::bench {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kTargetFlagsRatio = 1.0;
constexpr double kTargetHighlightedRatio = 1.2;
constexpr double kTargetMemoryRatio = 1.5;

struct Options {
    int runs = 41;
    std::string cli = TALLYHAWK_CLI_PATH;
    std::string baseline;
    std::string diff = "/usr/bin/diff";
    std::string writeTo;
};

struct Pair {
    std::string name;
    std::string previous;
    std::string current;
    bool checked = false;  // a target pair: its ratios are judged
};

std::vector<Pair> MakePairs() {
    std::vector<Pair> pairs;
    auto site = [&](std::size_t bytes, int edits, bool checked) {
        Pair pair;
        pair.previous = GenerateSitePage(bytes, std::uint32_t(bytes));
        pair.current =
            edits > 0 ? EditSitePage(pair.previous, edits, std::uint32_t(edits)) : pair.previous;
        pair.name = "site-" + std::to_string(bytes / (1024 * 1024)) + "MB/" +
                    (edits > 0 ? std::to_string(edits) + "-edits" : "identical");
        pair.checked = checked;
        pairs.push_back(std::move(pair));
    };
    site(1024 * 1024, 10, true);
    site(8 * 1024 * 1024, 100, true);
    site(1024 * 1024, 0, false);
    for (auto [bytes, edits] :
         {std::pair{std::size_t{1024 * 1024}, 10}, std::pair{std::size_t{8 * 1024 * 1024}, 100}}) {
        PagePair generated = RealisticPair(bytes, edits);
        pairs.push_back({"sections-" + std::to_string(bytes / (1024 * 1024)) + "MB/" +
                             std::to_string(edits) + "-edits",
                         std::move(generated.previous), std::move(generated.current), false});
    }
    return pairs;
}

// ---- Processes --------------------------------------------------------------

struct RunFigure {
    double ms = -1;     // wall time
    double cpuMs = -1;  // user and system time
    long peakKiB = 0;
};

// Runs argv with standard output on `outPath` and standard error on
// /dev/null; the run counts when the exit status is 0 or 1.
RunFigure Spawn(const std::vector<std::string>& argv, const std::string& outPath) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    RunFigure figure;
    const auto start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return figure;
    int status = 0;
    struct rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid) return figure;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) return figure;
    figure.ms = ms;
    figure.cpuMs = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
                   double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    figure.peakKiB = usage.ru_maxrss;
    return figure;
}

// Starts the programs from a small process forked before the pairs exist.
// A child's ru_maxrss counts the peak of the process it was spawned from (the
// kernel carries the old memory's peak over the exec), so spawning from this
// large process would report its size for every program; the launcher also
// resets its own peak before each spawn. What remains of it is the floor that
// Floor() measures with /bin/true.
class Launcher {
public:
    Launcher() {
        int requests[2], replies[2];
        if (pipe(requests) != 0 || pipe(replies) != 0) return;
        std::fflush(nullptr);
        pid = fork();
        if (pid == 0) {
            close(requests[1]);
            close(replies[0]);
            Serve(requests[0], replies[1]);
        }
        close(requests[0]);
        close(replies[1]);
        toLauncher = requests[1];
        fromLauncher = replies[0];
    }
    ~Launcher() {
        close(toLauncher);
        close(fromLauncher);
        if (pid > 0) waitpid(pid, nullptr, 0);
    }
    Launcher(const Launcher&) = delete;
    Launcher& operator=(const Launcher&) = delete;

    RunFigure Run(const std::vector<std::string>& argv, const std::string& outPath = "/dev/null") {
        std::string request = outPath + '\0';
        for (const std::string& arg : argv) request += arg + '\0';
        const std::uint32_t size = std::uint32_t(request.size());
        RunFigure figure;
        if (!WriteAll(toLauncher, &size, sizeof size) ||
            !WriteAll(toLauncher, request.data(), size) ||
            !ReadAll(fromLauncher, &figure, sizeof figure))
            return RunFigure{};
        return figure;
    }

private:
    static bool WriteAll(int fd, const void* data, std::size_t size) {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = write(fd, p, size);
            if (n <= 0) return false;
            p += n;
            size -= std::size_t(n);
        }
        return true;
    }
    static bool ReadAll(int fd, void* data, std::size_t size) {
        char* p = static_cast<char*>(data);
        while (size > 0) {
            const ssize_t n = read(fd, p, size);
            if (n <= 0) return false;
            p += n;
            size -= std::size_t(n);
        }
        return true;
    }

    [[noreturn]] static void Serve(int in, int out) {
        std::uint32_t size = 0;
        std::string request;
        while (ReadAll(in, &size, sizeof size)) {
            request.resize(size);
            if (!ReadAll(in, request.data(), size)) break;
            std::vector<std::string> fields;
            for (std::size_t start = 0; start < request.size();) {
                const std::size_t end = request.find('\0', start);
                fields.push_back(request.substr(start, end - start));
                start = end + 1;
            }
            const int clear = open("/proc/self/clear_refs", O_WRONLY);
            if (clear >= 0) {
                const ssize_t ignored = write(clear, "5", 1);  // resets this process's peak
                (void)ignored;
                close(clear);
            }
            const std::vector<std::string> argv(fields.begin() + 1, fields.end());
            const RunFigure figure = Spawn(argv, fields[0]);
            if (!WriteAll(out, &figure, sizeof figure)) break;
        }
        _exit(0);
    }

    pid_t pid = -1;
    int toLauncher = -1;
    int fromLauncher = -1;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

struct Contender {
    std::vector<std::string> argv;
    std::vector<double> ms;
    std::vector<double> cpuMs;
    std::vector<double> peakKiB;
    bool failed = false;
    double MedianMs() const { return Median(ms); }
    double MedianCpuMs() const { return Median(cpuMs); }
    double MedianMiB() const { return Median(peakKiB) / 1024.0; }
};

// Runs the contenders alternately, `runs` rounds, after one warm-up round.
void TimeAlternately(Launcher& launcher, std::vector<Contender*> contenders, int runs) {
    for (int round = -1; round < runs; ++round) {
        std::vector<Contender*> order = contenders;
        if (round % 2 != 0) std::reverse(order.begin(), order.end());
        for (Contender* contender : order) {
            RunFigure figure = launcher.Run(contender->argv);
            if (figure.ms < 0) contender->failed = true;
            if (round < 0 || figure.ms < 0) continue;
            contender->ms.push_back(figure.ms);
            contender->cpuMs.push_back(figure.cpuMs);
            contender->peakKiB.push_back(double(figure.peakKiB));
        }
    }
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

// Whether the baseline prints the same bytes as the program under test, for
// every output and for the flags.
bool SameOutputs(Launcher& launcher, const Options& options, const std::string& dir,
                 const std::string& oldPath, const std::string& newPath) {
    const std::vector<std::vector<std::string>> modes = {{"--flags"},
                                                         {"--output", "highlighted"},
                                                         {"--output", "added-text"},
                                                         {"--output", "added-html"},
                                                         {"--output", "deleted-text"},
                                                         {"--output", "deleted-html"}};
    const std::string ours = dir + "/ours.out", theirs = dir + "/baseline.out";
    bool same = true;
    for (const auto& mode : modes) {
        std::vector<std::string> a = {options.cli, "diff"}, b = {options.baseline, "diff"};
        a.insert(a.end(), mode.begin(), mode.end());
        b.insert(b.end(), mode.begin(), mode.end());
        for (auto* argv : {&a, &b}) {
            argv->push_back(oldPath);
            argv->push_back(newPath);
        }
        if (launcher.Run(a, ours).ms < 0 || launcher.Run(b, theirs).ms < 0 ||
            ReadFile(ours) != ReadFile(theirs)) {
            std::printf("  outputs differ from the baseline's: %s\n", mode.back().c_str());
            same = false;
        }
    }
    std::remove(ours.c_str());
    std::remove(theirs.c_str());
    return same;
}

// ---- In process ---------------------------------------------------------------

// The median time of one CChangeDetector::Compare, per MB of the two
// versions: the flags alone (what the watch loop's check asks for) or all
// five outputs composed.
double CompareMsPerMB(const Pair& pair, int runs, bool allOutputs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        CChangeDetector detector;
        if (!allOutputs) detector.SetOutputs(0);
        detector.Compare(pair.previous, pair.current);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    const double mb = double(pair.previous.size() + pair.current.size()) / (1024.0 * 1024.0);
    return Median(times) / mb;
}

// ---- Report -------------------------------------------------------------------

struct Row {
    std::string pair;
    std::string mode;
    Contender ours, gnu, baseline;
    double target = 0;
    bool checked = false;
};

void PrintRows(const std::vector<Row>& rows, bool withBaseline) {
    std::printf("\n%-22s %-8s %8s %8s %6s %6s %8s %8s %6s", "pair", "ours vs", "ours ms", "diff ms",
                "ratio", "cpu", "ours MiB", "diff MiB", "mem");
    if (withBaseline) std::printf(" %8s %6s %8s", "base ms", "ratio", "base MiB");
    std::printf("\n");
    for (const Row& row : rows) {
        if (row.ours.failed || row.gnu.failed || row.ours.ms.empty() || row.gnu.ms.empty()) {
            std::printf("%-22s %-8s a program failed\n", row.pair.c_str(), row.mode.c_str());
            continue;
        }
        const double ratio = row.ours.MedianMs() / row.gnu.MedianMs();
        const double cpuRatio = row.ours.MedianCpuMs() / row.gnu.MedianCpuMs();
        const double memory = row.ours.MedianMiB() / row.gnu.MedianMiB();
        std::printf("%-22s %-8s %8.2f %8.2f %6.2f %6.2f %8.1f %8.1f %6.2f", row.pair.c_str(),
                    row.mode.c_str(), row.ours.MedianMs(), row.gnu.MedianMs(), ratio, cpuRatio,
                    row.ours.MedianMiB(), row.gnu.MedianMiB(), memory);
        if (withBaseline && !row.baseline.failed && !row.baseline.ms.empty()) {
            std::printf(" %8.2f %6.2f %8.1f", row.baseline.MedianMs(),
                        row.baseline.MedianMs() / row.gnu.MedianMs(), row.baseline.MedianMiB());
        }
        if (row.checked) {
            const bool met = ratio <= row.target && memory <= kTargetMemoryRatio;
            std::printf("  %s (<= %.1f)", met ? "ok" : "MISSED", row.target);
        }
        std::printf("\n");
    }
    std::printf(
        "ratio: median wall time, ours / GNU diff's; cpu: the same for user + system time; mem:\n"
        "median peak resident size, ours / GNU diff's (target <= %.1f on the site pairs).\n",
        kTargetMemoryRatio);
}

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return std::nullopt;
        const std::string value = argv[++i];
        if (arg == "--runs") {
            options.runs = std::max(1, std::atoi(value.c_str()));
        } else if (arg == "--cli") {
            options.cli = value;
        } else if (arg == "--baseline") {
            options.baseline = value;
        } else if (arg == "--diff") {
            options.diff = value;
        } else if (arg == "--write") {
            options.writeTo = value;
        } else {
            return std::nullopt;
        }
    }
    return options;
}

int Main(int argc, char** argv) {
    const std::optional<Options> parsed = ParseOptions(argc, argv);
    if (!parsed) {
        std::fprintf(stderr,
                     "usage: diff_process_bench [--runs N] [--cli PATH] [--baseline PATH] "
                     "[--diff PATH]\n       diff_process_bench --write DIR\n");
        return 2;
    }
    const Options& options = *parsed;
    Launcher launcher;  // before anything large exists
    if (!options.writeTo.empty()) {
        for (const Pair& pair : MakePairs()) {
            std::string name = pair.name;
            std::replace(name.begin(), name.end(), '/', '-');
            const std::string base = options.writeTo + "/" + name;
            if (!WriteFile(base + ".old.html", pair.previous) ||
                !WriteFile(base + ".new.html", pair.current)) {
                std::printf("cannot write %s.*.html\n", base.c_str());
                return 1;
            }
            std::printf("%s.old.html, %s.new.html\n", base.c_str(), base.c_str());
        }
        return 0;
    }
    char dirName[] = "/tmp/tallyhawk-diff-bench-XXXXXX";
    if (!mkdtemp(dirName)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = dirName;
    const bool withBaseline = !options.baseline.empty();
    std::printf("tallyhawk-cli: %s\n", options.cli.c_str());
    if (withBaseline) std::printf("baseline:      %s\n", options.baseline.c_str());
    std::printf("GNU diff:      %s\n%d alternating runs of each program per row; medians.\n",
                options.diff.c_str(), options.runs);

    const RunFigure floor = launcher.Run({"/bin/true"});
    std::printf("Peak memory floor (/bin/true started the same way): %.1f MiB\n",
                double(floor.peakKiB) / 1024.0);

    const std::vector<Pair> pairs = MakePairs();
    std::vector<Row> rows;
    std::vector<std::string> perMB;
    bool allSame = true;
    for (const Pair& pair : pairs) {
        const std::string oldPath = dir + "/old.html", newPath = dir + "/new.html";
        if (!WriteFile(oldPath, pair.previous) || !WriteFile(newPath, pair.current)) {
            std::printf("cannot write the pair %s to %s\n", pair.name.c_str(), dir.c_str());
            return 1;
        }
        std::printf("%s: %zu and %zu bytes\n", pair.name.c_str(), pair.previous.size(),
                    pair.current.size());
        if (withBaseline)
            allSame = SameOutputs(launcher, options, dir, oldPath, newPath) && allSame;

        struct Mode {
            const char* name;
            std::vector<std::string> ours, gnu;
            double target;
        };
        const Mode modes[] = {
            {"diff", {"--flags"}, {}, kTargetFlagsRatio},
            {"diff -u", {"--output", "highlighted"}, {"-u"}, kTargetHighlightedRatio},
        };
        for (const Mode& mode : modes) {
            Row row;
            row.pair = pair.name;
            row.mode = mode.name;
            row.target = mode.target;
            row.checked = pair.checked;
            auto argvOf = [&](const std::string& program, const std::vector<std::string>& flags,
                              bool ours) {
                std::vector<std::string> args = {program};
                if (ours) args.push_back("diff");
                args.insert(args.end(), flags.begin(), flags.end());
                args.push_back(oldPath);
                args.push_back(newPath);
                return args;
            };
            row.ours.argv = argvOf(options.cli, mode.ours, true);
            row.gnu.argv = argvOf(options.diff, mode.gnu, false);
            std::vector<Contender*> contenders = {&row.ours, &row.gnu};
            if (withBaseline) {
                row.baseline.argv = argvOf(options.baseline, mode.ours, true);
                contenders.push_back(&row.baseline);
            }
            TimeAlternately(launcher, contenders, options.runs);
            rows.push_back(std::move(row));
        }
        char line[160];
        const int runs = std::max(5, options.runs / 4);
        std::snprintf(line, sizeof line, "%-22s %8.2f ms per MB (flags only), %8.2f (all outputs)",
                      pair.name.c_str(), CompareMsPerMB(pair, runs, false),
                      CompareMsPerMB(pair, runs, true));
        perMB.push_back(line);
        std::remove(oldPath.c_str());
        std::remove(newPath.c_str());
    }
    rmdir(dir.c_str());

    PrintRows(rows, withBaseline);
    std::printf("\nCChangeDetector::Compare in this process (both versions counted):\n");
    for (const std::string& line : perMB) std::printf("  %s\n", line.c_str());
    if (withBaseline)
        std::printf("\nOutputs of the baseline: %s\n",
                    allSame ? "byte for byte the same on every pair" : "DIFFERENT (see above)");
    return 0;
}

}  // namespace
}  // namespace tallyhawk::bench

int main(int argc, char** argv) {
    return tallyhawk::bench::Main(argc, argv);
}
