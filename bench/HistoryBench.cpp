// history_bench: the history store on one page's life. 500 versions of a
// 100 KB realistic page, each with a few lines edited: the store's size on
// disk, the time of each Append, and of reading back every version; then
// List over 1,000 versions. Run by hand; prints a table.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "PageGenerator.h"
#include "history/HistoryStore.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct CFigures {
    double median = 0;
    double p99 = 0;
    double worst = 0;
};

CFigures Summarize(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[times.size() * 99 / 100], times.back()};
}

std::uintmax_t FileBytes(const std::string& path) {
    return fs::exists(path) ? fs::file_size(path) : 0;
}

void Row(const char* figure, const std::string& value, const char* target) {
    std::printf("%-44s %18s   %s\n", figure, value.c_str(), target);
}

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

int main() {
    const fs::path folder = fs::temp_directory_path() / ("tallyhawk-history-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string path = (folder / "pages.wat.history").string();
    constexpr int kVersions = 500;

    std::vector<std::string> versions = {tallyhawk::bench::GenerateHtmlPage(100 * 1024, 1)};
    for (int i = 1; i < kVersions; ++i)
        versions.push_back(tallyhawk::bench::EditLines(versions.back(), 3, static_cast<std::uint32_t>(i)));
    std::uintmax_t plain = 0;
    for (const auto& version : versions) plain += version.size();

    std::vector<double> appends;
    std::vector<double> reads;
    double list = 0;
    std::uintmax_t database = 0;
    std::uintmax_t log = 0;
    std::uintmax_t closed = 0;
    {
        auto store = tallyhawk::CHistoryStore::Open(path);
        for (int i = 0; i < kVersions; ++i) {
            const auto start = Clock::now();
            store->Append("https://news.example/", i, 0, versions[i]);
            appends.push_back(Milliseconds(Clock::now() - start));
        }
        log = FileBytes(path + "-wal");
    }  // closing folds the log into the database
    database = FileBytes(path) + FileBytes(path + "-wal");
    {
        auto store = tallyhawk::CHistoryStore::Open(path);
        const auto listed = store->List("https://news.example/");
        for (std::size_t i = 0; i < listed.size(); ++i) {
            const auto start = Clock::now();
            const std::string bytes = store->Read(listed[i].id);
            reads.push_back(Milliseconds(Clock::now() - start));
            if (bytes != versions[i]) std::fprintf(stderr, "version %zu read back wrong\n", i);
        }
        for (int i = 0; i < 1000; ++i)
            store->Append("https://shop.example/", i, 0, "<p>price " + std::to_string(i) + "</p>\n");
        const auto start = Clock::now();
        const auto many = store->List("https://shop.example/");
        list = Milliseconds(Clock::now() - start);
        if (many.size() != 1000) std::fprintf(stderr, "listed %zu versions\n", many.size());
    }
    closed = FileBytes(path) + FileBytes(path + "-wal");
    fs::remove_all(folder);

    const CFigures append = Summarize(appends);
    const CFigures read = Summarize(reads);
    std::printf("%-44s %18s   %s\n", "figure", "measured", "target");
    Row("versions of a 100 KB page, 3 edits each", std::to_string(kVersions), "");
    Row("plain copies", Format("%.1f MB", plain / 1e6), "");
    Row("store on disk after the 500 versions", Format("%.2f MB", database / 1e6), "< 1 MB");
    Row("write-ahead log while open (reused, at most)", Format("%.2f MB", log / 1e6), "");
    Row("store with 1,000 small versions of another page", Format("%.2f MB", closed / 1e6), "");
    Row("Append, median", Format("%.2f ms", append.median), "< 5 ms");
    Row("Append, 99th percentile", Format("%.2f ms", append.p99), "");
    Row("Append, worst", Format("%.2f ms", append.worst), "");
    Row("Read, median", Format("%.2f ms", read.median), "");
    Row("Read, 99th percentile", Format("%.2f ms", read.p99), "");
    Row("Read, worst over all versions", Format("%.2f ms", read.worst), "< 10 ms");
    Row("List of 1,000 versions", Format("%.2f ms", list), "well under 100 ms");
    return 0;
}
