// CBookmarkItem: one link found in a browser's bookmarks or favourites.
#pragma once

#include <string>

namespace tallyhawk {

// What kind of link an item is: the list shows one kind at a time.
inline constexpr int kBookmarkKindNone = 0;
// A bookmark: from a Netscape bookmark file, Firefox's places database or a
// Chromium-family "Bookmarks" file.
inline constexpr int kBookmarkKindBookmark = 1;
// A favourite: a "*.url" internet shortcut file.
inline constexpr int kBookmarkKindFavorite = 2;

// A small value; copyable.
class CBookmarkItem {
public:
    CBookmarkItem() = default;
    CBookmarkItem(std::string name, std::string url, int kind)
        : name(std::move(name)), url(std::move(url)), kind(kind) {}
    virtual ~CBookmarkItem() = default;
    CBookmarkItem(const CBookmarkItem&) = default;
    CBookmarkItem& operator=(const CBookmarkItem&) = default;
    CBookmarkItem(CBookmarkItem&&) = default;
    CBookmarkItem& operator=(CBookmarkItem&&) = default;

    bool operator==(const CBookmarkItem& other) const {
        return name == other.name && url == other.url && kind == other.kind;
    }

    std::string name;  // shown in the "Name" column; the new page's name
    std::string url;   // shown in the "URL" column; the new page's address
    int kind = kBookmarkKindNone;
};

}  // namespace tallyhawk
