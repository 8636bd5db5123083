// The watched form of any bytes: the first byte chooses the filter, the
// second the header's charset, the rest is the page. Where the page is
// read as a stream, the tree must give the same document: abort if not.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "content/WatchedText.h"
#include "content/WatchedTextDetail.h"

namespace {

std::vector<std::shared_ptr<const tallyhawk::CCompiledFilter>> MakeFilters() {
    using namespace tallyhawk;
    std::vector<std::shared_ptr<const CCompiledFilter>> filters;
    for (CompareWhat what : {CompareWhat::Text, CompareWhat::Source}) {
        CWatchFilter filter;
        filter.compare = what;
        filter.ignoreText = {"(a|b)+c", R"(\d+)"};
        filters.push_back(CCompiledFilter::Compile(filter));
        filter.region = "//div[p]|//td/text()|//a/@href";
        filter.ignoreRegions = {"//span", "//*[@class='ad']", "//div/@id"};
        filters.push_back(CCompiledFilter::Compile(filter));
        filter.region = "/";
        filter.ignoreRegions = {"//p/namespace::*", "//body"};
        filters.push_back(CCompiledFilter::Compile(filter));
    }
    return filters;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const auto filters = MakeFilters();
    static const std::string_view kCharsets[] = {"", "utf-8", "utf-16", "shift_jis", "iso-8859-1", "bogus"};
    if (size < 2) return 0;
    const auto& filter = *filters[data[0] % filters.size()];
    const std::string_view charset = kCharsets[data[1] % std::size(kCharsets)];
    const std::string_view page(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::string document = tallyhawk::ExtractWatched(page, charset, filter).document;
    if (tallyhawk::detail::ReadsAsStream(filter) &&
        document != tallyhawk::detail::ExtractWatchedFromTree(page, charset, filter).document) {
        std::fprintf(stderr, "The stream and the tree give different text.\n");
        std::abort();
    }
    tallyhawk::PreviewWatched(page, charset, filter);
    return 0;
}
