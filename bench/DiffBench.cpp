// Benchmark of CChangeDetector::Compare on generated page pairs.
//
// Prints, besides Google Benchmark's own lines:
// - the peak memory of one Compare per pair, as a multiple of the two
//   versions' combined size, measured in a forked child so that nothing else
//   the benchmark allocates counts;
// - a summary table with the targets next to the figures.
// Whole-process times against GNU diff are diff_process_bench's: an
// in-process Compare set against a whole diff process says little.
//
// Linux only: it reads /proc/self/status and resets the peak RSS through
// /proc/self/clear_refs.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PageGenerator.h"
#include "diff/ChangeDetector.h"

namespace tallyhawk::bench {
namespace {

constexpr double kTargetAdversarialMs = 1000.0;
constexpr double kTargetMemoryMultiple = 4.0;

// Pairs are generated on first use and kept for the rest of the run.
class PairCache {
public:
    explicit PairCache(std::vector<PairRecipe> pairRecipes)
        : recipes(std::move(pairRecipes)), pairs(recipes.size()) {}
    const PagePair& Get(std::size_t index) {
        if (!pairs[index]) pairs[index] = recipes[index].Make();
        return *pairs[index];
    }
    const std::vector<PairRecipe>& Recipes() const { return recipes; }

private:
    std::vector<PairRecipe> recipes;
    std::vector<std::optional<PagePair>> pairs;
};

std::uint32_t CompareOnce(const PagePair& pair) {
    CChangeDetector detector;
    return detector.Compare(pair.previous, pair.current);
}

// ---- Peak memory ------------------------------------------------------------

// A "Name:   1234 kB" field of /proc/self/status, in bytes; -1 when absent.
long long StatusBytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, field.size() + 1, field + ":") == 0)
            return std::atoll(line.c_str() + field.size() + 1) * 1024;
    }
    return -1;
}

struct MemoryFigure {
    long long peakBytes = 0;  // above the resident size before Compare
    long long combinedBytes = 0;
    double Multiple() const {
        return static_cast<double>(peakBytes) / static_cast<double>(combinedBytes);
    }
};

// Runs in a forked child: generates the pair, resets the peak RSS, runs one
// Compare and reports how far the peak rose.
[[noreturn]] void MeasureInChild(const PairRecipe& recipe, int writeFd) {
    MemoryFigure figure{-1, 0};
    {
        const PagePair pair = recipe.Make();
        figure.combinedBytes = static_cast<long long>(pair.previous.size() + pair.current.size());
        malloc_trim(0);  // so that Compare cannot reuse pages freed by the generator
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5";
        clear.close();
        const long long before = StatusBytes("VmRSS");
        if (clear && before >= 0) {
            CompareOnce(pair);
            figure.peakBytes = StatusBytes("VmHWM") - before;
        }
    }
    const ssize_t written = write(writeFd, &figure, sizeof figure);
    _exit(written == static_cast<ssize_t>(sizeof figure) ? 0 : 1);
}

std::optional<MemoryFigure> MeasurePeakMemory(const PairRecipe& recipe) {
    int fds[2];
    if (pipe(fds) != 0) return std::nullopt;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        MeasureInChild(recipe, fds[1]);
    }
    close(fds[1]);
    MemoryFigure figure;
    const bool read =
        child > 0 && ::read(fds[0], &figure, sizeof figure) == static_cast<ssize_t>(sizeof figure);
    close(fds[0]);
    int status = 0;
    if (child > 0) waitpid(child, &status, 0);
    if (!read || figure.peakBytes < 0) return std::nullopt;
    return figure;
}

// ---- Reporting ----------------------------------------------------------------

// Passes everything on to the console and keeps each pair's time per Compare.
class CapturingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                timesMs[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
    }
    std::map<std::string, double> timesMs;  // time unit is set to ms
};

std::string Size(long long bytes) {
    char text[32];
    if (bytes >= 1024 * 1024) {
        std::snprintf(text, sizeof text, "%.1f MiB",
                      static_cast<double>(bytes) / (1024.0 * 1024.0));
    } else {
        std::snprintf(text, sizeof text, "%.0f KiB", static_cast<double>(bytes) / 1024.0);
    }
    return text;
}

const char* Verdict(bool met) {
    return met ? "ok" : "MISSED";
}

struct Row {
    std::string name;
    long long combinedBytes = 0;
    std::optional<double> timeMs;
    bool adversarial = false;
    std::optional<MemoryFigure> memory;
};

void PrintSummary(const std::vector<Row>& rows) {
    std::printf(
        "\nSummary (targets: adversarial time < %.0f ms, peak memory < %.0fx the combined size)\n",
        kTargetAdversarialMs, kTargetMemoryMultiple);
    std::printf("%-40s %10s %12s %8s %16s\n", "pair", "size", "time ms", "", "peak memory");
    for (const Row& row : rows) {
        char time[32] = "-";
        char timeVerdict[16] = "";
        if (row.timeMs) {
            std::snprintf(time, sizeof time, "%.2f", *row.timeMs);
            if (row.adversarial)
                std::snprintf(timeVerdict, sizeof timeVerdict, "%s",
                              Verdict(*row.timeMs < kTargetAdversarialMs));
        }
        char memory[32] = "n/a";
        if (row.memory) {
            std::snprintf(memory, sizeof memory, "%.2fx %s", row.memory->Multiple(),
                          Verdict(row.memory->Multiple() < kTargetMemoryMultiple));
        }
        std::printf("%-40s %10s %12s %8s %16s\n", row.name.c_str(), Size(row.combinedBytes).c_str(),
                    time, timeVerdict, memory);
    }
}

int Main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    PairCache cache(BenchmarkPairs());
    const std::vector<PairRecipe>& recipes = cache.Recipes();

    // Memory first, each in a child forked before this process has generated
    // anything large.
    std::vector<Row> rows(recipes.size());
    for (std::size_t i = 0; i < recipes.size(); ++i) {
        rows[i].name = recipes[i].Name();
        rows[i].adversarial = recipes[i].kind != PairRecipe::Kind::Realistic;
        rows[i].memory = MeasurePeakMemory(recipes[i]);
        if (rows[i].memory) {
            std::printf("peak memory %-40s %8.2fx (%s above the resident size, pair %s)\n",
                        rows[i].name.c_str(), rows[i].memory->Multiple(),
                        Size(rows[i].memory->peakBytes).c_str(),
                        Size(rows[i].memory->combinedBytes).c_str());
        } else {
            std::printf("peak memory %-40s not measured (needs /proc/self/clear_refs)\n",
                        rows[i].name.c_str());
        }
    }
    std::printf("\n");

    for (std::size_t i = 0; i < recipes.size(); ++i) {
        benchmark::RegisterBenchmark(
            recipes[i].Name().c_str(),
            [&cache, i](benchmark::State& state) {
                const PagePair& pair = cache.Get(i);
                for (auto _ : state) benchmark::DoNotOptimize(CompareOnce(pair));
                state.SetBytesProcessed(
                    static_cast<std::int64_t>(state.iterations()) *
                    static_cast<std::int64_t>(pair.previous.size() + pair.current.size()));
            })
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    CapturingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    for (std::size_t i = 0; i < recipes.size(); ++i) {
        const PagePair& pair = cache.Get(i);
        rows[i].combinedBytes = static_cast<long long>(pair.previous.size() + pair.current.size());
        auto time = reporter.timesMs.find(rows[i].name);
        if (time != reporter.timesMs.end()) rows[i].timeMs = time->second;
    }
    PrintSummary(rows);
    return 0;
}

}  // namespace
}  // namespace tallyhawk::bench

int main(int argc, char** argv) {
    return tallyhawk::bench::Main(argc, argv);
}
