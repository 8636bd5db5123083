#include "app/ImportLinks.h"

#include <algorithm>

#include "engine/WatchSite.h"
#include "engine/WatchSiteList.h"
#include "import/BookmarkList.h"

namespace tallyhawk {

namespace {

bool ContainsNoCase(std::string_view text, std::string_view part) {
    if (part.empty()) return true;
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
        if (EqualsNoCase(text.substr(i, part.size()), part)) return true;
    }
    return false;
}

}  // namespace

std::vector<CBookmarkItem> SelectLinks(const std::vector<CBookmarkItem>& links, int kind,
                                       std::string_view text) {
    std::vector<CBookmarkItem> selected;
    std::copy_if(links.begin(), links.end(), std::back_inserter(selected),
                 [&](const CBookmarkItem& link) {
                     return link.kind == kind &&
                            (ContainsNoCase(link.name, text) || ContainsNoCase(link.url, text));
                 });
    return selected;
}

std::int32_t AddLinkAsPage(CWatchSiteList& list, const CWatchSite& defaultPage,
                           const CBookmarkItem& link) {
    CWatchSite page(defaultPage);
    page.SetName(link.name);
    page.SetUrl(link.url);
    return list.Add(page);
}

}  // namespace tallyhawk
