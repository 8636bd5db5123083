#include "engine/WatchedVersions.h"

namespace tallyhawk {

namespace {

std::vector<std::string> NonBlank(const std::vector<std::string>& entries) {
    std::vector<std::string> kept;
    for (const std::string& entry : entries) {
        if (entry.find_first_not_of(" \t\r") != std::string::npos) kept.push_back(entry);
    }
    return kept;
}

}  // namespace

CWatchFilter CWatchedVersions::FilterOf(const CWatcherSettings& settings) {
    CWatchFilter filter;
    filter.compare = settings.GetCompareWhat() == CWatcherSettings::CompareText
                         ? CompareWhat::Text
                         : CompareWhat::Source;
    if (settings.GetRegion().find_first_not_of(" \t\r\n") != std::string::npos) {
        filter.region = settings.GetRegion();
    }
    filter.ignoreRegions = NonBlank(settings.GetIgnoreRegions());
    filter.ignoreText = NonBlank(settings.GetIgnoreText());
    return filter;
}

std::shared_ptr<const CCompiledFilter> CWatchedVersions::Compiled(const CWatchFilter& filter) {
    {
        std::lock_guard<std::mutex> guard(lock);
        if (compiled && compiled->Filter() == filter) return compiled;
    }
    std::shared_ptr<const CCompiledFilter> made = CCompiledFilter::Compile(filter);
    std::lock_guard<std::mutex> guard(lock);
    compiled = made;
    return made;
}

std::shared_ptr<const CWatchedVersion> CWatchedVersions::Watched(const CContent& content,
                                                                 const std::string& headerCharset,
                                                                 const std::shared_ptr<const CCompiledFilter>& filter) {
    {
        std::lock_guard<std::mutex> guard(lock);
        for (CEntry& entry : entries) {
            if (entry.bytes == content.get() && entry.content.lock() == content &&
                entry.charset == headerCharset && entry.filter == filter) {
                entry.used = ++uses;
                return entry.watched;
            }
        }
    }
    // Derived without the lock: a large page takes a while.
    auto watched =
        std::make_shared<const CWatchedVersion>(ExtractWatched(*content, headerCharset, *filter));
    std::lock_guard<std::mutex> guard(lock);
    // The entry of a version the page no longer holds goes first, then the
    // one asked for least recently: the page's other version stays.
    CEntry* replaced = &entries[0];
    for (CEntry& entry : entries) {
        if (entry.content.expired()) {
            replaced = &entry;
            break;
        }
        if (entry.used < replaced->used) replaced = &entry;
    }
    replaced->content = content;
    replaced->bytes = content.get();
    replaced->charset = headerCharset;
    replaced->filter = filter;
    replaced->watched = watched;
    replaced->used = ++uses;
    return watched;
}

}  // namespace tallyhawk
