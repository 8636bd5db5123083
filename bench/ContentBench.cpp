// Benchmark of the watched form of pages: a check of a generated modern
// page (its new version reduced to its visible text and compared with the
// accepted one's), at growing sizes; both versions reduced and compared;
// and pages made to hurt a parser.
//   ./bench/content_bench --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>

#include "content/WatchedText.h"
#include "diff/ChangeDetector.h"
#include "engine/LearnedNoise.h"

namespace tallyhawk {
namespace {

// A page the way sites build them now: a head full of scripts and inline
// JSON, navigation, nested divs with utility classes, ads, articles of
// paragraphs, a footer. `variant` changes a few paragraphs' words.
std::string ModernPage(std::size_t bytes, int variant) {
    std::mt19937 rng(7);
    static const char* const kWords[] = {"price", "delivery", "update", "the", "market", "of",
                                         "weather", "council", "report", "and", "new", "season",
                                         "tickets", "available", "from", "Monday", "&amp;", "café"};
    auto sentence = [&](int words) {
        std::string s;
        for (int i = 0; i < words; ++i) (s += kWords[rng() % std::size(kWords)]) += ' ';
        return s;
    };
    std::string page =
        "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>News</title>"
        "<link rel=\"stylesheet\" href=\"/app.css\"><style>.card{display:flex}.ad{margin:0}</style>"
        "<script>window.__STATE__={\"user\":null,\"items\":[1,2,3],\"html\":\"<p>x</p>\"};</script>"
        "<script src=\"/bundle.js\" defer></script></head><body class=\"page\">"
        "<header class=\"site-header\"><nav class=\"nav\"><ul><li><a href=\"/\">Home</a></li>"
        "<li><a href=\"/news\">News</a></li><li><a href=\"/sport\">Sport</a></li></ul></nav></header>\n"
        "<main id=\"content\">\n";
    int article = 0;
    while (page.size() < bytes) {
        page += "<article class=\"card card--wide\" data-id=\"" + std::to_string(article) +
                "\"><div class=\"card__inner\"><div class=\"card__body\"><h2 class=\"title\">" +
                sentence(6) + "</h2>\n";
        for (int p = 0; p < 6; ++p) {
            const bool changed = variant && article % 97 == 3 && p == 2;
            page += "  <p class=\"text\">" + sentence(12) + (changed ? "<b>changed</b> " : "") +
                    "<a href=\"/a/" + std::to_string(rng() % 100000) + "\">" + sentence(3) +
                    "</a> " + sentence(10) + "</p>\n";
        }
        page += "</div></div><div class=\"ad\" hidden><script>ads.push({slot:" +
                std::to_string(article) + "})</script><iframe src=\"/ad\"></iframe></div>"
                "<ul class=\"tags\"><li>" + sentence(1) + "</li><li>" + sentence(1) +
                "</li></ul></article>\n";
        ++article;
    }
    page += "</main><footer class=\"footer\"><p>&copy; 2026 News Ltd</p></footer>"
            "<script>(function(){var a=1<2&&3>2;})();</script></body></html>";
    return page;
}

// The usual filter: the visible text, a pattern of noise ignored.
const CCompiledFilter& TextFilter() {
    static const auto compiled = [] {
        CWatchFilter filter;
        filter.compare = CompareWhat::Text;
        filter.ignoreText = {R"(\d+ people are viewing)"};
        return CCompiledFilter::Compile(filter);
    }();
    return *compiled;
}

// The same with an ignored region, which needs the page's tree.
const CCompiledFilter& TextFilterWithIgnoredRegion() {
    static const auto compiled = [] {
        CWatchFilter filter = TextFilter().Filter();
        filter.ignoreRegions = {".ad"};
        return CCompiledFilter::Compile(filter);
    }();
    return *compiled;
}

// What a check costs: the engine keeps the watched form of the accepted
// version, so a check extracts the new version only and compares.
void BM_Check(benchmark::State& state) {
    const std::size_t bytes = std::size_t(state.range(0)) << 20;
    const std::string previous = ModernPage(bytes, 0), current = ModernPage(bytes, 1);
    const CWatchedVersion accepted = ExtractWatched(previous, "", TextFilter());
    std::uint32_t flags = 0;
    for (auto _ : state) {
        const CWatchedVersion fresh = ExtractWatched(current, "", TextFilter());
        CChangeDetector detector;
        flags = detector.Compare(accepted.document, fresh.document);
        benchmark::DoNotOptimize(flags);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(current.size()));
    state.SetComplexityN(std::int64_t(bytes));
    state.SetLabel("check: extract one version + compare");
    state.counters["changed"] = flags != 0;
}
BENCHMARK(BM_Check)->Arg(1)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// A check of a page that learns its noise (new pages do): as BM_Check,
// with the new version's watched form masked by what the page learned
// (the accepted version's masked form is kept like its watched form).
void BM_CheckLearning(benchmark::State& state) {
    const std::size_t bytes = std::size_t(state.range(0)) << 20;
    const std::string previous = ModernPage(bytes, 0), current = ModernPage(bytes, 1);
    const CWatchedVersion accepted = ExtractWatched(previous, "", TextFilter());
    // What two downloads of a page with a counter in every article teach.
    auto counted = [](std::string text, int shift) {
        std::string out;
        int line = 0;
        for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
            end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            out.append(text, at, end - at);
            if (++line % 40 == 0) out += "\n" + std::to_string(line + shift) + " people are reading this";
            out += '\n';
        }
        return out;
    };
    CLearnedNoise noise;
    noise.LearnFromRepeat(counted(accepted.document, 0), counted(accepted.document, 7));
    const std::string acceptedMasked = noise.Mask(accepted.document);
    std::uint32_t flags = 0;
    for (auto _ : state) {
        const CWatchedVersion fresh = ExtractWatched(current, "", TextFilter());
        CChangeDetector detector;
        flags = detector.Compare(acceptedMasked, noise.Mask(fresh.document));
        benchmark::DoNotOptimize(flags);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(current.size()));
    state.SetLabel("check, learning: extract + mask one version + compare");
    state.counters["changed"] = flags != 0;
    state.counters["rules"] = double(noise.RuleCount());
}
BENCHMARK(BM_CheckLearning)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond);

// Both versions extracted and compared, as a check without the cached
// form of the accepted version does it.
void BM_TextCheck(benchmark::State& state) {
    const CCompiledFilter& filter = state.range(1) ? TextFilterWithIgnoredRegion() : TextFilter();
    const std::size_t bytes = std::size_t(state.range(0)) << 20;
    const std::string previous = ModernPage(bytes, 0), current = ModernPage(bytes, 1);
    std::uint32_t flags = 0;
    for (auto _ : state) {
        const CWatchedVersion a = ExtractWatched(previous, "", filter);
        const CWatchedVersion b = ExtractWatched(current, "", filter);
        CChangeDetector detector;
        flags = detector.Compare(a.document, b.document);
        benchmark::DoNotOptimize(flags);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(previous.size() + current.size()));
    state.SetLabel(state.range(1) ? "both versions, ignored region (tree)" : "both versions");
    state.counters["changed"] = flags != 0;
}
BENCHMARK(BM_TextCheck)->ArgsProduct({{1, 4, 16, 64}, {0}})->Args({1, 1})
    ->Unit(benchmark::kMillisecond);

// The watched form of one version only, and the comparison only.
void BM_CheckSteps(benchmark::State& state) {
    const std::string previous = ModernPage(1 << 20, 0), current = ModernPage(1 << 20, 1);
    const CWatchedVersion accepted = ExtractWatched(previous, "", TextFilter());
    const CWatchedVersion fresh = ExtractWatched(current, "", TextFilter());
    for (auto _ : state) {
        if (state.range(0) == 0) {
            benchmark::DoNotOptimize(ExtractWatched(current, "", TextFilter()));
        } else {
            CChangeDetector detector;
            benchmark::DoNotOptimize(detector.Compare(accepted.document, fresh.document));
        }
    }
    state.SetLabel(state.range(0) == 0 ? "extract 1 MB" : "compare the watched forms of 1 MB");
    state.counters["watched_bytes"] = double(fresh.document.size());
}
BENCHMARK(BM_CheckSteps)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One version in source form with a region.
void BM_SourceRegion(benchmark::State& state) {
    static const auto compiled = [] {
        CWatchFilter filter;
        filter.region = "//main";
        filter.ignoreRegions = {"//div[@class='ad']"};
        return CCompiledFilter::Compile(filter);
    }();
    const std::string page = ModernPage(std::size_t(state.range(0)) << 20, 0);
    for (auto _ : state) benchmark::DoNotOptimize(ExtractWatched(page, "", *compiled));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(page.size()));
}
BENCHMARK(BM_SourceRegion)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);

std::string HostilePage(int kind, std::size_t scale) {
    std::string page;
    switch (kind) {
    case 0:  // nested elements
        for (std::size_t i = 0; i < scale; ++i) page += "<div>";
        page += "bottom";
        break;
    case 1:  // one element, many attributes
        page = "<p";
        for (std::size_t i = 0; i < scale * 10; ++i) page += " a" + std::to_string(i) + "=\"v\"";
        page += ">text</p>";
        break;
    case 2:  // tags never closed
        for (std::size_t i = 0; i < scale; ++i) page += "<b><i>t";
        break;
    case 3:  // tags never closed, then end tags of nothing open: libxml2
             // looks each up through all the open elements (depth x count)
        for (std::size_t i = 0; i < scale / 10; ++i) page += "<b><i>t";
        for (std::size_t i = 0; i < scale / 10; ++i) page += "</span>";
        break;
    default: {  // random bytes
        std::mt19937 rng(11);
        page.resize(scale * 10);
        for (char& c : page) c = char(rng());
        break;
    }
    }
    return page;
}

// state.range(1) is the scale: the time should grow with it in step.
void BM_Hostile(benchmark::State& state) {
    const std::string page = HostilePage(int(state.range(0)), std::size_t(state.range(1)));
    static const char* const kNames[] = {"nested", "attributes", "unclosed", "stray end tags", "random"};
    for (auto _ : state) benchmark::DoNotOptimize(ExtractWatched(page, "", TextFilter()));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(page.size()));
    state.SetLabel(kNames[state.range(0)]);
}
BENCHMARK(BM_Hostile)->ArgsProduct({{0, 1, 2, 3, 4}, {25'000, 100'000}})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tallyhawk

BENCHMARK_MAIN();
