// Imported links as watched pages: which links a user picks and the page
// each becomes. Shared by the Bookmarks & Favorites dialog's caller and
// tallyhawk-cli import.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "import/BookmarkItem.h"

namespace tallyhawk {

class CWatchSite;
class CWatchSiteList;

// The links of `kind`, in their order, whose name or address contains
// `text` (ignoring the case of ASCII letters; an empty text takes them all).
std::vector<CBookmarkItem> SelectLinks(const std::vector<CBookmarkItem>& links, int kind,
                                       std::string_view text);

// Adds a page made from `defaultPage` (its settings and state), named and
// addressed from `link`, at the end of `list`; returns its index. Neither
// duplicates nor an empty address are refused: the user chose the link.
std::int32_t AddLinkAsPage(CWatchSiteList& list, const CWatchSite& defaultPage,
                           const CBookmarkItem& link);

}  // namespace tallyhawk
