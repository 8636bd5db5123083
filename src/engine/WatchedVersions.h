// A page's watched versions: the filter its settings describe, compiled
// once, and the watched form of each version it holds, derived once.
//
// Comparisons ask for both versions at every status decision and every
// change file; deriving the watched form parses the page, so the results
// are kept for as long as the versions and the settings stay the same.
// Thread-safe: the watch thread and the window's thread ask at once.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "content/WatchedText.h"
#include "engine/WatcherSettings.h"

namespace tallyhawk {

class CWatchedVersions {
public:
    using CContent = std::shared_ptr<const std::string>;

    // The filter of what to watch that `settings` describe; blank entries
    // of the lists are left out.
    static CWatchFilter FilterOf(const CWatcherSettings& settings);

    // The compiled filter; throws CFilterError.
    std::shared_ptr<const CCompiledFilter> Compiled(const CWatchFilter& filter);

    // The watched form of `content`, read with `headerCharset` (the
    // charset of the page's latest download, empty when unknown: both
    // versions are read with the same one, so that they compare alike).
    std::shared_ptr<const CWatchedVersion> Watched(const CContent& content,
                                                   const std::string& headerCharset,
                                                   const std::shared_ptr<const CCompiledFilter>& filter);

private:
    struct CEntry {
        std::weak_ptr<const std::string> content;  // not kept alive by the cache
        const std::string* bytes = nullptr;
        std::string charset;
        std::shared_ptr<const CCompiledFilter> filter;
        std::shared_ptr<const CWatchedVersion> watched;
        unsigned long long used = 0;  // when it was last asked for
    };

    std::mutex lock;
    std::shared_ptr<const CCompiledFilter> compiled;  // guarded by lock
    CEntry entries[2];                                // guarded by lock; the two versions
    unsigned long long uses = 0;                      // guarded by lock
};

}  // namespace tallyhawk
