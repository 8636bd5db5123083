// Comparison of one large page of short lines with its changed version: the
// time and the peak memory of the whole process while it compares.
//
//   large_page_bench [MIB...]     (default: 64)
//
// For each size it generates a page of short lines (a data listing, one
// table cell per line) and two new versions: one with edits scattered
// through it, one with many changes (about one line in ten). Each comparison
// runs in a child forked for it, which generates the pair, resets its peak
// resident size and compares, once for the flags alone (as a check does)
// and once composing the highlighted page (as viewing the changes does).
// It prints the CPU and wall time, the peak resident size of the whole
// process (the two versions included) and that peak as a multiple of the
// page's size, against the target of 4.
//
// Linux only: it reads /proc/self/status and resets the peak resident size
// through /proc/self/clear_refs.

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "diff/ChangeDetector.h"

namespace tallyhawk::bench {
namespace {

constexpr double kTargetMultiple = 4.0;

const char* const kWords[] = {"river",  "bridge", "market", "price",  "today", "city",
                              "report", "season", "team",   "record", "order", "stock"};

// A listing of about `bytes` bytes: rows of three cells, a cell per line,
// with now and then a short paragraph.
std::string ShortLinePage(std::size_t bytes, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::string page;
    page.reserve(bytes + 256);
    page += "<html>\n<head>\n<title>Listing</title>\n</head>\n<body>\n<table>\n";
    char line[64];
    while (page.size() < bytes) {
        page += "<tr>\n";
        std::snprintf(line, sizeof line, "<td>%u</td>\n", unsigned(rng() % 10000));
        page += line;
        std::snprintf(line, sizeof line, "<td>%s</td>\n", kWords[rng() % std::size(kWords)]);
        page += line;
        std::snprintf(line, sizeof line, "<td>%u.%02u</td>\n", unsigned(rng() % 100),
                      unsigned(rng() % 100));
        page += line;
        page += "</tr>\n";
        if (rng() % 16 == 0) {
            std::snprintf(line, sizeof line, "<p>%s %s</p>\n", kWords[rng() % std::size(kWords)],
                          kWords[rng() % std::size(kWords)]);
            page += line;
        }
    }
    page += "</table>\n</body>\n</html>\n";
    return page;
}

// `page` with about one line in `every` edited: changed, a line inserted
// before it, or deleted, in turn.
std::string EditEvery(const std::string& page, std::size_t every, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::string out;
    out.reserve(page.size() + page.size() / 8);
    std::size_t start = 0;
    unsigned kind = 0;
    char fresh[64];
    while (start < page.size()) {
        std::size_t end = page.find('\n', start);
        end = end == std::string::npos ? page.size() : end + 1;
        if (rng() % every == 0) {
            std::snprintf(fresh, sizeof fresh, "<td>new %u</td>\n", unsigned(rng() % 100000));
            switch (kind++ % 3) {
                case 0:  // changed
                    out += fresh;
                    break;
                case 1:  // inserted
                    out += fresh;
                    out.append(page, start, end - start);
                    break;
                default:  // deleted
                    break;
            }
        } else {
            out.append(page, start, end - start);
        }
        start = end;
    }
    return out;
}

long long StatusBytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
            return std::atoll(line.c_str() + length + 1) * 1024;
    }
    return -1;
}

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Figure {
    long long pageBytes = 0;
    long long lines = 0;
    long long peakBytes = -1;  // whole process, after the pair was generated
    double cpuSeconds = 0;
    double wallSeconds = 0;
    std::uint32_t flags = 0;
};

[[noreturn]] void MeasureInChild(std::size_t bytes, std::size_t every, bool highlighted, int fd) {
    Figure figure;
    {
        const std::string previous = ShortLinePage(bytes, std::uint32_t(bytes));
        const std::string current = EditEvery(previous, every, std::uint32_t(bytes + every));
        figure.pageBytes = static_cast<long long>(previous.size());
        for (char c : previous) figure.lines += c == '\n';
        malloc_trim(0);
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5";
        clear.close();
        if (clear) {
            CChangeDetector detector;
            detector.SetOutputs(
                highlighted ? CChangeDetector::OutputBit(OutputMode::HighlightedHtml) : 0);
            const double cpu = CpuSeconds();
            const auto wall = std::chrono::steady_clock::now();
            figure.flags = detector.Compare(previous, current);
            figure.cpuSeconds = CpuSeconds() - cpu;
            figure.wallSeconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - wall).count();
            figure.peakBytes = StatusBytes("VmHWM");
        }
    }
    const ssize_t written = write(fd, &figure, sizeof figure);
    _exit(written == static_cast<ssize_t>(sizeof figure) ? 0 : 1);
}

bool Measure(std::size_t bytes, std::size_t every, bool highlighted, Figure& figure) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        MeasureInChild(bytes, every, highlighted, fds[1]);
    }
    close(fds[1]);
    const bool read =
        child > 0 && ::read(fds[0], &figure, sizeof figure) == static_cast<ssize_t>(sizeof figure);
    close(fds[0]);
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    return read && figure.peakBytes >= 0;
}

int Main(int argc, char** argv) {
    std::vector<std::size_t> sizes;
    for (int i = 1; i < argc; ++i) {
        const long mib = std::atol(argv[i]);
        if (mib <= 0) {
            std::fprintf(stderr, "usage: large_page_bench [MIB...]\n");
            return 2;
        }
        sizes.push_back(std::size_t(mib) * 1024 * 1024);
    }
    if (sizes.empty()) sizes.push_back(std::size_t{64} * 1024 * 1024);

    struct Variant {
        const char* name;
        std::size_t every;
    };
    const Variant variants[] = {{"scattered edits (1 line in 10000)", 10000},
                                {"many changes (1 line in 10)", 10}};
    std::printf("target: peak resident size < %.0fx the page's size\n", kTargetMultiple);
    std::printf("%-9s %-34s %-11s %10s %9s %9s %10s %8s %s\n", "page", "new version", "compare",
                "lines", "cpu s", "wall s", "peak MiB", "peak/page", "");
    for (std::size_t bytes : sizes) {
        for (const Variant& variant : variants) {
            for (bool highlighted : {false, true}) {
                Figure figure;
                const char* what = highlighted ? "highlighted" : "flags only";
                if (!Measure(bytes, variant.every, highlighted, figure)) {
                    std::printf("%-9zu %-34s %-11s not measured (needs /proc/self/clear_refs)\n",
                                bytes >> 20, variant.name, what);
                    continue;
                }
                const double multiple = double(figure.peakBytes) / double(figure.pageBytes);
                std::printf("%-9s %-34s %-11s %10lld %9.2f %9.2f %10.1f %8.2fx %s\n",
                            (std::to_string(bytes >> 20) + " MiB").c_str(), variant.name, what,
                            figure.lines, figure.cpuSeconds, figure.wallSeconds,
                            double(figure.peakBytes) / (1024.0 * 1024.0), multiple,
                            multiple < kTargetMultiple ? "ok" : "MISSED");
                std::fflush(stdout);
            }
        }
    }
    return 0;
}

}  // namespace
}  // namespace tallyhawk::bench

int main(int argc, char** argv) {
    return tallyhawk::bench::Main(argc, argv);
}
